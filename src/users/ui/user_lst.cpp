#include "users/ui/user_lst.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/data/dataset.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/help.h"
#include "tables/globals.h"
#include "tables/ui/entr_psw.h"
#include "tables/users.h"
#include "users/ui/user_ed.h"

namespace pulpex {

namespace {

bool loggedInIsAdmin() {
    return System() && System()->CurrentUserIsAdmin();
}

void showDatabaseError(const EDatabaseError& e) {
    prompts().message(Severity::Error, QString::fromUtf8(e.what()));
}

QPushButton* button(QWidget* parent, const QString& text, const char* name) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

}  // namespace

TformUserList::TformUserList(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("formUserList"));
    setWindowTitle(QStringLiteral("Lista użytkowników"));
    SetHelpContext(this, kHelpUserList);
    EmployeeQuery = new TQueryDataSet(this);
    EmployeeQuery->setObjectName(QStringLiteral("EmployeeQuery"));
    grid = new TCV_DBGrid(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->SetDataSet(EmployeeQuery);
    grid->AddColumn(QStringLiteral("FNAME"), QStringLiteral("Użytkownik"));
    grid->SetSearchName(QStringLiteral("FNAME"));
    btnOk = button(this, QStringLiteral("&Ok"), "btnOk");
    btnOk->setDefault(true);
    btnAnuluj = button(this, QStringLiteral("Anuluj"), "btnAnuluj");
    btnDodaj = button(this, QStringLiteral("&Dodaj"), "btnDodaj");
    btnDodaj->setToolTip(QStringLiteral("Dodaj pracownika"));
    btnEdycja = button(this, QStringLiteral("&Edycja"), "btnEdycja");
    btnEdycja->setToolTip(QStringLiteral("Edycja danych o użytkowniku"));
    btnUsun = button(this, QStringLiteral("&Usuń"), "btnUsun");
    connect(btnOk, &QPushButton::clicked, this, &TformUserList::btnOkClick);
    connect(grid, &QAbstractItemView::doubleClicked, this, &TformUserList::btnOkClick);
    connect(btnAnuluj, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnDodaj, &QPushButton::clicked, this, &TformUserList::btnDodajClick);
    connect(btnEdycja, &QPushButton::clicked, this, &TformUserList::btnEdycjaClick);
    connect(btnUsun, &QPushButton::clicked, this, &TformUserList::btnUsunClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnDodaj);
    buttons->addWidget(btnEdycja);
    buttons->addWidget(btnUsun);
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnAnuluj);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid, 1);
    layout->addLayout(buttons);
    resize(360, 320);
}

TformUserList::~TformUserList() = default;

bool TformUserList::ChooseUser(TRec_Users& record, int leaveOut) {
    mode_ = Mode::Choosing;
    record_ = &record;
    leaveOut_ = leaveOut;
    const bool ok = exec() == QDialog::Accepted;
    record_ = nullptr;
    return ok;
}

void TformUserList::EditUserList() {
    mode_ = Mode::Maintaining;
    record_ = nullptr;
    leaveOut_ = 0;
    exec();
}

void TformUserList::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const bool maintaining = mode_ == Mode::Maintaining;
    btnDodaj->setVisible(maintaining);
    btnEdycja->setVisible(maintaining);
    btnUsun->setVisible(maintaining);
    requery();
    grid->setFocus(Qt::OtherFocusReason);
}

void TformUserList::done(int r) {
    EmployeeQuery->Close();
    leaveOut_ = 0;
    QDialog::done(r);
}

void TformUserList::requery(int id) {
    EmployeeQuery->Close();
    EmployeeQuery->SetDatabaseName(System() ? System()->DataDir : QString());
    EmployeeQuery->SetSQL({QStringLiteral("select FNAME,id "), QStringLiteral("from \"USERS.dbf\""),
                           QStringLiteral("where ID <> ") + QString::number(leaveOut_),
                           QStringLiteral("ORDER BY FNAME")});
    try {
        EmployeeQuery->Open();
        if (id != 0) EmployeeQuery->Locate(QStringLiteral("ID"), id);
    } catch (const EDatabaseError& e) {
        showDatabaseError(e);
    }
}

int TformUserList::currentID() const {
    if (!EmployeeQuery->Active() || EmployeeQuery->IsEmpty()) return 0;
    return static_cast<int>(EmployeeQuery->AsInteger(QStringLiteral("ID")));
}

