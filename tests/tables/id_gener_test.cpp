#include "tables/id_gener.h"

#include <gtest/gtest.h>

#include "support/probe_table.h"
#include "support/testenv.h"
#include "tables/fieldio.h"
#include "tables/users.h"

namespace pulpex {
namespace {

using test::TRec_Probe;
using test::TTbl_Probe;

int rows(TOT_Table& t) {
    auto c = engine::Table::open(u8(t.TableFileName()));
    return static_cast<int>(c->recordCount());
}

int counterValue(TTbl_ID& ids, const QString& name) {
    auto c = engine::Table::open(u8(ids.TableFileName()));
    c->setIndex("TBIDRSID");
    if (!c->findKey(engine::Value{u8(name)})) return -1;
    return static_cast<int>(c->asInteger("ID"));
}

class IdGenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ids.CreateTableSelf());
        ids.Open();
        ids.retryUnitMs = 1;
    }
    test::TestSystem env;
    TTbl_ID ids;
};

TEST_F(IdGenTest, FreshCounterGivesOneThenTwoAndConsultingTakesNothing) {
    EXPECT_EQ(ids.GenerateID("{NZ}"), 1);
    EXPECT_EQ(ids.ConsultnextID("{NZ}"), 2);
    EXPECT_EQ(ids.ConsultnextID("{NZ}"), 2);
    EXPECT_EQ(counterValue(ids, "{NZ}"), 1);
    EXPECT_EQ(ids.GenerateID("{NZ}"), 2);
    EXPECT_EQ(ids.ConsultnextID("{NZ}"), 3);
    EXPECT_EQ(rows(ids), 1);
    EXPECT_EQ(ids.T().state(), engine::Table::State::Browse);
}

TEST_F(IdGenTest, UnknownCounterConsultsAsOneAndMakesNoRow) {
    EXPECT_EQ(ids.ConsultnextID("{NP}"), 1);
    EXPECT_EQ(rows(ids), 0);
    ids.GenerateID("{NZ}");
    EXPECT_EQ(ids.ConsultnextID("{NP}"), 1);
    EXPECT_EQ(rows(ids), 1);
}

TEST_F(IdGenTest, CountersAreKeptApartAndFoundAgainByTheirStoredName) {
    EXPECT_EQ(ids.GenerateID("{NZ}"), 1);
    EXPECT_EQ(ids.GenerateID("{NP}"), 1);
    EXPECT_EQ(ids.GenerateID("{NZ}"), 2);
    EXPECT_EQ(ids.GenerateID("{NP}"), 2);
    EXPECT_EQ(ids.GenerateID("{NK}"), 1);
    // A name longer than the field, or with trailing blanks, is the name the row holds.
    const QString longName = "{LICZNIK_KORESPONDENCJI_WYCHODZACEJ}";
    EXPECT_EQ(ids.GenerateID(longName), 1);
    EXPECT_EQ(ids.GenerateID(longName), 2);
    EXPECT_EQ(ids.ConsultnextID(longName), 3);
    EXPECT_EQ(ids.GenerateID("{NK}  "), 2);
    EXPECT_EQ(rows(ids), 4);
}

TEST_F(IdGenTest, ClosedTableIsOpenedForTheCallOnly) {
    ids.Close();
    EXPECT_EQ(ids.GenerateID("{NZ}"), 1);
    EXPECT_FALSE(ids.Active());
    EXPECT_EQ(ids.ConsultnextID("{NZ}"), 2);
    EXPECT_FALSE(ids.Active());
}

TEST_F(IdGenTest, NameTheFieldCannotHoldGivesZeroAndNoRow) {
    EXPECT_EQ(ids.GenerateID("{日}"), 0);
    EXPECT_EQ(ids.ConsultnextID("{日}"), 1);
    EXPECT_EQ(rows(ids), 0);
    EXPECT_EQ(ids.T().state(), engine::Table::State::Browse);
    EXPECT_EQ(ids.GenerateID("{NŻ}"), 1);  // Polish letters are fine
}

TEST_F(IdGenTest, CheckTableIDRaisesTheCounterToTheLastIdentifier) {
    TTbl_Probe probe;
    ASSERT_TRUE(probe.CreateTableSelf());
    probe.Open();
    ids.CheckTableID(probe, "{PR}");  // an empty table changes nothing
    EXPECT_EQ(rows(ids), 0);

    for (int i = 0; i < 5; ++i) {
        TRec_Probe r;
        int id = 0;
        probe.OT_AddNew(id, r);
    }
    ids.CheckTableID(probe, "{PR}");
    EXPECT_EQ(counterValue(ids, "{PR}"), 5);
    EXPECT_EQ(ids.GenerateID("{PR}"), 6);

    ids.SetLastID("{PR}", 2);
    ids.CheckTableID(probe, "{PR}");
    EXPECT_EQ(counterValue(ids, "{PR}"), 5);

    ids.SetLastID("{PR}", 40);
    ids.CheckTableID(probe, "{PR}");
    EXPECT_EQ(counterValue(ids, "{PR}"), 40);
    EXPECT_EQ(rows(ids), 1);
}

