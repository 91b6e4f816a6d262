#include "register/numeracja.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/config.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "support/workstations.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/id_gener.h"

namespace pulpex {
namespace {

// The register of an installation on 14 March 2024, with the default patterns.
class Numbering : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        previousToday = SetPatternToday(QDate(2024, 3, 14));
        TblID->retryUnitMs = 1;
    }
    void TearDown() override { SetPatternToday(previousToday); }

    // A new entry as the entry dialog stores it: the kind and the number in its number field.
    static int addEntry(int kind, const QString& number) {
        TRec_Zdarzenia r;
        r.ZD_TYP = kind;
        r.ZD_NMR = number;
        int id = 0;
        TblZdarzenia->OT_AddNew(id, r);
        return id;
    }
    static QString storedNumber(int id) {
        TRec_Zdarzenia r;
        EXPECT_TRUE(TblZdarzenia->ReadRecordByID(id, r));
        return r.ZD_NMR;
    }

    test::TestInstallation inst;
    QDate previousToday;
};

TEST_F(Numbering, TheSuggestionTakenAsItIsIsStoredWithoutRemark) {
    const QString suggestion = ExpandPattern(1, false);
    EXPECT_EQ(suggestion, "P/2024/3/1");
    const int id = addEntry(1, suggestion);
    const TNadanyNumer n = NadajNumerZdarzenia(id);
    EXPECT_EQ(n.Numer, "P/2024/3/1");
    EXPECT_FALSE(n.Zmieniony);
    EXPECT_EQ(storedNumber(id), "P/2024/3/1");
    // The number is taken: the next entry is offered the following one, of any kind.
    EXPECT_EQ(ExpandPattern(2, false), "W/2024/3/2");
}

TEST_F(Numbering, ATypedNumberIsReplacedByTheCountersOne) {
    const int id = addEntry(1, "moje/7");
    const TNadanyNumer n = NadajNumerZdarzenia(id);
    EXPECT_TRUE(n.Zmieniony);
    EXPECT_EQ(n.Numer, "P/2024/3/1");
    EXPECT_EQ(storedNumber(id), "P/2024/3/1");
}

TEST_F(Numbering, CountersThatAdvancedMeanwhileGiveTheNewNumberAndSaySo) {
    const int id = addEntry(3, ExpandPattern(3, false));  // "I/2024/3/1" shown in the dialog
    // Another workstation registers a letter while the dialog is open.
    const int other = addEntry(1, ExpandPattern(1, false));
    EXPECT_EQ(NadajNumerZdarzenia(other).Numer, "P/2024/3/1");
    const TNadanyNumer n = NadajNumerZdarzenia(id);
    EXPECT_TRUE(n.Zmieniony);
    EXPECT_EQ(storedNumber(id), "I/2024/3/2");
    EXPECT_EQ(storedNumber(other), "P/2024/3/1");
}

TEST_F(Numbering, WithAnEmptyPatternTheTypedNumberStaysAndNoCounterMoves) {
    ASSERT_TRUE(WriteConfig("smb_wychodzace", ""));
    EXPECT_EQ(ExpandPattern(2, false), "");
    const int id = addEntry(2, "WYCH-15/2024");
    const TNadanyNumer n = NadajNumerZdarzenia(id);
    EXPECT_FALSE(n.Zmieniony);
    EXPECT_EQ(n.Numer, "WYCH-15/2024");
    EXPECT_EQ(storedNumber(id), "WYCH-15/2024");
    EXPECT_EQ(TblID->ConsultnextID("{NZ}"), 1);
}

