#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "cases/rel_s_k.h"
#include "cases/rel_s_z.h"
#include "cases/sprawy.h"
#include "register/zdarzen.h"
#include "support/testenv.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

template <class T>
void make(T& t) {
    ASSERT_TRUE(t.CreateTableSelf());
    t.Open();
}

// Every (RSZ_IDS, ESZ_ZD) pair with the number of rows holding it.
std::map<std::pair<int, int>, int> links(TOT_Table& rel) {
    std::map<std::pair<int, int>, int> out;
    engine::Table& t = rel.T();
    t.setIndex("");
    for (t.first(); !t.eof(); t.next())
        ++out[{fieldInt(t, "RSZ_IDS"), fieldInt(t, "ESZ_ZD")}];
    return out;
}

std::vector<int> ids(TOT_Table& table) {
    std::vector<int> out;
    engine::Table& t = table.T();
    table.SetIDIndex();
    for (t.first(); !t.eof(); t.next())
        out.push_back(fieldInt(t, "ID"));
    return out;
}

void addCase(TTbl_Sprawy& sprawy, int id) {
    engine::Table& t = sprawy.T();
    t.append();
    t.setInteger("ID", id);
    t.setString("SP_NAZ", "Sprawa " + std::to_string(id));
    t.post();
}

TEST(Cases, CaseRecordRoundTrip) {
    test::TestSystem env;
    TTbl_Sprawy sprawy;
    make(sprawy);
    TRec_Sprawy rec;
    rec.SP_NAZ = "Dzierżawa gruntu";
    rec.SP_NUM = "ŚR-12";
    rec.SP_OPI.SetText("Opis sprawy\r\nz dwoma wierszami");
    rec.SP_ZAMK = true;
    sprawy.OT_AddNew(rec.ID, rec);
    EXPECT_EQ(rec.ID, 1);

    TRec_Sprawy back;
    ASSERT_TRUE(sprawy.ReadRecordByID(1, back));
    EXPECT_EQ(back.ID, 1);
    EXPECT_EQ(back.SP_NAZ, rec.SP_NAZ);
    EXPECT_EQ(back.SP_NUM, rec.SP_NUM);
    EXPECT_EQ(back.SP_OPI.GetText(), rec.SP_OPI.GetText());
    EXPECT_TRUE(back.SP_ZAMK);
}

