// "Filtrowanie zdarzeń": the filter settings of a list of events (date range, correspondent,
// recipient), the dialog that edits them and the SQL condition they give. The incoming-letters
// window and the event list each keep their own settings object.
#pragma once

#include <QDateTime>
#include <QString>

#include "core/ui/window.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pulpex {

struct TZdarzenia_FiltrInfo {
    // Restrict ZD_DAT to Od..Do (only the dates count).
    bool ZakresDat = false;
    QDateTime Od = QDateTime::currentDateTime().addDays(-14);
    QDateTime Do = QDateTime::currentDateTime().addDays(14);
    // Restrict ZD_ADR to one correspondent (ADRESY.ID; 0: events without one).
    bool WybranyAdres = false;
    int IdAdresu = 0;
    // Restrict ZD_ODB to one recipient text.
    bool WybranyOdbiorca = false;
    QString Odbiorca = QStringLiteral("NIE WAŻNY");
};

// The condition the settings give, to follow a WHERE clause: each piece begins with " and ";
// empty when every switch is off. The recipient is a string literal with its double quotes
// doubled, so that no typed text can break or change the statement.
QString WarunekFiltru(const TZdarzenia_FiltrInfo& info);

// Fills `box` with the date range of the filter dialogs: "&Wszystkie daty" / "W&ybrana data" and
// the read-only days "&Od:" and "&Do:", each with its "..." button.
void BuildDateRange(QGroupBox* box, QRadioButton*& all, QRadioButton*& chosen, QLineEdit*& from,
                    QLineEdit*& to, QPushButton*& btnFrom, QPushButton*& btnTo);

class TF_k_przy : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TF_k_przy(QWidget* parent = nullptr);

    // The settings the next showing edits (not owned; nullptr: the dialog refuses to work).
    void SetInfo(TZdarzenia_FiltrInfo* info) { info_ = info; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    void switchesChanged();
    void btnOdClick();
    void btnDoClick();
    void btnWyborStronyClick();
    void btnOKClick();
    void pickDate(QLineEdit* field);
    void showAddressName();

    TZdarzenia_FiltrInfo* info_ = nullptr;

    QRadioButton* rbWszystkieDaty;
    QRadioButton* rbWybranaData;
    QLineEdit* edOd;
    QLineEdit* edDo;
    QPushButton* btnOd;
    QPushButton* btnDo;
    QRadioButton* rbWszystkieAdresy;
    QRadioButton* rbWybranyAdres;
    QLineEdit* edAdres;
    QPushButton* btnWyborStrony;
    QRadioButton* rbWszyscyOdbiorcy;
    QRadioButton* rbWybranyOdbiorca;
    QLineEdit* edOdbiorca;
    QPushButton* btnOK;
};

// Shows the filter dialog on `info`; true when it was closed with "O&K" (the settings then hold
// what the user chose).
bool PokazFiltr(QWidget* owner, TZdarzenia_FiltrInfo& info);

}  // namespace pulpex
