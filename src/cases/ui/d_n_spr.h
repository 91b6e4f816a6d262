// "Nowa sprawa": a new case, stored at once with the next identifier and its number, named and
// described here. A name another case has already is refused; abandoning the dialog removes the
// row again, so that no empty case is left behind.
#pragma once

#include "core/ui/window.h"

class QPushButton;

namespace pulpex {

class TDBEdit;
class TDBMemo;
class TTableDataSet;

class Td_n_sprawa : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit Td_n_sprawa(QWidget* parent = nullptr);

    // Stores the new case (its number is its identifier) and opens it here; false (after saying
    // why) when it cannot be stored.
    bool Prepare();
    // The new case's identifier (0 before Prepare).
    int Id() const { return id_; }
    // The identifier after "O&K", or 0 after "Anuluj" (the row is gone then).
    int Result() const { return result() == QDialog::Accepted ? id_ : 0; }

  public slots:
    void reject() override;

  private:
    void namesChanged();
    void btnOKClick();

    TTableDataSet* tSprawy;
    TDBEdit* edNazwa;
    TDBEdit* edNumer;
    TDBMemo* memOpis;
    QPushButton* btnOK;
    int id_ = 0;
};

// Runs the new-case dialog; the new case's identifier, or 0 when it was abandoned.
int NowaSprawa(QWidget* owner);

}  // namespace pulpex