TEST_F(IdGenTest, SetLastIDMakesTheNextNumberFollowIt) {
    ids.SetLastID("{NK}", 41);
    EXPECT_EQ(ids.GenerateID("{NK}"), 42);
    ids.SetLastID("{NK}", 7);
    EXPECT_EQ(ids.ConsultnextID("{NK}"), 8);
    ids.SetLastID("{NK}", 0);
    EXPECT_EQ(ids.GenerateID("{NK}"), 1);
    EXPECT_THROW(ids.SetLastID("{NK}", -1), EDatabaseError);
    EXPECT_THROW(ids.SetLastID("", 3), EDatabaseError);
    EXPECT_EQ(counterValue(ids, "{NK}"), 1);
    EXPECT_EQ(rows(ids), 1);

    // A row locked elsewhere through every attempt is reported, and the counter stays.
    auto other = engine::Table::open(u8(ids.TableFileName()));
    other->setIndex("TBIDRSID");
    ASSERT_TRUE(other->findKey(engine::Value{std::string("{NK}")}));
    other->edit();
    EXPECT_THROW(ids.SetLastID("{NK}", 100), EDatabaseError);
    other->cancel();
    EXPECT_EQ(counterValue(ids, "{NK}"), 1);
}

TEST_F(IdGenTest, CounterAtTheEndOfItsRangeGivesZero) {
    ids.SetLastID("{NZ}", INT_MAX);
    EXPECT_EQ(ids.GenerateID("{NZ}"), 0);
    EXPECT_EQ(counterValue(ids, "{NZ}"), INT_MAX);
    EXPECT_EQ(ids.T().state(), engine::Table::State::Browse);
}

// ---------------------------------------------------------------- identifiers of the base

class TableBaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(probe.CreateTableSelf());
        probe.Open();
    }
    void addRow(int id, const QString& text) {
        engine::Table& t = probe.T();
        t.append();
        setFieldInt(t, "ID", id);
        setFieldString(t, "PR_TXT", text);
        t.post();
    }
    test::TestSystem env;
    TTbl_Probe probe;
};

TEST_F(TableBaseTest, AppendNewIDFollowsTheLastIdentifierNotTheCount) {
    EXPECT_EQ(probe.AppendNewID(), 1);
    probe.CancelRow();
    EXPECT_EQ(rows(probe), 0);

    addRow(7, "siódmy");
    addRow(1, "pierwszy");
    addRow(2, "drugi");
    const int id = probe.AppendNewID();
    EXPECT_EQ(id, 8);
    EXPECT_EQ(probe.T().state(), engine::Table::State::Insert);
    setFieldString(probe.T(), "PR_TXT", "ósmy");
    probe.PostRow();

    TRec_Probe r;
    ASSERT_TRUE(probe.ReadRecordByID(8, r));
    EXPECT_EQ(r.PR_TXT, "ósmy");
    EXPECT_EQ(rows(probe), 4);
}

TEST_F(TableBaseTest, OT_AddNewReplacesAKnownRowAndRefusesAnUnknownOne) {
    addRow(1, "pierwszy");
    addRow(2, "drugi");

    TRec_Probe r;
    r.PR_TXT = "nowy";
    int id = 0;
    probe.OT_AddNew(id, r);
    EXPECT_EQ(id, 3);

    r.PR_TXT = "zmieniony";
    int two = 2;
    probe.OT_AddNew(two, r);
    TRec_Probe back;
    ASSERT_TRUE(probe.ReadRecordByID(2, back));
    EXPECT_EQ(back.PR_TXT, "zmieniony");
    EXPECT_EQ(back.ID, 2);  // the record's own identifier (0) did not overwrite the row's

    int unknown = 5;
    r.PR_TXT = "nie powinien powstać";
    try {
        probe.OT_AddNew(unknown, r);
        FAIL() << "no error raised";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Nie znaleziono podanego ID w bazie PROBE podczas OT_AddNew");
    }
    EXPECT_EQ(unknown, 5);
    EXPECT_EQ(rows(probe), 3);
    EXPECT_FALSE(probe.LocateID(5));
    EXPECT_EQ(probe.T().state(), engine::Table::State::Browse);
}

}  // namespace
}  // namespace pulpex
