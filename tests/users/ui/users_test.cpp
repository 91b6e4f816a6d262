#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include "controls/data/dataset.h"
#include "controls/grid/cvdbgrid.h"
#include "core/ui/am_confg.h"
#include "core/utils.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/widgets.h"
#include "tables/fieldio.h"
#include "users/ui/chuspas.h"
#include "users/ui/user_ed.h"
#include "users/ui/user_lst.h"

namespace pulpex {
namespace {

using test::ModalScript;

using test::child;
using test::click;

QStringList listed(TformUserList& list) {
    QStringList out;
    TQueryDataSet* q = list.EmployeeQuery;
    for (q->First(); !q->Eof(); q->Next())
        out << q->AsString("FNAME");
    return out;
}

class Users : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        nowak = inst.addUser("Nowak", "n1");
        kowal = inst.addUser("Kowalska", "k1");
    }
    // Moves the open list to the user's row.
    static void select(TformUserList& list, const QString& name) {
        ASSERT_TRUE(list.EmployeeQuery->Locate("FNAME", name));
    }
    QStringList messages() { return inst.env.prompts.texts(); }

    test::TestInstallation inst;
    TRec_Users nowak, kowal;
};

TEST_F(Users, ChoosingListsEverybodyButTheOneLeftOutAndHidesTheTools) {
    TformUserList list;
    QStringList names, sql;
    bool toolsHidden = false;
    TRec_Users chosen;
    ModalScript script;
    script.then([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Lista użytkowników");
        names = listed(list);
        sql = list.EmployeeQuery->SQL();
        toolsHidden = !list.btnDodaj->isVisible() && !list.btnEdycja->isVisible() &&
                      !list.btnUsun->isVisible();
        select(list, "Nowak");
        click(w, "btnOk");
    });
    ASSERT_TRUE(list.ChooseUser(chosen, kowal.ID));
    EXPECT_EQ(names, (QStringList{"ADMINISTRATOR", "Nowak"}));
    EXPECT_EQ(sql, (QStringList{"select FNAME,id ", "from \"USERS.dbf\"",
                                "where ID <> " + QString::number(kowal.ID), "ORDER BY FNAME"}));
    EXPECT_TRUE(toolsHidden);
    EXPECT_EQ(chosen.ID, nowak.ID);
    EXPECT_EQ(chosen.FNAME, "Nowak");
    EXPECT_EQ(list.LeaveOut(), 0);  // reset when the list closes
    EXPECT_FALSE(list.EmployeeQuery->Active());

    // Cancel, and "&Ok" in maintaining mode, choose nobody.
    script.then([&](QWidget* w) { click(w, "btnAnuluj"); });
    EXPECT_FALSE(list.ChooseUser(chosen, 0));
    inst.logIn(1);
    bool toolsShown = false;
    script.then([&](QWidget* w) {
        toolsShown = list.btnDodaj->isVisible() && list.btnUsun->isVisible();
        EXPECT_EQ(list.btnDodaj->toolTip(), "Dodaj pracownika");
        EXPECT_EQ(listed(list).size(), 3);
        click(w, "btnOk");
    });
    list.EditUserList();
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(toolsShown);
}

