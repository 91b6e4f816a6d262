#include "tables/ui/entr_psw.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include "tables/password.h"
#include "support/installation.h"
#include "support/modal.h"

namespace pulpex {
namespace {

using test::ModalScript;

class PasswordDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        inst.logIn(1);  // ADMINISTRATOR
    }
    // A step that types `text` into the field and presses OK.
    static ModalScript::Step type(const QString& text) {
        return [text](QWidget* w) {
            auto* ed = w->findChild<QLineEdit*>("edPassword");
            QTest::keyClicks(ed, text);
            w->findChild<QPushButton*>("btnOk")->click();
        };
    }
    QStringList messages() { return inst.env.prompts.texts(); }

    test::TestInstallation inst;
};

TEST_F(PasswordDialog, NewInstallationAdministratorOpensWithTheEmptyPassword) {
    TformEnterPassword dlg;
    QString caption, prompt, label;
    bool masked = false, focused = false, emptyAtShow = false;
    ModalScript script;
    script.then([&](QWidget* w) {
        caption = w->windowTitle();
        prompt = dlg.lbPrompt->text();
        label = dlg.Label1->text();
        masked = dlg.edPassword->echoMode() == QLineEdit::Password &&
                 dlg.edPassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter) == '*';
        emptyAtShow = dlg.edPassword->text().isEmpty();
        focused = QTest::qWaitForWindowActive(w) && QApplication::focusWidget() == dlg.edPassword;
        dlg.btnOk->click();
    });
    EXPECT_TRUE(dlg.Ask("Użytkownik ADMINISTRATOR", 3));
    EXPECT_EQ(caption, "Weryfikacja hasła");
    EXPECT_EQ(prompt, "Użytkownik ADMINISTRATOR");
    EXPECT_EQ(label, "Wpisz hasło : ");
    EXPECT_EQ(dlg.btnAnuluj->text(), "Anuluj");
    EXPECT_TRUE(masked);
    EXPECT_TRUE(emptyAtShow);
    EXPECT_TRUE(focused);
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_TRUE(dlg.edPassword->text().isEmpty());  // the typed text is not kept
}

TEST_F(PasswordDialog, WrongPasswordsAreCountedAndCancelEndsAtOnce) {
    TblUsers->SetPassword(inst.sys->CurrentUser(), "tajne");
    {
        TformEnterPassword dlg;
        ModalScript script;
        script.then(type("zle")).then(type("gorzej")).then(type("tajne?"));
        EXPECT_FALSE(dlg.Ask("Użytkownik ADMINISTRATOR", 3));
        EXPECT_TRUE(script.done());
        EXPECT_EQ(messages(), QStringList(3, "Podano błędne hasło."));
        EXPECT_EQ(inst.env.prompts.shown().at(0).severity, Severity::Information);
    }
    inst.env.prompts.clear();
    {
        // Each attempt starts with an empty field; the second one is right.
        TformEnterPassword dlg;
        bool emptyAgain = false;
        ModalScript script;
        script.then(type("zle")).then([&](QWidget* w) {
            emptyAgain = dlg.edPassword->text().isEmpty();
            type("tajne")(w);
        });
        EXPECT_TRUE(dlg.Ask("x", 3));
        EXPECT_TRUE(emptyAgain);
        EXPECT_EQ(messages(), QStringList{"Podano błędne hasło."});
    }
    inst.env.prompts.clear();
    {
        // Attempts outside 1..3 count as one.
        TformEnterPassword dlg;
        ModalScript script;
        script.then(type("zle")).then(type("tajne"));
        EXPECT_FALSE(dlg.Ask("x", 7));
        EXPECT_FALSE(script.done());
        script.discard();
        EXPECT_EQ(messages().size(), 1);
    }
    inst.env.prompts.clear();
    {
        TformEnterPassword dlg;
        ModalScript script;
        script.then([&](QWidget*) { dlg.btnAnuluj->click(); });
        EXPECT_FALSE(dlg.Ask("x", 3));
        EXPECT_TRUE(messages().isEmpty());
    }
}

TEST_F(PasswordDialog, AnAnagramOfThePasswordIsRefused) {
    TblUsers->SetPassword(inst.sys->CurrentUser(), "kot123");
    TformEnterPassword dlg;
    ModalScript script;
    script.then(type("321tok")).then(type("kot123"));
    EXPECT_TRUE(dlg.Ask("x", 2));
    EXPECT_EQ(messages(), QStringList{"Podano błędne hasło."});
}

TEST_F(PasswordDialog, AnOldRowWithoutHashIsUpgradedAtItsFirstLogIn) {
    // A row written by the old program: only the character sum. It lets the right password in
    // once and from then on refuses its anagrams.
    TRec_Users& admin = inst.sys->CurrentUser();
    ASSERT_TRUE(TblUsers->LocateID(admin.ID));
    ASSERT_TRUE(TblUsers->LockRecord());
    admin.PRSN_PSW = PasswordValue("abc");
    admin.PRSN_HSH.clear();
    admin.StoreFields(*TblUsers);
    TblUsers->PostRow();

    TformEnterPassword dlg;
    {
        ModalScript script;
        script.then(type("abc"));
        EXPECT_TRUE(dlg.Ask("x", 1));
    }
    EXPECT_FALSE(inst.read(admin.ID).PRSN_HSH.isEmpty());
    inst.logIn(admin.ID);
    {
        ModalScript script;
        script.then(type("cba"));
        EXPECT_FALSE(dlg.Ask("x", 1));
    }
}

}  // namespace
}  // namespace pulpex