TEST(Cases, LinkingIsIdempotentPerPair) {
    test::TestSystem env;
    TTbl_RelSprZd rel;
    make(rel);
    rel.DodajPowiazanie(1, 11);
    rel.DodajPowiazanie(1, 11);
    // Pairs that share one side, or whose digits run together, are other pairs.
    rel.DodajPowiazanie(11, 1);
    rel.DodajPowiazanie(1, 1);
    rel.DodajPowiazanie(1, 1);
    rel.DodajPowiazanie(11, 11);
    rel.DodajPowiazanie(11, 1);

    const std::map<std::pair<int, int>, int> want{
        {{1, 11}, 1}, {{11, 1}, 1}, {{1, 1}, 1}, {{11, 11}, 1}};
    EXPECT_EQ(links(rel), want);
    EXPECT_EQ(ids(rel), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(rel.CzyPowiazane(11, 1));
    EXPECT_FALSE(rel.CzyPowiazane(2, 1));
}

TEST(Cases, DeletingACaseRemovesItsLinksOnly) {
    test::TestSystem env;
    TTbl_Sprawy sprawy;
    TTbl_RelSprZd rel;
    TTbl_RelSprKlasa rsk;
    TTbl_Zdarzenia zdarz;
    make(sprawy);
    make(rel);
    make(rsk);
    make(zdarz);
    test::GlobalRef g1(TblRelSprZd, &rel);
    test::GlobalRef g2(TblSprawy, &sprawy);

    for (int id : {5, 6, 50})
        addCase(sprawy, id);
    for (int i = 0; i < 3; ++i) {
        TRec_Zdarzenia ev;
        zdarz.OT_AddNew(ev.ID, ev);
    }
    // Case 5 has events 1, 2, 3; cases 6 and 50 share some of them.
    rel.DodajPowiazanie(5, 1);
    rel.DodajPowiazanie(6, 1);
    rel.DodajPowiazanie(5, 2);
    rel.DodajPowiazanie(50, 3);
    rel.DodajPowiazanie(5, 3);
    rel.DodajPowiazanie(6, 2);
    engine::Table& k = rsk.T();
    for (int kls : {1, 2}) {
        k.append();
        k.setInteger("RSK_SPR", 5);
        k.setInteger("RSK_KLS", kls);
        k.post();
    }

    sprawy.UsunSprawe(5);

    EXPECT_TRUE(env.prompts.shown().empty());
    EXPECT_EQ(ids(sprawy), (std::vector<int>{6, 50}));
    const std::map<std::pair<int, int>, int> want{{{6, 1}, 1}, {{6, 2}, 1}, {{50, 3}, 1}};
    EXPECT_EQ(links(rel), want);
    EXPECT_EQ(ids(zdarz), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(k.recordCount(), 2u);

    // No such case: nothing goes, nothing is reported.
    sprawy.UsunSprawe(77);
    EXPECT_TRUE(env.prompts.shown().empty());
    EXPECT_EQ(ids(sprawy), (std::vector<int>{6, 50}));
}

TEST(Cases, FailedCaseDeletionIsReported) {
    test::TestSystem env;
    TTbl_Sprawy sprawy;
    TTbl_RelSprZd rel;
    make(sprawy);
    make(rel);
    addCase(sprawy, 1);
    rel.DodajPowiazanie(1, 9);

    // Without the links table nothing is deleted.
    sprawy.UsunSprawe(1);
    ASSERT_EQ(env.prompts.texts(), QStringList{"Błąd podczas usuwania sprawy"});
    EXPECT_EQ(ids(sprawy), std::vector<int>{1});

    test::GlobalRef g(TblRelSprZd, &rel);
    // Another workstation holds the link row: the deletion stops before the case row.
    auto other = engine::Table::open(u8(rel.TableFileName()));
    other->first();
    other->edit();
    env.prompts.clear();
    sprawy.UsunSprawe(1);
    EXPECT_EQ(env.prompts.texts(), QStringList{"Błąd podczas usuwania sprawy"});
    EXPECT_EQ(ids(sprawy), std::vector<int>{1});
    other->cancel();

    env.prompts.clear();
    sprawy.UsunSprawe(1);
    EXPECT_TRUE(env.prompts.shown().empty());
    EXPECT_TRUE(ids(sprawy).empty());
    EXPECT_TRUE(links(rel).empty());
}

TEST(Cases, CaseClassLinksHaveNoIdentifier) {
    test::TestSystem env;
    TTbl_RelSprKlasa rsk;
    make(rsk);
    engine::Table& t = rsk.T();
    t.append();
    t.setInteger("RSK_SPR", 5);
    t.setInteger("RSK_KLS", 2);
    t.post();

    // The pair tag must not be taken for an identifier tag: "ID 5" is not case 5's row.
    EXPECT_FALSE(rsk.LocateID(5));
    EXPECT_FALSE(rsk.DeleteByID(5));
    struct Rec : TOT_Record {
    } rec;
    EXPECT_FALSE(rsk.ReadRecordByID(5, rec));
    int id = 0;
    EXPECT_THROW(rsk.OT_AddNew(id, rec), EDatabaseError);
    EXPECT_EQ(t.recordCount(), 1u);
}

// Two workstations linking the same events to the same case at the same time: each pair still
// ends up in one row, and every link has its own identifier.
TEST(Cases, LinkingStaysIdempotentAcrossProcesses) {
    test::TestSystem env;
    {
        TTbl_RelSprZd rel;
        ASSERT_TRUE(rel.CreateTableSelf());
    }
    constexpr int kEvents = 150;
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (int c = 0; c < 3; ++c) {
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int rc = 0;
            try {
                ::close(start[1]);
                char ch;
                (void)::read(start[0], &ch, 1);  // released when the parent closes its end
                TTbl_RelSprZd rel;
                rel.Open();
                for (int e = 1; e <= kEvents; ++e)
                    rel.DodajPowiazanie(7, e);
            } catch (...) {
                rc = 1;
            }
            ::_exit(rc);
        }
        children.push_back(pid);
    }
    ::close(start[0]);
    ::close(start[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    TTbl_RelSprZd rel;
    rel.Open();
    const auto got = links(rel);
    EXPECT_EQ(got.size(), static_cast<std::size_t>(kEvents));
    for (const auto& [pair, count] : got)
        EXPECT_EQ(count, 1) << pair.first << "," << pair.second;
    const auto all = ids(rel);
    EXPECT_EQ(std::set<int>(all.begin(), all.end()).size(), all.size());
}

}  // namespace
}  // namespace pulpex