void TformUserList::btnOkClick() {
    if (mode_ == Mode::Maintaining) {
        reject();
        return;
    }
    const int id = currentID();
    if (id == 0 || !record_ || !TblUsers) return;
    EmployeeQuery->Close();
    bool found = false;
    try {
        OpenForCall open(*TblUsers);
        found = TblUsers->ReadRecordByID(id, *record_);
    } catch (const EDatabaseError& e) {
        showDatabaseError(e);
    }
    if (found) {
        accept();
        return;
    }
    // Deleted meanwhile at another workstation: the list shows who is left.
    setResult(QDialog::Rejected);
    requery();
}

void TformUserList::btnDodajClick() {
    if (!loggedInIsAdmin() || !TblUsers) return;
    TRec_Users user;
    TformUser_Edit editor(this);
    if (!editor.Execute(&user)) return;
    try {
        TblUsers->AddNewUser(user);
    } catch (const EDatabaseError& e) {
        showDatabaseError(e);
    }
    requery(user.ID);
}

void TformUserList::btnEdycjaClick() {
    const int id = currentID();
    if (id == 0 || !TblUsers || !System()) return;
    TAM_System& sys = *System();
    if (!sys.CurrentUserIsAdmin() && id != sys.CurrentUserID()) return;
    try {
        OpenForCall open(*TblUsers);
        if (TblUsers->LocateID(id) && TblUsers->LockRecord()) {
            TRec_Users user;
            user.LoadFields(*TblUsers);
            TformUser_Edit editor(this);
            const bool changed = editor.Execute(&user);
            try {
                if (changed) {
                    user.Stamp(1);
                    user.StoreFields(*TblUsers);
                }
                TblUsers->PostRow();
            } catch (const EDatabaseError&) {
                TblUsers->CancelRow();
                throw;
            }
            // The logged-in user's own record follows his row.
            if (changed && id == sys.CurrentUserID()) sys.CurrentUser() = user;
        }
    } catch (const EDatabaseError& e) {
        showDatabaseError(e);
    }
    requery(id);
}

void TformUserList::btnUsunClick() {
    if (!loggedInIsAdmin() || !TblUsers) return;
    if (!EmployeeQuery->Active() || EmployeeQuery->RecordCount() <= 1) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Nie można usunąć ostatniego użytkownika!"));
        return;
    }
    const int id = currentID();
    try {
        OpenForCall open(*TblUsers);
        TRec_Users user;
        if (!TblUsers->ReadRecordByID(id, user)) return;
        // Nobody could manage users any more, or the one at the screen would vanish under
        // his own feet.
        if (id == System()->CurrentUserID()) {
            prompts().message(
                Severity::Warning,
                QStringLiteral("Nie można usunąć użytkownika, który jest zalogowany."));
            return;
        }
        if (user.USER_ISA && TblUsers->OtherAdministrators(id) == 0) {
            prompts().message(
                Severity::Warning,
                QStringLiteral("Nie można usunąć ostatniego administratora systemu!"));
            return;
        }
        const Answer a = prompts().message(
            Severity::Confirmation,
            QStringLiteral("Czy na pewno chcesz usunąć tego użytkownika ?\r\nUżytkownik : ") +
                user.FNAME,
            Buttons::YesNoCancel);
        if (a != Answer::Yes) return;
        TblUsers->DeleteUser(id);
    } catch (const EDatabaseError& e) {
        showDatabaseError(e);
    }
    requery();
}

bool ChooseUser(TRec_Users& record, int leaveOut) {
    TformUserList list;
    return list.ChooseUser(record, leaveOut);
}

void EditUserList() {
    TformUserList list;
    list.EditUserList();
}

bool Login(TAM_System& sys) {
    TRec_Users picked;
    if (!ChooseUser(picked, sys.CurrentUserID())) return false;
    // The password is checked against the picked user's row, so he is current while it is asked.
    const TRec_Users previous = sys.CurrentUser();
    sys.CurrentUser() = picked;
    TformEnterPassword dlg;
    if (dlg.Ask(QStringLiteral("Użytkownik ") + picked.FNAME, 3)) return true;
    sys.CurrentUser() = previous;
    return false;
}

}  // namespace pulpex