TEST_F(Users, AdministratorAddsEditsAndDeletes) {
    inst.logIn(1);
    TformUserList list;
    ModalScript script;
    // Add "Wiśniewski", administrator, with a password set in the editor.
    script.then([&](QWidget*) { list.btnDodaj->click(); })
        .then([&](QWidget* ed) {
            EXPECT_EQ(ed->windowTitle(), "Dane o użytkowniku");
            EXPECT_TRUE(child<QCheckBox>(ed, "cbAdministrator")->isVisible());
            // An empty name keeps the editor open, and says why.
            click(ed, "btnOk");
            EXPECT_TRUE(ed->isVisible());
            child<QLineEdit>(ed, "edNazwa")->setText("Wiśniewski");  // QTest types ASCII only
            child<QCheckBox>(ed, "cbAdministrator")->setChecked(true);
            click(ed, "btnZmianaHasla");
        })
        .then([&](QWidget* pw) {
            EXPECT_EQ(pw->windowTitle(), "Zmiana hasła");
            QTest::keyClicks(child<QLineEdit>(pw, "edNowe"), "wiosna");
            QTest::keyClicks(child<QLineEdit>(pw, "edNowe2"), "wiosna");
            click(pw, "btnOk");
        })
        .then([&](QWidget* ed) { click(ed, "btnOk"); })
        // Rename Nowak and take nothing else.
        .then([&](QWidget*) {
            EXPECT_EQ(listed(list),
                      (QStringList{"ADMINISTRATOR", "Kowalska", "Nowak", "Wiśniewski"}));
            select(list, "Nowak");
            list.btnEdycja->click();
        })
        .then([&](QWidget* ed) {
            EXPECT_EQ(child<QLineEdit>(ed, "edNazwa")->text(), "Nowak");
            child<QLineEdit>(ed, "edNazwa")->setText("Nowak-Kowalczyk");
            click(ed, "btnOk");
        })
        // An edit given up changes nothing.
        .then([&](QWidget*) {
            select(list, "Kowalska");
            list.btnEdycja->click();
        })
        .then([&](QWidget* ed) {
            child<QLineEdit>(ed, "edNazwa")->setText("Inna");
            click(ed, "btnWroc");
        })
        .then([&](QWidget*) {
            EXPECT_EQ(listed(list),
                      (QStringList{"ADMINISTRATOR", "Kowalska", "Nowak-Kowalczyk", "Wiśniewski"}));
            // Deletion asks first: "No" keeps the user, "Yes" deletes.
            select(list, "Kowalska");
            inst.env.prompts.setNextAnswer(Answer::No);
            list.btnUsun->click();
            EXPECT_EQ(listed(list).size(), 4);
            select(list, "Kowalska");
            inst.env.prompts.setNextAnswer(Answer::Yes);
            list.btnUsun->click();
            click(list.window(), "btnAnuluj");
        });
    list.EditUserList();
    ASSERT_TRUE(script.done());

    const QString question =
        "Czy na pewno chcesz usunąć tego użytkownika ?\r\nUżytkownik : Kowalska";
    EXPECT_EQ(messages(), (QStringList{"Proszę wpisać nazwę użytkownika.", question, question}));
    EXPECT_EQ(inst.env.prompts.shown().at(1).buttons, Buttons::YesNoCancel);
    EXPECT_TRUE(inst.read(kowal.ID).FNAME.isEmpty());
    EXPECT_EQ(inst.read(nowak.ID).FNAME, "Nowak-Kowalczyk");
    TRec_Users added = inst.read(4);
    EXPECT_EQ(added.FNAME, "Wiśniewski");
    EXPECT_TRUE(added.USER_ISA);
    EXPECT_TRUE(TblUsers->CheckPassword(added, "wiosna"));
    EXPECT_FALSE(TblUsers->CheckPassword(added, "answoi"));
}

