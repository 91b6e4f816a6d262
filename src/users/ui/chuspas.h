// Changing a user's password: the old one is checked against the user's stored password, the
// new one typed twice.
#pragma once

#include "core/ui/window.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace pulpex {

class TformChangeUserPassword : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TformChangeUserPassword(QWidget* parent = nullptr);
    ~TformChangeUserPassword() override;

    // Shows the dialog for a user whose stored password is the old value `storedValue` and the
    // hash `storedHash` (the hash decides when set). True on OK; NewPassword() then holds the
    // new password.
    bool Execute(int storedValue, const QString& storedHash);
    const QString& NewPassword() const { return newPassword_; }

    QLineEdit* edStare;
    QLineEdit* edNowe;
    QLineEdit* edNowe2;
    QPushButton* btnOk;
    QPushButton* btnWroc;
    QPushButton* btnPomoc;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void btnOkClick();
    int storedValue_ = 0;
    QString storedHash_;
    QString newPassword_;
};

}  // namespace pulpex
