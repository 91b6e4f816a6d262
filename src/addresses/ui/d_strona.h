// "Nowa Strona": a new address. The row is stored at once (empty) and edited here; "&OK" keeps it,
// "Anuluj" removes it again, so that an abandoned address leaves no row behind.
#pragma once

#include <memory>

#include "core/ui/window.h"

class QPushButton;

namespace pulpex {

class TDBRadioGroup;
class TTableDataSet;
struct TPolaAdresu;

class TNowaStrona : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TNowaStrona(QWidget* parent = nullptr);
    ~TNowaStrona() override;

    // Stores an empty address and opens it for editing; false (the user has been told or has
    // heard the beep) when there is nothing to edit.
    bool Prepare();
    // The new address's identifier; 0 before Prepare and after a cancel.
    int NewID() const { return id_; }

  public slots:
    void reject() override;

  private:
    void btnOkClick();
    // "&OK" is offered only while the address has a company name or a surname.
    void FieldsChange();

    TTableDataSet* tAdresy;
    TDBRadioGroup* rgPrywatny;
    QPushButton* btnOk;
    std::unique_ptr<TPolaAdresu> pola_;
    int id_ = 0;
};

// Enters a new address; its identifier, or 0 when the user cancelled.
int NowaStrona(QWidget* owner);

}  // namespace pulpex