TEST_F(Users, NonAdministratorChangesOnlyHisOwnPassword) {
    inst.logIn(nowak.ID);
    TformUserList list;
    bool toolsOff = false, othersOff = false, ownOn = false, nameLocked = false, flagShown = true;
    QString addHint;
    ModalScript script;
    script
        .then([&](QWidget*) {
            // What he may not do is not offered, and says why.
            toolsOff = !list.btnDodaj->isEnabled() && !list.btnUsun->isEnabled();
            addHint = list.btnDodaj->toolTip();
            select(list, "Kowalska");
            othersOff = !list.btnEdycja->isEnabled();
            select(list, "Nowak");
            ownOn = list.btnEdycja->isEnabled();
            click(&list, "btnEdycja");
        })
        .then([&](QWidget* ed) {
            auto* name = child<QLineEdit>(ed, "edNazwa");
            nameLocked = name->isReadOnly();
            flagShown = child<QCheckBox>(ed, "cbAdministrator")->isVisible();
            EXPECT_TRUE(child<QLabel>(ed, "lbTylkoHaslo")->isVisible());
            name->setText("Nowak Jan");  // read-only to him: not taken
            click(ed, "btnZmianaHasla");
        })
        .then([&](QWidget* pw) {
            QTest::keyClicks(child<QLineEdit>(pw, "edStare"), "n1");
            QTest::keyClicks(child<QLineEdit>(pw, "edNowe"), "jesien");
            QTest::keyClicks(child<QLineEdit>(pw, "edNowe2"), "jesien");
            click(pw, "btnOk");
        })
        .then([&](QWidget* ed) { click(ed, "btnOk"); })
        .then([&](QWidget* w) { click(w, "btnAnuluj"); });
    list.EditUserList();
    ASSERT_TRUE(script.done());
    EXPECT_TRUE(toolsOff);
    EXPECT_EQ(addHint, "Tylko administrator systemu może dodawać i usuwać użytkowników.");
    EXPECT_TRUE(othersOff);
    EXPECT_TRUE(ownOn);
    EXPECT_TRUE(nameLocked);
    EXPECT_FALSE(flagShown);
    EXPECT_EQ(messages(), QStringList{"Hasło zostało zmienione."});
    TRec_Users after = inst.read(nowak.ID);
    EXPECT_EQ(after.FNAME, "Nowak");
    EXPECT_FALSE(after.USER_ISA);
    EXPECT_TRUE(TblUsers->CheckPassword(after, "jesien"));
    EXPECT_EQ(inst.sys->CurrentUser().FNAME, "Nowak");
    EXPECT_FALSE(inst.read(kowal.ID).FNAME.isEmpty());
}

TEST_F(Users, NonAdministratorCannotChangeTheNumberingPatterns) {
    const QString ini = inst.sys->IniFile;
    inst.logIn(nowak.ID);
    TConfig config;
    ModalScript script;
    script.then([&](QWidget* w) {
        EXPECT_TRUE(child<QLabel>(w, "lbTylkoAdministrator")->isVisible());
        for (const char* name : {"btnTekst", "btnRok", "btnMiesiac", "btnNumer", "btnUsunSymbol"})
            EXPECT_FALSE(child<QPushButton>(w, name)->isEnabled()) << name;
        EXPECT_FALSE(child<QLineEdit>(w, "edTekst")->isEnabled());
        config.edSymbol->setText("X/{NZ}");  // whatever reaches the field is not stored
        click(w, "btnOK");
    });
    config.Execute();
    EXPECT_EQ(IniReadString("config", "smb_przychodzace", "<brak>", ini), "P/{R4}/{MSC}/{NZ}");

    inst.logIn(1);
    script.then([&](QWidget* w) {
        EXPECT_FALSE(child<QLabel>(w, "lbTylkoAdministrator")->isVisible());
        click(w, "btnUsunSymbol");
        click(w, "btnMiesiac");
        click(w, "btnOK");
    });
    config.Execute();
    EXPECT_EQ(IniReadString("config", "smb_przychodzace", "<brak>", ini), "{MSC}");
}

TEST_F(Users, NamesAreUniqueWhateverTheLetterCaseAndNeverEmpty) {
    inst.logIn(1);
    TRec_Users user;
    user.ID = 0;
    TformUser_Edit ed;
    QString limit;
    ModalScript script;
    script.then([&](QWidget* w) {
        auto* name = child<QLineEdit>(w, "edNazwa");
        EXPECT_EQ(name->maxLength(), 25);
        EXPECT_EQ(child<QLabel>(w, "lbLimit")->text(), "0 z 25");
        click(w, "btnOk");  // empty
        name->setFocus();
        test::typeText(name, "KOWALSKA");
        limit = child<QLabel>(w, "lbLimit")->text();
        click(w, "btnOk");
        EXPECT_TRUE(w->isVisible());
        name->clear();
        test::typeText(name, "Łukasiewicz");
        click(w, "btnOk");
    });
    ASSERT_TRUE(ed.Execute(&user));
    EXPECT_EQ(user.FNAME, "Łukasiewicz");
    EXPECT_EQ(limit, "8 z 25");
    EXPECT_EQ(messages(), (QStringList{"Proszę wpisać nazwę użytkownika.",
                                       "Użytkownik o nazwie „KOWALSKA” już istnieje.\r\n"
                                       "Proszę wpisać inną nazwę."}));
    TblUsers->AddNewUser(user);

    // Polish capitals are the same letters too; his own name is no clash.
    inst.env.prompts.clear();
    TRec_Users other = inst.read(nowak.ID);
    script.then([&](QWidget* w) {
        auto* name = child<QLineEdit>(w, "edNazwa");
        name->setText("ŁUKASIEWICZ");
        click(w, "btnOk");
        name->setText("nowak");
        click(w, "btnOk");
    });
    ASSERT_TRUE(ed.Execute(&other));
    EXPECT_EQ(other.FNAME, "nowak");
    EXPECT_EQ(messages(), QStringList{"Użytkownik o nazwie „ŁUKASIEWICZ” już istnieje.\r\n"
                                      "Proszę wpisać inną nazwę."});
}

