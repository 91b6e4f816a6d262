#include "core/config.h"

#include <gtest/gtest.h>

#include <QFile>

#include "core/utils.h"
#include "support/testenv.h"
#include "tables/engine/table.h"
#include "tables/engine/value.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/id_gener.h"
#include "tables/users.h"

namespace pulpex {
namespace {

struct TodayGuard {
    explicit TodayGuard(QDate d) : previous(SetPatternToday(d)) {}
    ~TodayGuard() { SetPatternToday(previous); }
    QDate previous;
};

struct GeneratorGuard {
    explicit GeneratorGuard(TTbl_ID* t) { TblID = t; }
    ~GeneratorGuard() { TblID = nullptr; }
};

// A test installation with an empty, open counter table in use as the generator.
class ConfigPatterns : public ::testing::Test {
  protected:
    void SetUp() override {
        ids.retryUnitMs = 1;
        ASSERT_TRUE(ids.CreateTableSelf());
        ids.Open();
    }
    QString ini(const QString& section, const QString& key) {
        return IniReadString(section, key, QStringLiteral("<absent>"), env.sys->IniFile);
    }

    test::TestSystem env;
    TTbl_ID ids;
    GeneratorGuard generator{&ids};
    TodayGuard today{QDate(2024, 3, 15)};
};

TEST_F(ConfigPatterns, PreviewTakesNothingAndTakingCounts) {
    EXPECT_EQ(ExpandPattern(1, false), "P/2024/3/1");
    EXPECT_EQ(ExpandPattern(1, false), "P/2024/3/1");
    EXPECT_EQ(ids.ConsultnextID(QStringLiteral("{NZ}")), 1);

    EXPECT_EQ(ExpandPattern(1, true), "P/2024/3/1");
    EXPECT_EQ(ExpandPattern(1, true), "P/2024/3/2");
    EXPECT_EQ(ExpandPattern(1, false), "P/2024/3/3");

    // The three kinds share the counter; other kinds have no pattern.
    EXPECT_EQ(ExpandPattern(2, true), "W/2024/3/3");
    EXPECT_EQ(ExpandPattern(3, false), "I/2024/3/4");
    EXPECT_EQ(ExpandPattern(0, true), "");
    EXPECT_EQ(ExpandPattern(4, true), "");
    EXPECT_EQ(ids.ConsultnextID(QStringLiteral("{NZ}")), 4);
}

TEST_F(ConfigPatterns, EveryOccurrenceOfACounterTakesItsOwnNumber) {
    ASSERT_TRUE(WriteConfig(QStringLiteral("smb_przychodzace"), QStringLiteral("{NZ}-{NZ}/{NP}")));
    EXPECT_EQ(ExpandPattern(1, true), "1-2/1");
    EXPECT_EQ(ExpandPattern(1, false), "3-3/2");
    EXPECT_EQ(ids.ConsultnextID(QStringLiteral("{NZ}")), 3);
}

TEST_F(ConfigPatterns, DateTokens) {
    ASSERT_TRUE(WriteConfig(QStringLiteral("smb_inne"), QStringLiteral("{R2}|{R4}|{MSC}|{R2}")));
    {
        TodayGuard d(QDate(2005, 11, 2));
        EXPECT_EQ(ExpandPattern(3, false), "05|2005|11|05");
    }
    {
        TodayGuard d(QDate(2000, 1, 31));
        EXPECT_EQ(ExpandPattern(3, false), "00|2000|1|00");
    }
    EXPECT_EQ(TokenValue(QStringLiteral("{R2}"), false), "24");
    EXPECT_EQ(TokenValue(QStringLiteral("{XY}"), true), "");
    // Tokens are matched as written: the pattern field keeps them upper-case.
    ASSERT_TRUE(WriteConfig(QStringLiteral("smb_inne"), QStringLiteral("{r4}{MSC}")));
    EXPECT_EQ(ExpandPattern(3, false), "{r4}3");
}

// The text is searched again from the first token after each replacement, so a token that a
// replacement completes is expanded too.
TEST_F(ConfigPatterns, ReplacementsAreSearchedAgain) {
    ids.SetLastID(QStringLiteral("{NZ}"), 3);
    ASSERT_TRUE(WriteConfig(QStringLiteral("smb_wychodzace"), QStringLiteral("{R{NZ}}/{NZ}")));
    EXPECT_EQ(ExpandPattern(2, true), "2024/5");
}

TEST_F(ConfigPatterns, MissingPatternIsStoredExistingOneLeftAsItIs) {
    EXPECT_EQ(ini("config", "smb_przychodzace"), "<absent>");
    EXPECT_EQ(PatternForType(1), "P/{R4}/{MSC}/{NZ}");
    EXPECT_EQ(ini("config", "smb_przychodzace"), "P/{R4}/{MSC}/{NZ}");
    EXPECT_EQ(PatternForType(2), "W/{R4}/{MSC}/{NZ}");
    EXPECT_EQ(PatternForType(3), "I/{R4}/{MSC}/{NZ}");
    EXPECT_EQ(ini("CONFIG", "SMB_INNE"), "I/{R4}/{MSC}/{NZ}");

    // An empty value is a value: not replaced by the default.
    ASSERT_TRUE(WriteConfig(QStringLiteral("smb_wychodzace"), QString()));
    EXPECT_EQ(PatternForType(2), "");

    // Reading reads only: a value over 255 characters is not cut in the file, a quoted one keeps
    // its quotes there.
    const QString longValue = QString(300, u'x');
    ASSERT_TRUE(WriteConfig(QStringLiteral("dlugi"), longValue));
    ASSERT_TRUE(WriteConfig(QStringLiteral("cytat"), QStringLiteral("\"A/{NZ}\"")));
    QFile f(env.sys->IniFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    EXPECT_EQ(ReadConfig(QStringLiteral("dlugi"), QStringLiteral("d")), longValue.left(255));
    EXPECT_EQ(ReadConfig(QStringLiteral("cytat"), QStringLiteral("d")), "A/{NZ}");
    // Holding the default is not being missing.
    EXPECT_EQ(ReadConfig(QStringLiteral("smb_przychodzace"), QStringLiteral("P/{R4}/{MSC}/{NZ}")),
              "P/{R4}/{MSC}/{NZ}");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

TEST_F(ConfigPatterns, UserSettingsAreKeptPerUser) {
    env.sys->CurrentUser().ID = 7;
    ASSERT_TRUE(WriteUserConfig(QStringLiteral("smb_pop_user"), QStringLiteral("jan")));
    EXPECT_EQ(ini("config_7", "smb_pop_user"), "jan");
    EXPECT_EQ(ini("config", "smb_pop_user"), "<absent>");
    EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_pop_user"), QStringLiteral("x")), "jan");
    EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_smtp_server"), QStringLiteral("poczta.pl")),
              "poczta.pl");
    EXPECT_EQ(ini("config_7", "smb_smtp_server"), "poczta.pl");

    env.sys->CurrentUser().ID = 8;
    EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_pop_user"), QStringLiteral("")), "");
    EXPECT_EQ(ini("config_8", "smb_pop_user"), "");
    EXPECT_EQ(ini("config_7", "smb_pop_user"), "jan");
}

// A counter that cannot be taken leaves 0 in the text; the checked form says so and takes no
// further numbers.
TEST_F(ConfigPatterns, CounterThatCannotBeTaken) {
    ASSERT_TRUE(WriteConfig(QStringLiteral("smb_przychodzace"), QStringLiteral("{NP}/{NZ}/{NK}")));
    ids.SetLastID(QStringLiteral("{NZ}"), 9);

    // Another workstation holds the counter's row.
    auto other = engine::Table::open(u8(ids.TableFileName()));
    ASSERT_TRUE(other->locate("TBID_RSC", engine::Value(std::string("{NZ}"))));
    other->edit();

    EXPECT_EQ(ExpandPattern(1, true), "1/0/1");
    QString out, error;
    EXPECT_FALSE(ExpandPatternChecked(1, out, &error));
    // "{NZ}" comes first in token order, so nothing else was taken.
    EXPECT_EQ(out, "{NP}/0/{NK}");
    EXPECT_TRUE(error.contains(QStringLiteral("{NZ}"))) << error.toStdString();
    EXPECT_EQ(ids.ConsultnextID(QStringLiteral("{NP}")), 2);
    EXPECT_EQ(ids.ConsultnextID(QStringLiteral("{NK}")), 2);
    EXPECT_EQ(ids.ConsultnextID(QStringLiteral("{NZ}")), 10);

    other->cancel();
    EXPECT_TRUE(ExpandPatternChecked(1, out));
    EXPECT_EQ(out, "2/10/2");
}

TEST_F(ConfigPatterns, NoGenerator) {
    TblID = nullptr;
    EXPECT_EQ(ExpandPattern(1, true), "P/2024/3/0");
    EXPECT_EQ(ExpandPattern(1, false), "P/2024/3/0");
    QString out, error;
    EXPECT_FALSE(ExpandPatternChecked(1, out, &error));
    EXPECT_EQ(out, "P/2024/3/0");
    EXPECT_FALSE(error.isEmpty());

    // A pattern without counters needs no generator.
    ASSERT_TRUE(WriteConfig(QStringLiteral("smb_inne"), QStringLiteral("I/{R4}")));
    EXPECT_TRUE(ExpandPatternChecked(3, out));
    EXPECT_EQ(out, "I/2024");
}

}  // namespace
}  // namespace pulpex
