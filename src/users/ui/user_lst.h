// The list of users: for choosing one (the log-in) and for maintaining the list (administrators
// add, edit and delete; everybody may edit his own row).
#pragma once

#include "core/ui/window.h"

class QPushButton;

namespace pulpex {

class TAM_System;
class TCV_DBGrid;
class TQueryDataSet;
class TRec_Users;

class TformUserList : public TPulpexDialog {
    Q_OBJECT
  public:
    enum class Mode { Choosing, Maintaining };

    explicit TformUserList(QWidget* parent = nullptr);
    ~TformUserList() override;

    // Choosing mode: fills `record` with the chosen user, leaving `leaveOut` out of the list
    // (0 lists everybody). True when a user was chosen.
    bool ChooseUser(TRec_Users& record, int leaveOut);
    // Maintaining mode.
    void EditUserList();

    Mode CurrentMode() const { return mode_; }
    int LeaveOut() const { return leaveOut_; }

    TQueryDataSet* EmployeeQuery;
    TCV_DBGrid* grid;
    QPushButton* btnOk;
    QPushButton* btnAnuluj;
    QPushButton* btnDodaj;
    QPushButton* btnEdycja;
    QPushButton* btnUsun;

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int r) override;

  private:
    // The tools a user may use on the current row: only an administrator adds and deletes;
    // anybody edits his own row (his password).
    void enableTools();
    // Wide enough for the longest name listed.
    void fitNameColumn();
    void btnOkClick();
    void btnDodajClick();
    void btnEdycjaClick();
    void btnUsunClick();
    // Rebuilds and opens the query, on the row of `id` when it is listed.
    void requery(int id = 0);
    int currentID() const;

    Mode mode_ = Mode::Maintaining;
    TRec_Users* record_ = nullptr;
    int leaveOut_ = 0;
};

// The list in choosing mode for one call.
bool ChooseUser(TRec_Users& record, int leaveOut);
// The list in maintaining mode for one call.
void EditUserList();

// Picks the user (the current one left out) and asks for the password, three attempts. The picked
// user becomes the current user; when the password is not given the previous one stays.
bool Login(TAM_System& sys);
// Whether the last Login ended because the user closed the list or the password question (his
// choice, not a failure), rather than after wrong passwords.
bool LoginCancelled();

}  // namespace pulpex
