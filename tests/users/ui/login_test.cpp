#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "controls/data/dataset.h"
#include "core/ui/w_glow.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/qtry.h"
#include "support/testenv.h"
#include "users/ui/user_lst.h"

namespace pulpex {
namespace {

using test::ModalScript;

class LoginFlow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        inst.sys->loginHandler = pulpex::Login;
    }
    // Chooses `name` in the user list.
    static ModalScript::Step choose(const QString& name, QStringList* names = nullptr) {
        return [name, names](QWidget* w) {
            auto* list = qobject_cast<TformUserList*>(w);
            ASSERT_NE(list, nullptr);
            TQueryDataSet* q = list->EmployeeQuery;
            if (names)
                for (q->First(); !q->Eof(); q->Next())
                    *names << q->AsString("FNAME");
            ASSERT_TRUE(q->Locate("FNAME", name));
            list->btnOk->click();
        };
    }
    static ModalScript::Step type(const QString& text, QString* prompt = nullptr) {
        return [text, prompt](QWidget* w) {
            if (prompt) *prompt = w->findChild<QLabel*>("lbPrompt")->text();
            QTest::keyClicks(w->findChild<QLineEdit*>("edPassword"), text);
            w->findChild<QPushButton*>("btnOk")->click();
        };
    }
    test::TestInstallation inst;
};

TEST_F(LoginFlow, AdministratorOfANewInstallationWithTheEmptyPassword) {
    QStringList names;
    QString prompt;
    ModalScript script;
    script.then(choose("ADMINISTRATOR", &names)).then(type("", &prompt));
    ASSERT_TRUE(inst.sys->Login());
    EXPECT_EQ(names, QStringList{"ADMINISTRATOR"});
    EXPECT_EQ(prompt, "Użytkownik ADMINISTRATOR");
    EXPECT_EQ(inst.sys->CurrentUserID(), 1);
    EXPECT_TRUE(inst.sys->CurrentUserIsAdmin());
    EXPECT_EQ(inst.sys->CurrentUserName(), "ADMINISTRATOR");
    EXPECT_TRUE(inst.env.prompts.texts().isEmpty());
}

TEST_F(LoginFlow, ThreeWrongPasswordsFailAndTheUserInChargeStays) {
    inst.addUser("Nowak", "wiosna");
    inst.logIn(1);
    QStringList names;
    ModalScript script;
    script.then(choose("Nowak", &names)).then(type("anwois")).then(type("")).then(type("x"));
    EXPECT_FALSE(inst.sys->Login());
    EXPECT_TRUE(script.done());
    EXPECT_EQ(names, QStringList{"Nowak"});  // the one logged in is left out
    EXPECT_EQ(inst.env.prompts.texts(), QStringList(3, "Podano błędne hasło."));
    EXPECT_EQ(inst.sys->CurrentUserName(), "ADMINISTRATOR");

    // The right password on the last attempt.
    script.then(choose("Nowak")).then(type("a")).then(type("b")).then(type("wiosna"));
    EXPECT_TRUE(inst.sys->Login());
    EXPECT_EQ(inst.sys->CurrentUserName(), "Nowak");
    EXPECT_FALSE(inst.sys->CurrentUserIsAdmin());
}

TEST_F(LoginFlow, CancellingTheListOrThePasswordFails) {
    ModalScript script;
    script.then([](QWidget* w) { w->findChild<QPushButton*>("btnAnuluj")->click(); });
    EXPECT_FALSE(inst.sys->Login());
    script.then(choose("ADMINISTRATOR")).then([](QWidget* w) {
        w->findChild<QPushButton*>("btnAnuluj")->click();
    });
    EXPECT_FALSE(inst.sys->Login());
    EXPECT_TRUE(script.done());
    EXPECT_EQ(inst.sys->CurrentUserID(), 0);
}

// Closing the log-in at the start is the user's choice: the program ends without an error.
TEST(LoginAtStart, CancellingEndsTheProgramQuietly) {
    for (const bool atPassword : {false, true}) {
        test::TestSystem env{false};
        ModalScript script;
        if (atPassword)
            script.then([](QWidget* w) {
                auto* list = qobject_cast<TformUserList*>(w);
                ASSERT_NE(list, nullptr);
                list->btnOk->click();
            });
        script.then([](QWidget* w) { w->findChild<QPushButton*>("btnAnuluj")->click(); });
        TOknoGlowne w(env.mainDir());
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 20000);
        EXPECT_FALSE(w.started());
        EXPECT_TRUE(script.done());
        EXPECT_TRUE(env.prompts.texts().isEmpty()) << env.prompts.texts().join("|").toStdString();
    }
}

}  // namespace
}  // namespace pulpex
