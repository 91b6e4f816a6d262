// Editing one user: name, administrator flag and password. The record is changed only when the
// editor is confirmed; storing it is the caller's business. Only an administrator renames users
// and hands out the flag; anybody else changes his password here and nothing more.
#pragma once

#include <optional>

#include "core/ui/window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pulpex {

class TRec_Users;

class TformUser_Edit : public TPulpexDialog {
    Q_OBJECT
  public:
    // FNAME's size.
    static constexpr int kNameLength = 25;

    explicit TformUser_Edit(QWidget* parent = nullptr);
    ~TformUser_Edit() override;

    // Edits `record`; true on OK. Without a record: a message and false.
    bool Execute(TRec_Users* record);
    // Whether the confirmed edit gave the user a new password.
    bool PasswordChanged() const { return passwordChanged_; }

    QLabel* lbHistoria;
    QLabel* lbNazwa;
    QLineEdit* edNazwa;
    QLabel* lbLimit;  // how many of the 25 characters are used
    QLabel* lbTylkoHaslo;
    QCheckBox* cbAdministrator;
    QPushButton* btnOk;
    QPushButton* btnWroc;
    QPushButton* btnZmianaHasla;

  private:
    void btnOkClick();
    void btnZmianaHaslaClick();
    void showLimit();
    // Whether another user than `id` is called `name` (letter case aside).
    bool nameTaken(const QString& name, int id);

    TRec_Users* record_ = nullptr;
    std::optional<QString> newPassword_;  // chosen in this session, written on OK
    bool passwordChanged_ = false;
};

}  // namespace pulpex
