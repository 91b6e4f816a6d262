#include "users/ui/user_ed.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/help.h"
#include "tables/globals.h"
#include "tables/password.h"
#include "tables/users.h"
#include "users/ui/chuspas.h"

namespace pulpex {

namespace {

bool loggedInIsAdmin() {
    return System() && System()->CurrentUserIsAdmin();
}

}  // namespace

TformUser_Edit::TformUser_Edit(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("formUser_Edit"));
    setWindowTitle(QStringLiteral("Dane o użytkowniku"));
    SetHelpContext(this, kHelpUserEdit);
    lbHistoria = new QLabel(this);
    lbHistoria->setObjectName(QStringLiteral("lbHistoria"));
    lbNazwa = new QLabel(QStringLiteral("&Nazwa użytkownika"), this);
    lbNazwa->setObjectName(QStringLiteral("lbNazwa"));
    edNazwa = new QLineEdit(this);
    edNazwa->setObjectName(QStringLiteral("edNazwa"));
    edNazwa->setMaxLength(25);  // FNAME
    lbNazwa->setBuddy(edNazwa);
    cbAdministrator = new QCheckBox(QStringLiteral("Administrator systemu"), this);
    cbAdministrator->setObjectName(QStringLiteral("cbAdministrator"));
    btnZmianaHasla = new QPushButton(QStringLiteral("&Zmiana hasła"), this);
    btnZmianaHasla->setObjectName(QStringLiteral("btnZmianaHasla"));
    btnZmianaHasla->setAutoDefault(false);
    btnOk = new QPushButton(QStringLiteral("&OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnWroc = new QPushButton(QStringLiteral("Wróć"), this);
    btnWroc->setObjectName(QStringLiteral("btnWroc"));
    btnWroc->setAutoDefault(false);
    connect(btnOk, &QPushButton::clicked, this, &TformUser_Edit::btnOkClick);
    connect(btnWroc, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnZmianaHasla, &QPushButton::clicked, this, &TformUser_Edit::btnZmianaHaslaClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnZmianaHasla);
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnWroc);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbHistoria);
    layout->addWidget(lbNazwa);
    layout->addWidget(edNazwa);
    layout->addWidget(cbAdministrator);
    layout->addLayout(buttons);
}

TformUser_Edit::~TformUser_Edit() = default;

bool TformUser_Edit::Execute(TRec_Users* record) {
    if (!record) {
        prompts().message(Severity::Information, QStringLiteral("Brak danych do edycji"));
        return false;
    }
    record_ = record;
    newPassword_.reset();
    lbHistoria->setText(record->InfoText().trimmed());
    edNazwa->setText(record->FNAME);
    cbAdministrator->setChecked(record->USER_ISA);
    // Only an administrator hands out or takes back the flag.
    cbAdministrator->setVisible(loggedInIsAdmin());
    const bool ok = exec() == QDialog::Accepted;
    record_ = nullptr;
    newPassword_.reset();
    return ok;
}

void TformUser_Edit::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    edNazwa->setFocus(Qt::OtherFocusReason);
}

void TformUser_Edit::btnOkClick() {
    const QString name = edNazwa->text().trimmed();
    if (name.isEmpty()) {
        edNazwa->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The last administrator keeps his right: without one nobody could manage users again.
    if (loggedInIsAdmin() && record_->USER_ISA && !cbAdministrator->isChecked() && TblUsers &&
        record_->ID != 0 && TblUsers->OtherAdministrators(record_->ID) == 0) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Nie można odebrać uprawnień ostatniemu administratorowi "
                                         "systemu!"));
        cbAdministrator->setChecked(true);
        return;
    }
    record_->FNAME = name;
    if (loggedInIsAdmin()) record_->USER_ISA = cbAdministrator->isChecked();
    if (newPassword_) {
        record_->PRSN_PSW = PasswordValue(*newPassword_);
        record_->PRSN_HSH = PasswordHash(*newPassword_);
    }
    accept();
}

void TformUser_Edit::btnZmianaHaslaClick() {
    TformChangeUserPassword dlg(this);
    // A second change in one session is checked against the first one.
    const int value = newPassword_ ? PasswordValue(*newPassword_) : record_->PRSN_PSW;
    const QString hash = newPassword_ ? PasswordHash(*newPassword_) : record_->PRSN_HSH;
    if (dlg.Execute(value, hash)) newPassword_ = dlg.NewPassword();
}

}  // namespace pulpex