TEST_F(Users, TheNameColumnIsAsWideAsTheNames) {
    inst.addUser("Brzęczyszczykiewicz Grzegorz", "x");
    inst.logIn(1);
    TformUserList list;
    int column = 0, needed = 0;
    ModalScript script;
    script.then([&](QWidget* w) {
        const QFontMetrics fm(list.grid->font());
        for (const char* n : {"ADMINISTRATOR", "Brzęczyszczykiewicz Grzeg"})
            needed = std::max(needed, fm.horizontalAdvance(QString::fromUtf8(n)));
        column = list.grid->columnWidth(0);
        EXPECT_GE(list.grid->viewport()->width(), column);
        click(w, "btnAnuluj");
    });
    list.EditUserList();
    EXPECT_GT(column, needed);
}

TEST_F(Users, ARowLockedElsewhereIsNotEdited) {
    // Another workstation is editing Nowak's row.
    auto other = engine::Table::open(u8(inst.env.dataDir()) + "USERS.DBF");
    other->setIndex("USRS_ID");
    ASSERT_TRUE(other->findKey(engine::Value{std::int64_t{nowak.ID}}));
    other->edit();

    inst.logIn(1);
    TformUserList list;
    QWidget* activeAfter = nullptr;
    ModalScript script;
    script.then([&](QWidget* w) {
        select(list, "Nowak");
        inst.env.prompts.setNextAnswer(Answer::Cancel);  // do not retry the lock
        list.btnEdycja->click();
        activeAfter = QApplication::activeModalWidget();
        click(w, "btnAnuluj");
    });
    list.EditUserList();
    EXPECT_EQ(activeAfter, &list);  // no editor
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].startsWith("Błąd podczas lokowania, powtórzyć próbę?"));
    other->cancel();
    EXPECT_EQ(inst.read(nowak.ID).FNAME, "Nowak");
    EXPECT_EQ(TblUsers->T().state(), engine::Table::State::Browse);
}

TEST_F(Users, TheLastUserCannotBeDeleted) {
    TblUsers->DeleteUser(nowak.ID);
    TblUsers->DeleteUser(kowal.ID);
    inst.logIn(1);
    TformUserList list;
    ModalScript script;
    script.then([&](QWidget* w) {
        list.btnUsun->click();
        click(w, "btnAnuluj");
    });
    list.EditUserList();
    EXPECT_EQ(messages(), QStringList{"Nie można usunąć ostatniego użytkownika!"});
    EXPECT_EQ(inst.read(1).FNAME, "ADMINISTRATOR");
}

