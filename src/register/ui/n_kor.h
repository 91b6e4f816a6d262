// "Nowe zdarzenie": one new register entry from creation to its stored form. The event row exists
// from the moment the dialog opens; "&OK" gives it its number from the counters and keeps it,
// cancelling deletes it.
#pragma once

#include <QString>
#include <QVariant>

#include "core/ui/window.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace pulpex {

class TDBCheckBox;
class TDBEdit;
class TDBMemo;
class TTableDataSet;

class TNowaKor : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TNowaKor(QWidget* parent = nullptr);

    // Stores the new event (with `content`, and the correspondent whose e-mail address is
    // `email` when the address book has one), opens the tables on it and selects `kind` (1, 2
    // or 3). False, after saying why, when the event could not be stored.
    bool Prepare(const QString& content, const QString& email, int kind);
    // The end of one showing, by the dialog's result: the event is kept after "&OK" (true),
    // otherwise deleted with whatever hangs from it (false).
    bool Finish(int result);
    int EventID() const { return id_; }
    // The chosen kind: 1, 2 or 3.
    int Kind() const;

  public slots:
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* buildEventPage();
    QWidget* buildContentPage();
    QWidget* buildAddressPage();

    void kindChanged();
    void updateOk();
    // Writes `value` into `field` of the event and posts, as every tool of the dialog does.
    void writeField(const QString& field, const QVariant& value);
    void btnDataClick();
    void btnDoPismaClick();
    void btnWybierzAdresClick();
    void btnBazaAdresowClick();
    void btnKalendarzClick();
    void btnWczytajClick();
    void btnZapiszClick();
    void btnOknoEdycyjneClick();
    void btnRysunkiClick();
    void postContent();
    void btnWytnijClick();
    void btnKopiujClick();
    void btnKopiujWszystkoClick();
    void btnWklejClick();
    void btnOKClick();

    int id_ = 0;
    // Set by a confirmed cancel: nothing is re-evaluated while the dialog closes.
    bool closing_ = false;

    TTableDataSet* tZdarzenia;
    TTableDataSet* tAdresy;
    TTableDataSet* tZdarzenie_DOP_TO_NUMER;

    QRadioButton* rbPrzychodzace;
    QRadioButton* rbWychodzace;
    QRadioButton* rbInne;
    QTabWidget* PageControl1;
    QWidget* tsAdres;
    TDBEdit* edNumer;
    QLabel* lbSymbol;
    TDBEdit* edSymbol;
    TDBEdit* edData;
    TDBCheckBox* chbPolecone;
    QLabel* lbOdbiorca;
    TDBEdit* edOdbiorca;
    TDBEdit* edDoPisma;
    QPushButton* btnDoPisma;
    TDBMemo* memOpis;
    TDBMemo* memTresc;
    QPushButton* btnOK;
};

// Registers a new event: shows "Nowe zdarzenie" with the content and the correspondent of
// `email` filled in and `kind` chosen; true when the event was kept with "&OK", its ID then in
// `eventId` when given.
bool NoweZdarzenie(QWidget* owner, const QString& content = {}, const QString& email = {},
                   int kind = 1, int* eventId = nullptr);

}  // namespace pulpex
