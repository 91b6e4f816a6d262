// "Lista spraw": the open cases by name, to choose one (the event list links its event to it);
// a new case can be created on the spot.
#pragma once

#include "core/ui/window.h"

class QPushButton;

namespace pulpex {

class TCV_DBGrid;
class TDBMemo;
class TQueryDataSet;

class TW_LSpraw : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TW_LSpraw(QWidget* parent = nullptr);

    // Opens the list.
    void Prepare();
    // The case chosen with "&OK"; 0 when the window was closed otherwise.
    int Result() const { return result_; }

  private:
    void reopen(int keepId);
    void qSprawyAfterOpen();
    void btnOKClick();
    void btnNowaClick();

    TQueryDataSet* qSprawy;
    TCV_DBGrid* grdSprawy;
    TDBMemo* memOpis;
    QPushButton* btnOK;
    QPushButton* btnNowa;
    int result_ = 0;
};

// Shows the open cases; the identifier of the one chosen, or 0.
int ListaSpraw(QWidget* owner);

}  // namespace pulpex
