#include "users/ui/user_ed.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/data/dataset.h"
#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/help.h"
#include "tables/globals.h"
#include "tables/password.h"
#include "tables/users.h"
#include "users/ui/chuspas.h"

namespace pulpex {

TformUser_Edit::TformUser_Edit(QWidget* parent)
    : TPulpexDialog(parent, "formUser_Edit", QStringLiteral("Dane o użytkowniku"), kHelpUserEdit) {
    lbHistoria = new QLabel(this);
    lbHistoria->setObjectName(QStringLiteral("lbHistoria"));
    lbNazwa = new QLabel(QStringLiteral("&Nazwa użytkownika"), this);
    lbNazwa->setObjectName(QStringLiteral("lbNazwa"));
    edNazwa = new QLineEdit(this);
    edNazwa->setObjectName(QStringLiteral("edNazwa"));
    edNazwa->setMaxLength(kNameLength);
    lbNazwa->setBuddy(edNazwa);
    lbLimit = new QLabel(this);
    lbLimit->setObjectName(QStringLiteral("lbLimit"));
    lbLimit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbTylkoHaslo = new QLabel(
        QStringLiteral("Nazwę i uprawnienia zmienia administrator systemu; tu możesz zmienić "
                       "swoje hasło."),
        this);
    lbTylkoHaslo->setObjectName(QStringLiteral("lbTylkoHaslo"));
    lbTylkoHaslo->setWordWrap(true);
    cbAdministrator = new QCheckBox(QStringLiteral("Administrator systemu"), this);
    cbAdministrator->setObjectName(QStringLiteral("cbAdministrator"));
    btnZmianaHasla = MakeButton(this, QStringLiteral("&Zmiana hasła"), "btnZmianaHasla");
    btnOk = MakeButton(this, QStringLiteral("&OK"), "btnOk", {}, /*isDefault=*/true);
    btnWroc = CancelButton(QStringLiteral("Wróć"), "btnWroc");
    connect(btnOk, &QPushButton::clicked, this, &TformUser_Edit::btnOkClick);
    connect(btnZmianaHasla, &QPushButton::clicked, this, &TformUser_Edit::btnZmianaHaslaClick);
    connect(edNazwa, &QLineEdit::textChanged, this, &TformUser_Edit::showLimit);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(edNazwa, 1);
    nameRow->addWidget(lbLimit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbHistoria);
    layout->addWidget(lbNazwa);
    layout->addLayout(nameRow);
    layout->addWidget(lbTylkoHaslo);
    layout->addWidget(cbAdministrator);
    layout->addLayout(ButtonRow({btnZmianaHasla}, {btnOk, btnWroc}));
    SetActiveControl(edNazwa);
    showLimit();
}

TformUser_Edit::~TformUser_Edit() = default;

bool TformUser_Edit::Execute(TRec_Users* record) {
    if (!record) {
        prompts().message(Severity::Information, QStringLiteral("Brak danych do edycji"));
        return false;
    }
    record_ = record;
    newPassword_.reset();
    passwordChanged_ = false;
    lbHistoria->setText(record->InfoText().trimmed());
    edNazwa->setText(record->FNAME);
    cbAdministrator->setChecked(record->USER_ISA);
    // Only an administrator renames users and hands out or takes back the flag.
    const bool admin = LoggedInIsAdmin();
    edNazwa->setReadOnly(!admin);
    cbAdministrator->setVisible(admin);
    lbTylkoHaslo->setVisible(!admin);
    SetActiveControl(admin ? static_cast<QWidget*>(edNazwa) : btnZmianaHasla);
    const bool ok = exec() == QDialog::Accepted;
    record_ = nullptr;
    newPassword_.reset();
    return ok;
}

void TformUser_Edit::showLimit() {
    lbLimit->setText(QStringLiteral("%1 z %2").arg(edNazwa->text().size()).arg(kNameLength));
}

bool TformUser_Edit::nameTaken(const QString& name, int id) {
    bool taken = false;
    TQueryDataSet* q =
        QueryDataSet(this, "qNazwy", {QStringLiteral("select ID, FNAME from \"USERS.dbf\"")});
    // The query goes with the check, whatever it found.
    const std::unique_ptr<TQueryDataSet> owned(q);
    Guarded([&] {
        q->Open();
        for (q->First(); !q->Eof() && !taken; q->Next())
            taken =
                q->AsInteger(QStringLiteral("ID")) != id &&
                q->AsString(QStringLiteral("FNAME")).trimmed().compare(name, Qt::CaseInsensitive) ==
                    0;
    });
    return taken;
}

void TformUser_Edit::btnOkClick() {
    const bool admin = LoggedInIsAdmin();
    if (admin) {
        const QString name = edNazwa->text().trimmed();
        if (name.isEmpty()) {
            prompts().message(Severity::Warning,
                              QStringLiteral("Proszę wpisać nazwę użytkownika."));
            edNazwa->setFocus(Qt::OtherFocusReason);
            return;
        }
        if (TblUsers && TblUsers->Active() &&
            !FitEditorText(edNazwa, TblUsers->T().codePage(), QStringLiteral("Nazwa użytkownika")))
            return;
        // The log-in list shows names only: two alike could not be told apart.
        if (nameTaken(edNazwa->text().trimmed(), record_->ID)) {
            prompts().message(Severity::Warning,
                              QStringLiteral("Użytkownik o nazwie „") + edNazwa->text().trimmed() +
                                  QStringLiteral("” już istnieje.\r\nProszę wpisać inną nazwę."));
            edNazwa->setFocus(Qt::OtherFocusReason);
            return;
        }
        // The last administrator keeps his right: without one nobody could manage users again.
        if (record_->USER_ISA && !cbAdministrator->isChecked() && TblUsers && record_->ID != 0 &&
            TblUsers->OtherAdministrators(record_->ID) == 0) {
            prompts().message(
                Severity::Warning,
                QStringLiteral("Nie można odebrać uprawnień ostatniemu administratorowi "
                               "systemu!"));
            cbAdministrator->setChecked(true);
            return;
        }
        record_->FNAME = edNazwa->text().trimmed();
        record_->USER_ISA = cbAdministrator->isChecked();
    }
    if (newPassword_) {
        record_->PRSN_PSW = PasswordValue(*newPassword_);
        record_->PRSN_HSH = PasswordHash(*newPassword_);
        passwordChanged_ = true;
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
