// Editing one user: name, administrator flag and password. The record is changed only when the
// editor is confirmed; storing it is the caller's business.
#pragma once

#include <QDialog>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pulpex {

class TRec_Users;

class TformUser_Edit : public QDialog {
    Q_OBJECT
  public:
    explicit TformUser_Edit(QWidget* parent = nullptr);
    ~TformUser_Edit() override;

    // Edits `record`; true on OK. Without a record: a message and false.
    bool Execute(TRec_Users* record);

    QLabel* lbHistoria;
    QLabel* lbNazwa;
    QLineEdit* edNazwa;
    QCheckBox* cbAdministrator;
    QPushButton* btnOk;
    QPushButton* btnWroc;
    QPushButton* btnZmianaHasla;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void btnOkClick();
    void btnZmianaHaslaClick();
    TRec_Users* record_ = nullptr;
    std::optional<QString> newPassword_;  // chosen in this session, written on OK
};

}  // namespace pulpex
