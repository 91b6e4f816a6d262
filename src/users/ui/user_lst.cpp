#include "users/ui/user_lst.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "controls/data/dataset.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/help.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/ui/entr_psw.h"
#include "tables/users.h"
#include "users/ui/user_ed.h"

namespace pulpex {

namespace {

bool gLoginCancelled = false;

const QString kAdminOnly = QStringLiteral(
    "Tylko administrator systemu może dodawać i usuwać "
    "użytkowników.");

}  // namespace

TformUserList::TformUserList(QWidget* parent)
    : TPulpexDialog(parent, "formUserList", QStringLiteral("Lista użytkowników"), kHelpUserList) {
    EmployeeQuery = QueryDataSet(this, "EmployeeQuery");
    grid = new TCV_DBGrid(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->SetDataSet(EmployeeQuery);
    grid->AddColumn(QStringLiteral("FNAME"), QStringLiteral("Użytkownik"));
    grid->SetSearchName(QStringLiteral("FNAME"));
    grid->horizontalHeader()->setStretchLastSection(true);
    btnOk = MakeButton(this, QStringLiteral("&Ok"), "btnOk", {}, /*isDefault=*/true);
    btnAnuluj = CancelButton(QStringLiteral("Anuluj"), "btnAnuluj");
    btnDodaj =
        MakeButton(this, QStringLiteral("&Dodaj"), "btnDodaj", QStringLiteral("Dodaj pracownika"));
    btnEdycja = MakeButton(this, QStringLiteral("&Edycja"), "btnEdycja",
                           QStringLiteral("Edycja danych o użytkowniku"));
    btnUsun = MakeButton(this, QStringLiteral("&Usuń"), "btnUsun");
    connect(btnOk, &QPushButton::clicked, this, &TformUserList::btnOkClick);
    connect(grid, &QAbstractItemView::doubleClicked, this, &TformUserList::btnOkClick);
    connect(btnDodaj, &QPushButton::clicked, this, &TformUserList::btnDodajClick);
    connect(btnEdycja, &QPushButton::clicked, this, &TformUserList::btnEdycjaClick);
    connect(btnUsun, &QPushButton::clicked, this, &TformUserList::btnUsunClick);
    connect(EmployeeQuery, &TDataSet::AfterScroll, this, &TformUserList::enableTools);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid, 1);
    layout->addLayout(ButtonRow({btnDodaj, btnEdycja, btnUsun}, {btnOk, btnAnuluj}));
    SetActiveControl(grid);
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
    const bool maintaining = mode_ == Mode::Maintaining;
    btnDodaj->setVisible(maintaining);
    btnEdycja->setVisible(maintaining);
    btnUsun->setVisible(maintaining);
    requery();
    TPulpexDialog::showEvent(event);
}

void TformUserList::done(int r) {
    EmployeeQuery->Close();
    leaveOut_ = 0;
    TPulpexDialog::done(r);
}

void TformUserList::requery(int id) {
    EmployeeQuery->Close();
    EmployeeQuery->SetSQL({QStringLiteral("select FNAME,id "), QStringLiteral("from \"USERS.dbf\""),
                           QStringLiteral("where ID <> ") + QString::number(leaveOut_),
                           QStringLiteral("ORDER BY FNAME")});
    Guarded([&] {
        EmployeeQuery->Open();
        if (id != 0) EmployeeQuery->Locate(QStringLiteral("ID"), id);
    });
    fitNameColumn();
    enableTools();
}

void TformUserList::fitNameColumn() {
    int widest = grid->horizontalHeader()->sectionSizeHint(0);
    if (EmployeeQuery->Active()) {
        const QFontMetrics fm(grid->font());
        auto reader = EmployeeQuery->CreateReader();
        const int f = reader->fieldNo("FNAME");
        for (reader->first(); !reader->eof(); reader->next())
            widest = std::max(widest, fm.horizontalAdvance(qs(reader->asText(f)).trimmed()));
    }
    // Room for the cell's margins and the frame, and for the scroll bar of a long list.
    const int column = widest + 2 * grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 16;
    grid->horizontalHeader()->resizeSection(0, column);
    grid->setMinimumWidth(column + grid->verticalHeader()->width() +
                          grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                          2 * grid->frameWidth());
}

void TformUserList::enableTools() {
    const bool admin = LoggedInIsAdmin();
    const int id = currentID();
    btnDodaj->setEnabled(admin);
    btnUsun->setEnabled(admin);
    btnEdycja->setEnabled(id != 0 && (admin || (System() && id == System()->CurrentUserID())));
    btnDodaj->setToolTip(admin ? QStringLiteral("Dodaj pracownika") : kAdminOnly);
    btnUsun->setToolTip(admin ? QString() : kAdminOnly);
    btnEdycja->setToolTip(btnEdycja->isEnabled() || id == 0
                              ? QStringLiteral("Edycja danych o użytkowniku")
                              : QStringLiteral("Dane innych użytkowników może zmieniać tylko "
                                               "administrator systemu."));
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
    Guarded([&] {
        OpenForCall open(*TblUsers);
        found = TblUsers->ReadRecordByID(id, *record_);
    });
    if (found) {
        accept();
        return;
    }
    // Deleted meanwhile at another workstation: the list shows who is left.
    setResult(QDialog::Rejected);
    requery();
}

void TformUserList::btnDodajClick() {
    if (!LoggedInIsAdmin() || !TblUsers) return;
    TRec_Users user;
    TformUser_Edit editor(this);
    if (!editor.Execute(&user)) return;
    Guarded([&] { TblUsers->AddNewUser(user); });
    requery(user.ID);
}

void TformUserList::btnEdycjaClick() {
    const int id = currentID();
    if (id == 0 || !TblUsers || !System()) return;
    TAM_System& sys = *System();
    if (!LoggedInIsAdmin() && id != sys.CurrentUserID()) return;
    bool passwordChanged = false;
    Guarded([&] {
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
            passwordChanged = changed && editor.PasswordChanged();
            // The logged-in user's own record follows his row.
            if (changed && id == sys.CurrentUserID()) sys.CurrentUser() = user;
        }
    });
    requery(id);
    if (passwordChanged)
        prompts().message(Severity::Information, QStringLiteral("Hasło zostało zmienione."));
}

void TformUserList::btnUsunClick() {
    if (!LoggedInIsAdmin() || !TblUsers) return;
    if (!EmployeeQuery->Active() || EmployeeQuery->RecordCount() <= 1) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Nie można usunąć ostatniego użytkownika!"));
        return;
    }
    const int id = currentID();
    Guarded([&] {
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
    });
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
    gLoginCancelled = false;
    TRec_Users picked;
    if (!ChooseUser(picked, sys.CurrentUserID())) {
        gLoginCancelled = true;
        return false;
    }
    // The password is checked against the picked user's row, so he is current while it is asked.
    const TRec_Users previous = sys.CurrentUser();
    sys.CurrentUser() = picked;
    TformEnterPassword dlg;
    if (dlg.Ask(QStringLiteral("Użytkownik ") + picked.FNAME, 3)) return true;
    gLoginCancelled = dlg.Cancelled();
    sys.CurrentUser() = previous;
    return false;
}

bool LoginCancelled() {
    return gLoginCancelled;
}

}  // namespace pulpex
