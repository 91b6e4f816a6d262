// The password dialog of the log-in: the typed password is checked against the current user's
// row, a few attempts in a row.
#pragma once

#include "core/ui/window.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace pulpex {

class TformEnterPassword : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TformEnterPassword(QWidget* parent = nullptr);
    ~TformEnterPassword() override;

    // Shows the dialog with `prompt` up to `attempts` times (outside 1..3 counts as 1); true as
    // soon as the current user's password is typed, false on cancel or after the last attempt.
    bool Ask(const QString& prompt, int attempts);
    // Whether the last Ask ended because the user closed the question.
    bool Cancelled() const { return cancelled_; }

    QLabel* lbPrompt;
    QLabel* Label1;
    QLineEdit* edPassword;
    QPushButton* btnOk;
    QPushButton* btnAnuluj;

  private:
    bool cancelled_ = false;
};

// Makes `edit` a password field that shows "*" whatever the desktop style would draw. The style
// object belongs to `owner`, which must outlive the field (its dialog, made before the field is
// destroyed: children go in the order they were made).
void MaskWithStars(QLineEdit* edit, QObject* owner);

// Whether `typed` is the current user's password (the users table decides, and upgrades an old
// row to the hash); false without a system object.
bool CheckCurrentUserPassword(const QString& typed);

}  // namespace pulpex
