#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "core/config.h"
#include "core/ui/am_confg.h"
#include "core/utils.h"
#include "users/ui/user_lst.h"
#include "support/installation.h"
#include "support/modal.h"

namespace pulpex {
namespace {

using test::ModalScript;

class ConfigWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        inst.logIn(1);
    }
    QString stored(const QString& key) {
        return IniReadString("config", key, "<brak>", inst.sys->IniFile);
    }
    test::TestInstallation inst;
};

TEST_F(ConfigWindowTest, PatternEditorWritesThroughAndExpands) {
    TConfig config;
    ModalScript script;
    QStringList seen;
    script.then([&](QWidget*) {
        EXPECT_EQ(config.windowTitle(), "Parametry konfiguracyjne");
        EXPECT_EQ(config.tabs->tabText(0), "Symbole");
        EXPECT_EQ(config.tabs->tabText(1), "Użytkownicy");
        EXPECT_TRUE(config.rbPrzychodzace->isChecked());
        EXPECT_FALSE(config.edMainDir->isEnabled());
        EXPECT_EQ(config.edMainDir->text(), inst.sys->MainDir);
        EXPECT_TRUE(config.rbRok2->isChecked());
        EXPECT_TRUE(config.rbNumerNZ->isVisible());
        EXPECT_FALSE(config.rbNumerNP->isVisible());
        EXPECT_FALSE(config.rbNumerNK->isVisible());
        seen << config.edSymbol->text();

        config.btnUsunSymbol->click();
        seen << stored("smb_przychodzace");
        // Typing into the pattern does nothing; text goes in through "Tekst", upper-cased.
        QTest::keyClicks(config.edSymbol, "xyz");
        config.edTekst->setText("pż/");
        config.btnTekst->click();
        config.btnRok->click();
        config.edTekst->setText("/");
        config.btnTekst->click();
        config.rbRok4->setChecked(true);
        config.btnRok->click();
        config.edTekst->setText("-");
        config.btnTekst->click();
        config.btnMiesiac->click();
        config.edTekst->setText("/");
        config.btnTekst->click();
        config.btnNumer->click();
        seen << config.edSymbol->text() << stored("smb_przychodzace");

        // Another kind loads its own pattern and leaves the first as it was built.
        config.rbWychodzace->setChecked(true);
        seen << config.edSymbol->text();
        config.btnMiesiac->click();
        config.rbPrzychodzace->setChecked(true);
        seen << config.edSymbol->text();
        config.btnOK->click();
    });
    EXPECT_TRUE(config.Execute());
    EXPECT_EQ(seen, (QStringList{"P/{R4}/{MSC}/{NZ}", "", "PŻ/{R2}/{R4}-{MSC}/{NZ}",
                                 "PŻ/{R2}/{R4}-{MSC}/{NZ}", "W/{R4}/{MSC}/{NZ}",
                                 "PŻ/{R2}/{R4}-{MSC}/{NZ}"}));
    EXPECT_EQ(stored("smb_wychodzace"), "W/{R4}/{MSC}/{NZ}{MSC}");
    EXPECT_EQ(stored("smb_inne"), "<brak>");  // never chosen, never written

    // The pattern built in the window numbers the entries.
    const QDate old = SetPatternToday(QDate(2005, 3, 7));
    EXPECT_EQ(ExpandPattern(1, false), "PŻ/05/2005-3/1");
    EXPECT_EQ(ExpandPattern(1, true), "PŻ/05/2005-3/1");
    EXPECT_EQ(ExpandPattern(1, true), "PŻ/05/2005-3/2");
    EXPECT_EQ(ExpandPattern(1, false), "PŻ/05/2005-3/3");
    SetPatternToday(old);

    // Shown again: back on the first tab and the incoming letters' pattern.
    script.then([&](QWidget*) {
        seen = {config.edSymbol->text()};
        config.tabs->setCurrentIndex(1);
        config.reject();
    });
    config.Execute();
    EXPECT_EQ(seen, QStringList{"PŻ/{R2}/{R4}-{MSC}/{NZ}"});
}

TEST_F(ConfigWindowTest, UsersTabOpensTheListForMaintaining) {
    TConfig config;
    ModalScript script;
    bool maintaining = false;
    script
        .then([&](QWidget*) {
            config.tabs->setCurrentIndex(1);
            config.btnListaUzytkownikow->click();
        })
        .then([&](QWidget* w) {
            auto* list = qobject_cast<TformUserList*>(w);
            ASSERT_NE(list, nullptr);
            maintaining = list->btnUsun->isVisible();
            list->btnOk->click();
        })
        .then([&](QWidget*) { config.btnOK->click(); });
    EXPECT_TRUE(config.Execute());
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(maintaining);
}

}  // namespace
}  // namespace pulpex
