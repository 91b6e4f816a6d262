// The configuration window's tab "Kopie bezpieczeństwa" on a real installation, prompts
// answered by a script.
#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "core/backup.h"
#include "core/pulpex_system.h"
#include "core/ui/am_confg.h"
#include "core/ui/help.h"
#include "register/zdarzen.h"
#include "support/testenv.h"
#include "support/widgets.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using test::child;

class BackupTab : public ::testing::Test {
  protected:
    void SetUp() override {
        sys = std::make_unique<TPulpex_System>(env.mainDir());
        sys->probeDir = env.mainDir();
        ASSERT_TRUE(sys->CheckTables());
        config = std::make_unique<TConfig>();
        config->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(config.get()));
    }
    int addLetter(const QString& number) {
        TRec_Zdarzenia r;
        r.ZD_NMR = number;
        r.ZD_TRE.SetText(QStringLiteral("Wniosek o wydanie zaświadczenia"));
        int id = 0;
        TblZdarzenia->OT_AddNew(id, r);
        return id;
    }
    bool letterThere(int id) {
        TRec_Zdarzenia r;
        return TblZdarzenia && TblZdarzenia->ReadRecordByID(id, r);
    }
    void press(const char* name) { child<QPushButton>(config.get(), name)->click(); }
    QString place() const { return env.dir.path() + QStringLiteral("/pendrive"); }

    test::TestSystem env{false};
    std::unique_ptr<TPulpex_System> sys;
    std::unique_ptr<TConfig> config;
};

TEST_F(BackupTab, ABackupMadeThenRestoredBringsADeletedLetterBack) {
    auto* tabs = child<QTabWidget>(config.get(), "PageControl1");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Kopie &bezpieczeństwa"));
    EXPECT_EQ(HelpContextOf(tabs->widget(2)), kHelpBackup);
    EXPECT_EQ(child<QPushButton>(config.get(), "btnTworzenieKopii")->text(),
              QStringLiteral("Tworzenie kopii bezpieczeństwa"));
    EXPECT_EQ(child<QPushButton>(config.get(), "btnOdtwarzanieKopii")->text(),
              QStringLiteral("Odtwarzanie z kopii bezpieczeństwa"));

    const int id = addLetter(QStringLiteral("P/2024/3/1"));
    env.prompts.setNextInput(place());
    press("btnTworzenieKopii");
    ASSERT_EQ(env.prompts.asked().size(), 1u);
    EXPECT_EQ(env.prompts.asked()[0].caption, QStringLiteral("Tworzenie kopii zapasowej"));
    EXPECT_EQ(env.prompts.asked()[0].prompt, QStringLiteral("Podaj miejsce składowania kopii"));
    ASSERT_EQ(env.prompts.shown().size(), 1u);
    EXPECT_EQ(env.prompts.shown()[0].severity, Severity::Information);
    EXPECT_TRUE(env.prompts.shown()[0].text.startsWith(QStringLiteral("Dane zostały zapamiętane!")))
        << env.prompts.shown()[0].text.toStdString();
    const QString folder = FindBackup(place());
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(env.prompts.shown()[0].text.contains(folder));
    // The tables are open again.
    ASSERT_NE(TblZdarzenia, nullptr);
    ASSERT_TRUE(TblZdarzenia->DeleteByID(id));
    EXPECT_FALSE(letterThere(id));

    // The restore asks first (the place is proposed again), then brings the letter back.
    env.prompts.clear();
    env.prompts.setNextInput(place());
    env.prompts.setNextAnswer(Answer::Yes);
    press("btnOdtwarzanieKopii");
    ASSERT_EQ(env.prompts.asked().size(), 1u);
    EXPECT_EQ(env.prompts.asked()[0].caption, QStringLiteral("Odtwarzanie z kopii bezpieczeństwa"));
    EXPECT_EQ(env.prompts.asked()[0].value, place());
    ASSERT_EQ(env.prompts.shown().size(), 2u);
    EXPECT_EQ(env.prompts.shown()[0].buttons, Buttons::YesNo);
    EXPECT_TRUE(env.prompts.shown()[0].text.contains(folder));
    EXPECT_TRUE(env.prompts.shown()[1].text.startsWith(QStringLiteral("Dane zostały odtworzone!")))
        << env.prompts.shown()[1].text.toStdString();
    EXPECT_TRUE(letterThere(id));
}

TEST_F(BackupTab, RestoreFromAPlaceWithoutABackupSaysSoAndKeepsTheData) {
    const int id = addLetter(QStringLiteral("P/2024/3/1"));
    QDir().mkpath(place());
    env.prompts.setNextInput(place());
    press("btnOdtwarzanieKopii");
    ASSERT_EQ(env.prompts.shown().size(), 1u);  // no question: there is nothing to restore
    EXPECT_EQ(env.prompts.shown()[0].severity, Severity::Error);
    EXPECT_TRUE(env.prompts.shown()[0].text.startsWith(
        QStringLiteral("Podczas odtwarzania kopii bezpieczeństwa wystąpił błąd!.\rProszę "
                       "powtórzyć operację")));
    EXPECT_TRUE(env.prompts.shown()[0].text.contains(QStringLiteral("nie ma kopii")));
    EXPECT_TRUE(letterThere(id));

    // A cancelled input box does nothing.
    env.prompts.clear();
    env.prompts.setNextInputCancel();
    press("btnTworzenieKopii");
    EXPECT_TRUE(env.prompts.shown().empty());
    EXPECT_TRUE(QDir(place()).isEmpty());
}

}  // namespace
}  // namespace pulpex