TEST_F(Users, TheLoggedInUserAndTheLastAdministratorStay) {
    // Nowak is made an administrator and logs in; ADMINISTRATOR is the other one.
    nowak.USER_ISA = true;
    {
        OpenForCall open(*TblUsers);
        ASSERT_TRUE(TblUsers->LocateID(nowak.ID));
        TblUsers->T().edit();
        nowak.StoreFields(*TblUsers);
        TblUsers->PostRow();
    }
    inst.logIn(nowak.ID);
    TformUserList list;
    ModalScript script;
    script
        .then([&](QWidget*) {
            select(list, "Nowak");
            list.btnUsun->click();  // himself: refused before any question
            select(list, "ADMINISTRATOR");
            inst.env.prompts.setNextAnswer(Answer::Yes);
            list.btnUsun->click();  // Nowak stays an administrator: allowed
            select(list, "Nowak");
            list.btnEdycja->click();
        })
        .then([&](QWidget* ed) {
            // The last administrator cannot take his own right away.
            child<QCheckBox>(ed, "cbAdministrator")->setChecked(false);
            click(ed, "btnOk");
            EXPECT_TRUE(ed->isVisible());
            EXPECT_TRUE(child<QCheckBox>(ed, "cbAdministrator")->isChecked());
            click(ed, "btnWroc");
        })
        .then([&](QWidget* w) { click(w, "btnAnuluj"); });
    list.EditUserList();
    ASSERT_TRUE(script.done());
    EXPECT_EQ(messages(),
              (QStringList{"Nie można usunąć użytkownika, który jest zalogowany.",
                           "Czy na pewno chcesz usunąć tego użytkownika ?\r\nUżytkownik : "
                           "ADMINISTRATOR",
                           "Nie można odebrać uprawnień ostatniemu administratorowi systemu!"}));
    EXPECT_TRUE(inst.read(1).FNAME.isEmpty());
    EXPECT_TRUE(inst.read(nowak.ID).USER_ISA);
}

TEST_F(Users, PasswordChangeChecksTheOldOneAndTheTwoNewTexts) {
    TformChangeUserPassword dlg;
    TRec_Users u = inst.read(nowak.ID);
    auto fill = [](QWidget* w, const char* old, const char* n1, const char* n2) {
        QTest::keyClicks(child<QLineEdit>(w, "edStare"), old);
        QTest::keyClicks(child<QLineEdit>(w, "edNowe"), n1);
        QTest::keyClicks(child<QLineEdit>(w, "edNowe2"), n2);
        click(w, "btnOk");
    };
    bool clearedAgain = false;
    ModalScript script;
    script.then([&](QWidget* w) {
        fill(w, "1n", "x", "x");  // an anagram of the old password is not it
        EXPECT_EQ(QApplication::focusWidget(), dlg.edStare);
        dlg.edStare->clear();
        dlg.edNowe->clear();
        dlg.edNowe2->clear();
        fill(w, "n1", "lato", "otal");  // the same characters are not the same password
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), dlg.edNowe2);
        dlg.edNowe2->clear();
        QTest::keyClicks(dlg.edNowe2, "lato");
        click(w, "btnOk");
    });
    ASSERT_TRUE(dlg.Execute(u.PRSN_PSW, u.PRSN_HSH));
    EXPECT_EQ(dlg.NewPassword(), "lato");
    for (QLineEdit* e : {dlg.edStare, dlg.edNowe, dlg.edNowe2}) {
        EXPECT_EQ(e->echoMode(), QLineEdit::Password);
        EXPECT_EQ(e->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter), '*');
    }
    EXPECT_EQ(messages(),
              (QStringList{"Podano błędne hasło ", "Proszę wpisać dwa identyczne hasła"}));
    EXPECT_EQ(inst.env.prompts.shown().at(0).severity, Severity::Error);
    EXPECT_EQ(inst.env.prompts.shown().at(1).severity, Severity::Warning);

    script.then([&](QWidget* w) {
        clearedAgain = dlg.edStare->text().isEmpty() && dlg.edNowe->text().isEmpty();
        click(w, "btnWroc");
    });
    EXPECT_FALSE(dlg.Execute(u.PRSN_PSW, u.PRSN_HSH));
    EXPECT_TRUE(clearedAgain);
}

TEST_F(Users, EditorWithoutARecordSaysSo) {
    TformUser_Edit ed;
    EXPECT_FALSE(ed.Execute(nullptr));
    EXPECT_EQ(messages(), QStringList{"Brak danych do edycji"});
}

}  // namespace
}  // namespace pulpex