TEST_F(Numbering, ARowLockedAtAnotherWorkstationIsReportedAndUsesUpNoNumber) {
    const int id = addEntry(1, "P/2024/3/1");
    auto other = engine::Table::open(u8(TblZdarzenia->TableFileName()));
    other->setIndex("ZDARZ_ID");
    ASSERT_TRUE(other->findKey(engine::Value{std::int64_t{id}}));
    other->edit();
    try {
        NadajNumerZdarzenia(id);
        ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.reason(), EDatabaseError::Reason::Locked);
        EXPECT_FALSE(std::string(e.what()).empty());
    }
    other->cancel();
    EXPECT_EQ(TblID->ConsultnextID("{NZ}"), 1);
    // Once the other workstation lets go, the same entry gets its number.
    EXPECT_EQ(NadajNumerZdarzenia(id).Numer, "P/2024/3/1");
}

TEST_F(Numbering, ACounterThatCannotBeTakenLeavesTheRowAsItWas) {
    ASSERT_EQ(TblID->GenerateID("{NZ}"), 1);
    const int id = addEntry(1, "P/2024/3/2");
    auto other = engine::Table::open(u8(TblID->TableFileName()));
    other->setIndex("TBIDRSID");
    ASSERT_TRUE(other->findKey(engine::Value{std::string("{NZ}")}));
    other->edit();
    try {
        NadajNumerZdarzenia(id);
        ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("{NZ}"), std::string::npos) << e.what();
    }
    other->cancel();
    EXPECT_EQ(storedNumber(id), "P/2024/3/2");
    // The row is free again for the next try.
    EXPECT_EQ(NadajNumerZdarzenia(id).Numer, "P/2024/3/2");
}

TEST_F(Numbering, TwoWorkstationsRegisteringFiftyLettersEachGetAHundredRowsAndNumbers) {
    const QString dataDir = inst.sys->DataDir;
    PatternForType(1);  // the default pattern is in the settings file before anyone reads it
    TblZdarzenia->Close();
    TblID->Close();
    const auto results =
        test::runTogether(inst.env.dir.path(), 2, [&](int child, const test::StartLine& start) {
            // Each workstation has table objects of its own (its own opens, its own locks).
            TTbl_Zdarzenia events;
            TTbl_ID counters;
            events.DatabaseName = counters.DatabaseName = dataDir;
            events.Open();
            counters.Open();
            counters.retryUnitMs = 5;
            TblZdarzenia = &events;
            TblID = &counters;
            start();
            std::vector<std::string> out;
            for (int k = 0; k < 50; ++k) {
                TRec_Zdarzenia r;
                r.ZD_NMR = ExpandPattern(1, false);
                r.ZD_OPIS.SetText(QStringLiteral("stanowisko %1, pismo %2").arg(child).arg(k));
                int id = 0;
                events.OT_AddNew(id, r);
                out.push_back(std::to_string(id) + " " + u8(NadajNumerZdarzenia(id).Numer));
            }
            return out;
        });
    TblZdarzenia->Open();
    std::set<int> ids;
    std::set<QString> numbers;
    for (std::size_t child = 0; child < results.size(); ++child) {
        ASSERT_EQ(results[child].size(), 50u);
        for (std::size_t k = 0; k < 50; ++k) {
            const QString line = qs(results[child][k]);
            const int id = line.section(' ', 0, 0).toInt();
            const QString number = line.section(' ', 1);
            ids.insert(id);
            numbers.insert(number);
            TRec_Zdarzenia r;
            ASSERT_TRUE(TblZdarzenia->ReadRecordByID(id, r));
            EXPECT_EQ(r.ZD_NMR, number);
            EXPECT_EQ(r.ZD_OPIS.GetText(),
                      QStringLiteral("stanowisko %1, pismo %2").arg(child).arg(k));
        }
    }
    EXPECT_EQ(TblZdarzenia->T().recordCount(), 100u);
    EXPECT_EQ(ids.size(), 100u);
    EXPECT_EQ(numbers.size(), 100u);
    for (int n = 1; n <= 100; ++n)
        EXPECT_TRUE(numbers.count(QStringLiteral("P/2024/3/%1").arg(n))) << n;
}

}  // namespace
}  // namespace pulpex
