// Workstations meeting on one data directory, played by forked processes (support/workstations.h).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/probe_table.h"
#include "support/testenv.h"
#include "support/workstations.h"
#include "tables/am_diags.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/id_gener.h"

namespace pulpex {
namespace {

using test::TRec_Probe;
using test::TTbl_Probe;

using test::runTogether;
using test::StartLine;
using test::writeAll;

std::vector<int> numbers(const std::vector<std::vector<std::string>>& results) {
    std::vector<int> all;
    for (const auto& lines : results)
        for (const auto& line : lines)
            all.push_back(std::stoi(line));
    std::sort(all.begin(), all.end());
    return all;
}

std::vector<int> oneTo(int n) {
    std::vector<int> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = i + 1;
    return v;
}

TEST(MultiProcess, FourWorkstationsTakeDistinctNumbersFromOneNewCounter) {
    test::TestSystem env;
    {
        TTbl_ID ids;
        ASSERT_TRUE(ids.CreateTableSelf());
        ids.Close();
    }
    // No row for the counter yet: all four make it at once, and one row must come of it. Each
    // round also starts a counter of its own, so that new rows are made side by side 50 times.
    const auto results = runTogether(env.dir.path(), 4, [](int, const StartLine& start) {
        TTbl_ID ids;
        ids.retryUnitMs = 5;
        ids.Open();
        start();
        std::vector<std::string> out;
        for (int k = 0; k < 50; ++k) {
            out.push_back(std::to_string(ids.GenerateID("{NZ}")));
            out.push_back(std::to_string(ids.GenerateID("{R" + QString::number(k) + "}")));
        }
        return out;
    });
    std::vector<std::vector<std::string>> shared(results.size());
    std::vector<std::vector<int>> perRound(50);
    for (std::size_t c = 0; c < results.size(); ++c) {
        ASSERT_EQ(results[c].size(), 100u);
        for (std::size_t i = 0; i < results[c].size(); i += 2) {
            shared[c].push_back(results[c][i]);
            perRound[i / 2].push_back(std::stoi(results[c][i + 1]));
        }
    }
    EXPECT_EQ(numbers(shared), oneTo(200));
    for (auto& round : perRound) {
        std::sort(round.begin(), round.end());
        EXPECT_EQ(round, oneTo(4));
    }

    TTbl_ID ids;
    ids.Open();
    EXPECT_EQ(ids.T().recordCount(), 51u);
    EXPECT_EQ(ids.ConsultnextID("{NZ}"), 201);
}

TEST(MultiProcess, FourWorkstationsAddRowsUnderDistinctIdentifiers) {
    test::TestSystem env;
    {
        TTbl_Probe probe;
        ASSERT_TRUE(probe.CreateTableSelf());
        probe.Close();
    }
    const auto results = runTogether(env.dir.path(), 4, [](int child, const StartLine& start) {
        TTbl_Probe probe;
        probe.Open();
        start();
        std::vector<std::string> out;
        for (int k = 0; k < 100; ++k) {
            TRec_Probe r;
            r.PR_TXT = QString::number(child) + ":" + QString::number(k);
            int id = 0;
            probe.OT_AddNew(id, r);
            out.push_back(std::to_string(id));
        }
        return out;
    });
    EXPECT_EQ(numbers(results), oneTo(400));

    // Every row is the one its writer meant under that identifier.
    TTbl_Probe probe;
    probe.Open();
    EXPECT_EQ(probe.T().recordCount(), 400u);
    for (std::size_t child = 0; child < results.size(); ++child) {
        for (std::size_t k = 0; k < results[child].size(); ++k) {
            TRec_Probe r;
            ASSERT_TRUE(probe.ReadRecordByID(std::stoi(results[child][k]), r));
            EXPECT_EQ(r.PR_TXT, QString::number(child) + ":" + QString::number(k));
        }
    }
}

TEST(MultiProcess, FourWorkstationsLogAtOnceWithoutLosingEntries) {
    test::TestSystem env;
    {
        TTbl_Diags diags;
        ASSERT_TRUE(diags.CreateTableSelf());
        diags.Close();
    }
    runTogether(env.dir.path(), 4, [](int child, const StartLine& start) {
        TTbl_Diags diags;
        diags.Open();
        TblDiags = &diags;
        start();
        for (int k = 0; k < 50; ++k)
            LogDiag("Logowanie do systemu.", QString::number(child) + ":" + QString::number(k));
        TblDiags = nullptr;
        return std::vector<std::string>{};
    });
    auto t = engine::Table::open(u8(TTbl_Diags().TableFileName()));
    std::set<std::string> seen;
    for (t->first(); !t->eof(); t->next()) {
        EXPECT_EQ(t->asString("OPIS1"), "Logowanie do systemu.");
        seen.insert(t->asString("OPIS2"));
    }
    EXPECT_EQ(seen.size(), 200u);
}

// ---------------------------------------------------------------- a counter row held elsewhere

class MultiProcessLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ids.CreateTableSelf());
        ids.Open();
        ids.retryUnitMs = 10;
        ASSERT_EQ(ids.GenerateID("{NZ}"), 1);
    }
    test::TestSystem env;
    TTbl_ID ids;
};

TEST_F(MultiProcessLockTest, RowHeldThroughEveryAttemptGivesZeroAndKeepsTheCounter) {
    auto other = engine::Table::open(u8(ids.TableFileName()));
    other->setIndex("TBIDRSID");
    ASSERT_TRUE(other->findKey(engine::Value{std::string("{NZ}")}));
    other->edit();

    EXPECT_EQ(ids.GenerateID("{NZ}"), 0);
    EXPECT_EQ(ids.T().state(), engine::Table::State::Browse);
    EXPECT_EQ(ids.ConsultnextID("{NZ}"), 2);  // reading is not stopped by the lock
    // A counter nobody holds goes on meanwhile.
    EXPECT_EQ(ids.GenerateID("{NP}"), 1);

    other->cancel();
    EXPECT_EQ(ids.GenerateID("{NZ}"), 2);
}

TEST_F(MultiProcessLockTest, RowReleasedByAnotherProcessIsTakenOnALaterAttempt) {
    ids.Close();
    int locked[2];
    ASSERT_EQ(::pipe(locked), 0);
    const QString path = ids.TableFileName();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(locked[0]);
        int code = 0;
        try {
            auto t = engine::Table::open(u8(path));
            t->setIndex("TBIDRSID");
            if (!t->findKey(engine::Value{std::string("{NZ}")})) ::_exit(4);
            t->edit();
            writeAll(locked[1], "L");
            // Longer than one attempt's patience, far shorter than all five.
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            t->setInteger("ID", 10);  // another workstation took numbers up to 10
            t->post();
        } catch (...) {
            code = 5;
        }
        ::_exit(code);
    }
    ASSERT_GT(pid, 0);
    ::close(locked[1]);
    char c = 0;
    ASSERT_EQ(::read(locked[0], &c, 1), 1);
    ::close(locked[0]);

    // The value is read under the lock: the peer's number is followed, not overwritten.
    EXPECT_EQ(ids.GenerateID("{NZ}"), 11);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ids.ConsultnextID("{NZ}"), 12);
}

}  // namespace
}  // namespace pulpex
