// "Filtrowanie spraw": which cases the cases window lists (closed, open, all) and which of their
// linked events it shows (a date range, one correspondent). The settings belong to the window
// and outlive each showing of the dialog.
#pragma once

#include "cases/filtr_spraw.h"
#include "core/ui/window.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pulpex {

class TF_spraw : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TF_spraw(QWidget* parent = nullptr);

    // The settings the next showing edits (not owned).
    void SetInfo(TSprawy_FiltrInfo* info) { info_ = info; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    void switchesChanged();
    void addressSwitchClicked();
    void pickDate(QLineEdit* field);
    void btnWyborStronyClick();
    void btnOKClick();
    void showAddressName();

    TSprawy_FiltrInfo* info_ = nullptr;

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
    QRadioButton* rbZamkniete;
    QRadioButton* rbOtwarte;
    QRadioButton* rbWszystkie;
    QPushButton* btnOK;
};

// Shows the case filter on `info`; true when it was closed with "O&K".
bool PokazFiltrSpraw(QWidget* owner, TSprawy_FiltrInfo& info);

}  // namespace pulpex
