// Several processes and several cursors on one table: concurrent appends keep every row and
// every index entry, record locks exclude other cursors and processes, exclusive opens exclude
// everyone, and an open cursor sees what other processes wrote.
//
// Children open their own Table objects after fork() (a Table of the parent must not be used in
// a child) and report through their exit status; they end with _exit so that no test-framework
// state runs twice.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tables/engine/error.h"
#include "tables/engine/table.h"

namespace fs = std::filesystem;
using namespace pulpex::engine;

namespace {

// A pipe used as a one-shot signal between processes.
class Signal {
  public:
    Signal() {
        if (::pipe(fd_) != 0) std::abort();
    }
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    ~Signal() {
        for (int f : fd_)
            if (f >= 0) ::close(f);
    }
    void raise() {
        char c = 1;
        if (::write(fd_[1], &c, 1) != 1) std::abort();
    }
    // Blocks until raise() or until every writer is gone; false in the second case.
    bool wait() {
        char c;
        return ::read(fd_[0], &c, 1) == 1;
    }
    // Closes this process's write end: once every process has done so, all waiters return
    // together (a start barrier).
    void closeWriter() {
        ::close(fd_[1]);
        fd_[1] = -1;
    }

  private:
    int fd_[2] = {-1, -1};
};

// Runs body in a child process; its return value is the exit status (exceptions give 100).
pid_t spawn(const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
        int rc;
        try {
            rc = body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child %d: %s\n", ::getpid(), e.what());
            rc = 100;
        } catch (...) {
            rc = 101;
        }
        std::fflush(nullptr);
        ::_exit(rc);
    }
    return pid;
}

int exitStatus(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 200 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// A lock conflict: reason Locked and a Polish text saying so.
bool isLockConflict(const EDatabaseError& e) {
    const std::string m = e.what();
    return e.reason() == EDatabaseError::Reason::Locked &&
           (m.find("zablokowany") != std::string::npos || m.find("blokad") != std::string::npos ||
            m.find("używana") != std::string::npos || m.find("wyłączność") != std::string::npos);
}

::testing::AssertionResult refusedAsLocked(const std::function<void()>& f) {
    try {
        f();
    } catch (const EDatabaseError& e) {
        if (isLockConflict(e)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "not a lock conflict: " << e.what();
    }
    return ::testing::AssertionFailure() << "not refused";
}

class ConcurrencyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/pulpex-concurrency-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        table = dir + "/WSPOL.DBF";
    }
    void TearDown() override { fs::remove_all(dir); }

    void createTable() {
        Table::create(table,
                      {{"ID", FieldType::Integer},
                       {"NAZWA", FieldType::String, 20},
                       {"PROC", FieldType::Integer},
                       {"NR", FieldType::Integer},
                       {"TRESC", FieldType::Memo, 10}},
                      {{"ID", "ID"}, {"NAZWA", "NAZWA"}});
    }

    void addRows(int count) {
        auto t = Table::open(table);
        for (int i = 1; i <= count; ++i) {
            t->append();
            t->setInteger("ID", i);
            t->setString("NAZWA", "Wiersz " + std::to_string(i));
            t->post();
        }
    }

    std::string dir, table;
};

std::string rowName(int proc, int nr) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "P%d-%05d", proc, nr);
    return buf;
}

// --- Concurrent appends

TEST_F(ConcurrencyTest, FourProcessesAppendingKeepEveryRowAndIndexEntry) {
    constexpr int kProcs = 4, kRows = 2000;
    createTable();
    Signal start;
    std::vector<pid_t> kids;
    for (int p = 0; p < kProcs; ++p) {
        kids.push_back(spawn([&, p]() -> int {
            start.closeWriter();
            auto t = Table::open(table);
            start.wait();  // returns when the parent lets everyone go
            for (int i = 0; i < kRows; ++i) {
                t->append();
                t->setInteger("ID", (p + 1) * 100000 + i);
                t->setString("NAZWA", rowName(p, i));
                t->setInteger("PROC", p);
                t->setInteger("NR", i);
                if (i % 10 == 0) t->setString("TRESC", "Treść " + rowName(p, i) + " żółć");
                t->post();
            }
            return 0;
        }));
    }
    start.closeWriter();  // every child blocked in wait() starts now
    for (pid_t k : kids)
        EXPECT_EQ(exitStatus(k), 0);

    auto t = Table::open(table);
    ASSERT_EQ(t->recordCount(), std::uint64_t{kProcs * kRows});
    // Physical order: every row intact, each process's rows in its own order.
    std::set<std::int64_t> ids;
    std::vector<int> lastNr(kProcs, -1);
    std::uint32_t physical = 0;
    for (t->first(); !t->eof(); t->next()) {
        ++physical;
        const int p = static_cast<int>(t->asInteger("PROC"));
        const int nr = static_cast<int>(t->asInteger("NR"));
        ASSERT_TRUE(p >= 0 && p < kProcs) << "row " << t->recno();
        ASSERT_EQ(t->asInteger("ID"), (p + 1) * 100000 + nr) << "row " << t->recno();
        ASSERT_EQ(t->asString("NAZWA"), rowName(p, nr)) << "row " << t->recno();
        ASSERT_GT(nr, lastNr[static_cast<std::size_t>(p)]) << "row " << t->recno();
        lastNr[static_cast<std::size_t>(p)] = nr;
        if (nr % 10 == 0)
            ASSERT_EQ(t->asString("TRESC"), "Treść " + rowName(p, nr) + " żółć")
                << "row " << t->recno();
        else
            ASSERT_EQ(t->asString("TRESC"), "") << "row " << t->recno();
        ids.insert(t->asInteger("ID"));
    }
    EXPECT_EQ(physical, std::uint32_t{kProcs * kRows});
    EXPECT_EQ(ids.size(), std::size_t{kProcs * kRows});
    for (int p = 0; p < kProcs; ++p)
        EXPECT_EQ(lastNr[static_cast<std::size_t>(p)], kRows - 1);

    // Each tag holds every row once, in key order.
    t->setIndex("ID");
    std::int64_t prevId = -1;
    std::size_t n = 0;
    for (t->first(); !t->eof(); t->next(), ++n) {
        ASSERT_GT(t->asInteger("ID"), prevId);
        prevId = t->asInteger("ID");
    }
    EXPECT_EQ(n, std::size_t{kProcs * kRows});
    t->setIndex("NAZWA");
    std::string prevName;
    n = 0;
    for (t->first(); !t->eof(); t->next(), ++n) {
        ASSERT_GT(t->asString("NAZWA"), prevName);
        prevName = t->asString("NAZWA");
    }
    EXPECT_EQ(n, std::size_t{kProcs * kRows});
    t->setIndex("ID");
    ASSERT_TRUE(t->findKey(Value{std::int64_t{300000 + 1234}}));
    EXPECT_EQ(t->asString("NAZWA"), rowName(2, 1234));

    auto report = t->check(false);
    EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
    const auto size = fs::file_size(table);
    EXPECT_EQ(size,
              32u + 5 * 32 + 1 + std::uint64_t{kProcs * kRows} * (1 + 11 + 20 + 11 + 11 + 10) + 1);
}

// Opening repairs a partly written last record and a lagging count; an append in progress in
// another process looks just like that for a moment, and must never be "repaired".
TEST_F(ConcurrencyTest, OpensDuringAppendsOfAnotherProcessRepairNothing) {
    constexpr int kRows = 1500;
    createTable();
    Signal started;
    pid_t k = spawn([&]() -> int {
        auto t = Table::open(table);
        started.raise();
        for (int i = 0; i < kRows; ++i) {
            t->append();
            t->setInteger("ID", i);
            t->setString("NAZWA", rowName(9, i));
            t->setInteger("NR", i);
            t->post();
        }
        return 0;
    });
    ASSERT_TRUE(started.wait());
    int opens = 0, status = 0;
    while (::waitpid(k, &status, WNOHANG) == 0) {
        auto t = Table::open(table);
        t->last();
        ++opens;
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_GT(opens, 0);

    auto t = Table::open(table);
    EXPECT_EQ(t->recordCount(), std::uint64_t{kRows});
    int i = 0;
    for (t->first(); !t->eof(); t->next(), ++i) {
        ASSERT_EQ(t->asInteger("ID"), i);
        ASSERT_EQ(t->asString("NAZWA"), rowName(9, i));
    }
    EXPECT_EQ(i, kRows);
    auto report = t->check(false);
    EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
}

TEST_F(ConcurrencyTest, AppenderKilledAnywhereLeavesTagsInStepAfterTheNextWriteOpen) {
    createTable();
    addRows(3);
    std::mt19937 random(11);
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Signal started;
        pid_t k = spawn([&]() -> int {
            auto t = Table::open(table);
            started.raise();
            for (int i = 0;; ++i) {
                t->append();
                t->setInteger("ID", 1000 * round + i);
                t->setString("NAZWA", rowName(round, i));
                t->post();
            }
        });
        ASSERT_TRUE(started.wait());
        ::usleep(200 + random() % 3000);
        ::kill(k, SIGKILL);
        ASSERT_EQ(exitStatus(k), 200 + SIGKILL);

        // A kill inside an index change leaves the index marked unfinished: a plain open then
        // refuses it as damaged, and the repairing open (as the start-up check does) rebuilds.
        std::unique_ptr<Table> t;
        try {
            t = Table::open(table);
        } catch (const EDatabaseError& e) {
            ASSERT_EQ(e.reason(), EDatabaseError::Reason::Damaged) << e.what();
            t = Table::open(table, {.exclusive = true, .repairIndex = true});
        }
        std::set<std::int64_t> physical;
        for (t->first(); !t->eof(); t->next())
            physical.insert(t->asInteger("ID"));
        for (const char* tag : {"ID", "NAZWA"}) {
            t->setIndex(tag);
            std::set<std::int64_t> through;
            for (t->first(); !t->eof(); t->next())
                through.insert(t->asInteger("ID"));
            ASSERT_EQ(through, physical) << "tag " << tag;
        }
        t->setIndex("");
        auto report = t->check(false);
        ASSERT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
    }
}

// Edits that move keys and deletes, interleaved with other processes' appends, leave both tags
// matching the rows.
TEST_F(ConcurrencyTest, ConcurrentEditsAndDeletesKeepTagsConsistent) {
    constexpr int kProcs = 3, kRows = 600;
    createTable();
    Signal start;
    std::vector<pid_t> kids;
    for (int p = 0; p < kProcs; ++p) {
        kids.push_back(spawn([&, p]() -> int {
            start.closeWriter();
            auto t = Table::open(table);
            t->setIndex("NAZWA");
            start.wait();
            for (int i = 0; i < kRows; ++i) {
                t->append();
                t->setInteger("ID", (p + 1) * 100000 + i);
                t->setString("NAZWA", rowName(p, i));
                t->setInteger("PROC", p);
                t->setInteger("NR", i);
                t->post();
                if (i % 3 == 1) {
                    // Move the row to the end of the name order.
                    t->edit();
                    t->setString("NAZWA", "Z" + rowName(p, i));
                    t->post();
                }
                if (i % 5 == 4) {
                    // Delete a row written a while ago, found through the other tag.
                    t->setIndex("ID");
                    if (!t->findKey(Value{std::int64_t{(p + 1) * 100000 + i - 2}})) return 2;
                    t->deleteRecord();
                    t->setIndex("NAZWA");
                }
            }
            return 0;
        }));
    }
    start.closeWriter();
    for (pid_t k : kids)
        EXPECT_EQ(exitStatus(k), 0);

    auto expectedName = [](int p, int nr) { return (nr % 3 == 1 ? "Z" : "") + rowName(p, nr); };
    std::set<std::int64_t> want;
    for (int p = 0; p < kProcs; ++p)
        for (int i = 0; i < kRows; ++i)
            if (!(i + 2 < kRows && (i + 2) % 5 == 4)) want.insert((p + 1) * 100000 + i);

    auto t = Table::open(table);
    EXPECT_EQ(t->recordCount(), want.size());
    std::set<std::int64_t> physical;
    for (t->first(); !t->eof(); t->next()) {
        const int p = static_cast<int>(t->asInteger("PROC"));
        const int nr = static_cast<int>(t->asInteger("NR"));
        ASSERT_EQ(t->asString("NAZWA"), expectedName(p, nr)) << "row " << t->recno();
        physical.insert(t->asInteger("ID"));
    }
    EXPECT_EQ(physical, want);
    for (const char* tag : {"ID", "NAZWA"}) {
        SCOPED_TRACE(tag);
        t->setIndex(tag);
        std::set<std::int64_t> seen;
        std::string prevName;
        std::int64_t prevId = -1;
        for (t->first(); !t->eof(); t->next()) {
            if (std::string(tag) == "ID")
                ASSERT_GT(t->asInteger("ID"), prevId);
            else
                ASSERT_GT(t->asString("NAZWA"), prevName);
            prevId = t->asInteger("ID");
            prevName = t->asString("NAZWA");
            seen.insert(prevId);
        }
        EXPECT_EQ(seen, want);
    }
    auto report = t->check(false);
    EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
}

// dBase 7 auto-increment values come from the field descriptor, under the append lock: appends of
// several processes must never hand out a value twice.
TEST_F(ConcurrencyTest, Level7AutoincrementValuesStayUniqueUnderConcurrentAppends) {
    constexpr int kProcs = 3, kRows = 300;
    // ID I(4), LP +(4), NAZWA C(10); no rows; an empty field-properties block after the
    // descriptors.
    const std::size_t hlen = 68 + 48 * 3 + 1 + 16;
    std::vector<std::uint8_t> h(hlen, 0);
    h[0] = 0x04;
    h[8] = static_cast<std::uint8_t>(hlen);
    h[9] = static_cast<std::uint8_t>(hlen >> 8);
    h[10] = 1 + 4 + 4 + 10;
    h[29] = 0xC8;
    const char* names[] = {"ID", "LP", "NAZWA"};
    const char types[] = {'I', '+', 'C'};
    const std::uint8_t sizes[] = {4, 4, 10};
    for (int i = 0; i < 3; ++i) {
        std::uint8_t* d = &h[68 + 48 * static_cast<std::size_t>(i)];
        std::memcpy(d, names[i], std::strlen(names[i]));
        d[32] = static_cast<std::uint8_t>(types[i]);
        d[33] = sizes[i];
    }
    h[68 + 48 + 40] = 1;  // LP: next value 1
    h[68 + 48 * 3] = 0x0D;
    for (std::size_t at : {2u, 6u, 10u, 12u, 14u})
        h[68 + 48 * 3 + 1 + at] = 16;
    h.push_back(0x1A);
    const std::string file = dir + "/L7.DBF";
    {
        FILE* f = std::fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(h.data(), 1, h.size(), f), h.size());
        std::fclose(f);
    }

    Signal start;
    std::vector<pid_t> kids;
    for (int p = 0; p < kProcs; ++p) {
        kids.push_back(spawn([&, p]() -> int {
            start.closeWriter();
            auto t = Table::open(file);
            start.wait();
            for (int i = 0; i < kRows; ++i) {
                t->append();
                t->setInteger("ID", p * 1000 + i);
                t->setString("NAZWA", rowName(p, i).substr(0, 10));
                t->post();
            }
            return 0;
        }));
    }
    start.closeWriter();
    for (pid_t k : kids)
        EXPECT_EQ(exitStatus(k), 0);

    auto t = Table::open(file);
    std::set<std::int64_t> lp;
    std::size_t n = 0;
    for (t->first(); !t->eof(); t->next(), ++n) {
        const auto id = t->asInteger("ID");
        EXPECT_EQ(t->asString("NAZWA"),
                  rowName(static_cast<int>(id / 1000), static_cast<int>(id % 1000)).substr(0, 10));
        lp.insert(t->asInteger("LP"));
    }
    EXPECT_EQ(n, std::size_t{kProcs * kRows});
    ASSERT_EQ(lp.size(), std::size_t{kProcs * kRows}) << "autoincrement values repeat";
    EXPECT_EQ(*lp.begin(), 1);
    EXPECT_EQ(*lp.rbegin(), kProcs * kRows);
    std::vector<std::uint8_t> after(hlen);
    FILE* f = std::fopen(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fread(after.data(), 1, hlen, f), hlen);
    std::fclose(f);
    const std::size_t next = 68 + 48 + 40;
    EXPECT_EQ(after[next] | (after[next + 1] << 8), kProcs * kRows + 1);
}

// --- Record locks between cursors of one process

TEST_F(ConcurrencyTest, TwoCursorsOfOneProcessExcludeEachOtherOnARow) {
    createTable();
    addRows(3);
    auto a = Table::open(table);
    auto b = Table::open(table);
    a->first();
    b->first();
    a->edit();
    try {
        b->edit();
        FAIL() << "second cursor locked a row under edit";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(isLockConflict(e)) << e.what();
    }
    EXPECT_EQ(b->state(), Table::State::Browse);
    // Deleting needs the same lock.
    EXPECT_TRUE(refusedAsLocked([&] { b->deleteRecord(); }));
    // Another row is free.
    b->next();
    b->edit();
    b->cancel();

    a->setString("NAZWA", "Zmieniony");
    a->post();
    b->first();
    b->edit();  // free after post
    EXPECT_EQ(b->asString("NAZWA"), "Zmieniony");
    EXPECT_TRUE(refusedAsLocked([&] { a->edit(); }));
    b->cancel();
    a->edit();  // free after cancel
    a->cancel();

    // Closing one cursor keeps another cursor's lock.
    a->edit();
    {
        auto c = Table::open(table);
        c->first();
        c->next();
        c->edit();  // c holds row 2 when it goes
    }
    auto d = Table::open(table);
    d->first();
    EXPECT_TRUE(refusedAsLocked([&] { d->edit(); }))
        << "row 1 lost its lock when another cursor closed";
    d->next();
    d->edit();  // row 2 was released with its cursor
    d->cancel();

    // A cursor destroyed while editing releases its lock.
    a.reset();
    d->first();
    d->edit();
    d->post();
}

TEST_F(ConcurrencyTest, ExclusiveOpenDeniesOtherOpensAndViceVersa) {
    createTable();
    addRows(2);
    {
        auto x = Table::open(table, {.exclusive = true});
        EXPECT_TRUE(x->exclusive());
        EXPECT_TRUE(refusedAsLocked([&] { Table::open(table); }));
        EXPECT_TRUE(refusedAsLocked([&] { Table::open(table, {.readOnly = true}); }));
        EXPECT_TRUE(refusedAsLocked([&] { Table::open(table, {.exclusive = true}); }));
        // Another process is refused too.
        pid_t k = spawn([&]() -> int {
            try {
                auto t = Table::open(table);
                return 1;
            } catch (const EDatabaseError& e) {
                return isLockConflict(e) ? 0 : 2;
            }
        });
        EXPECT_EQ(exitStatus(k), 0);
    }
    {
        auto s = Table::open(table);
        EXPECT_TRUE(refusedAsLocked([&] { Table::open(table, {.exclusive = true}); }));
        auto s2 = Table::open(table, {.readOnly = true});  // shared opens coexist
        s.reset();
        EXPECT_TRUE(refusedAsLocked([&] { Table::open(table, {.exclusive = true}); }));
    }
    auto x = Table::open(table, {.exclusive = true});  // everyone gone
    EXPECT_EQ(x->recordCount(), 2u);
}

// Structure changes replace or cut files that other cursors have open, so they need an exclusive
// open; refusing them must leave everything working for the others.
TEST_F(ConcurrencyTest, StructureChangesNeedTheTableToThemselves) {
    createTable();
    addRows(5);
    auto other = Table::open(table);
    other->setIndex("ID");
    other->first();
    auto t = Table::open(table);
    t->gotoRecno(2);
    t->deleteRecord();
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"reindex", [&] { t->reindex(); }},
        {"pack", [&] { t->pack(); }},
        {"empty", [&] { t->empty(); }},
        {"addIndex",
         [&] {
             t->addIndex({"PROC", "PROC"});
         }},
        {"deleteIndex", [&] { t->deleteIndex("NAZWA"); }},
        {"check(true)", [&] { t->check(true); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        EXPECT_THROW(change(), EDatabaseError);
    }
    // The other cursor's index file is still the table's index file.
    addRows(1);  // a sixth row through yet another cursor
    std::vector<std::int64_t> ids;
    for (other->first(); !other->eof(); other->next())
        ids.push_back(other->asInteger("ID"));
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 1, 3, 4, 5}));
    other.reset();
    t.reset();
    auto x = Table::open(table, {.exclusive = true});
    EXPECT_EQ(x->tags().size(), 2u);
    EXPECT_EQ(x->recordCount(), 5u);
    EXPECT_TRUE(x->check(false).problems.empty());
}

// --- Locks and changes across processes

TEST_F(ConcurrencyTest, RecordLocksHoldAcrossProcessesAndDieWithTheirHolder) {
    createTable();
    addRows(3);
    auto t = Table::open(table);
    t->first();
    t->edit();  // row 1 held by the parent
    Signal locked, done;
    pid_t k = spawn([&]() -> int {
        auto c = Table::open(table);
        c->first();
        try {
            c->edit();
            return 1;  // row 1 must be locked
        } catch (const EDatabaseError& e) {
            if (!isLockConflict(e)) return 2;
        }
        c->next();
        c->next();
        c->edit();  // row 3, held until the process dies
        locked.raise();
        done.wait();
        return 0;  // exits without post or cancel
    });
    ASSERT_TRUE(locked.wait());
    auto u = Table::open(table);
    u->last();
    EXPECT_TRUE(refusedAsLocked([&] { u->edit(); }));
    done.raise();
    EXPECT_EQ(exitStatus(k), 0);
    u->edit();  // the dead process's lock is gone
    u->setString("NAZWA", "Po awarii");
    u->post();
    t->setString("NAZWA", "Rodzic");
    t->post();

    auto v = Table::open(table);
    v->first();
    EXPECT_EQ(v->asString("NAZWA"), "Rodzic");
    v->last();
    EXPECT_EQ(v->asString("NAZWA"), "Po awarii");
}

// Other programs on the same files (a file server passes Windows clients' locks on as POSIX
// byte-range locks) must see our locks at dBase's offsets, and we must see theirs.
TEST_F(ConcurrencyTest, LocksSitAtTheDBaseOffsetsAndMeetOtherProgramsLocks) {
    constexpr std::uint64_t kBase = 0xEFFFFFFEull;
    createTable();
    addRows(3);
    auto t = Table::open(table);
    t->first();
    t->next();
    t->next();
    t->edit();  // row 3

    auto probe = [&](std::uint64_t offset, short type) -> short {
        int fd = ::open(table.c_str(), O_RDWR);
        if (fd < 0) return -1;
        struct flock fl {};
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = 1;
        short result = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 ? fl.l_type : -1;
        ::close(fd);
        return result;
    };
    EXPECT_EQ(probe(kBase - 3, F_WRLCK), F_WRLCK);  // row 3 under edit
    EXPECT_EQ(probe(kBase - 2, F_WRLCK), F_UNLCK);
    EXPECT_EQ(probe(kBase, F_WRLCK), F_UNLCK);      // no append in progress
    EXPECT_EQ(probe(kBase + 1, F_WRLCK), F_RDLCK);  // every open holds this shared
    EXPECT_EQ(probe(kBase + 1, F_RDLCK), F_UNLCK);

    // A classic POSIX lock of another process on row 2, as a file server takes it for a client.
    Signal locked, done;
    pid_t k = spawn([&]() -> int {
        int fd = ::open(table.c_str(), O_RDWR);
        if (fd < 0) return 1;
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(kBase - 3);
        fl.l_len = 1;
        if (::fcntl(fd, F_SETLK, &fl) == 0) return 2;  // our row 3 lock must stop it
        fl.l_start = static_cast<off_t>(kBase - 2);
        if (::fcntl(fd, F_SETLK, &fl) != 0) return 3;
        locked.raise();
        done.wait();
        return 0;
    });
    ASSERT_TRUE(locked.wait());
    auto u = Table::open(table);
    u->first();
    u->next();
    EXPECT_TRUE(refusedAsLocked([&] { u->edit(); }));
    done.raise();
    EXPECT_EQ(exitStatus(k), 0);
    u->edit();
    u->cancel();
    t->cancel();
}

TEST_F(ConcurrencyTest, OpenCursorSeesRowsAppendedAndChangedByAnotherProcess) {
    createTable();
    addRows(5);
    auto t = Table::open(table);
    t->setIndex("ID");
    t->first();
    t->next();  // on ID 2
    ASSERT_EQ(t->asInteger("ID"), 2);
    auto phys = Table::open(table);
    phys->first();

    pid_t k = spawn([&]() -> int {
        auto c = Table::open(table);
        // Enough rows to split index pages under the parent's cursor.
        for (int i = 6; i <= 600; ++i) {
            c->append();
            c->setInteger("ID", i);
            c->setString("NAZWA", "Nowy " + std::to_string(i));
            c->post();
        }
        c->first();  // physical order: ID 1
        c->edit();
        c->setInteger("ID", 1000);
        c->setString("NAZWA", "Przeniesiony");
        c->setString("TRESC", "Treść z innego procesu");
        c->post();
        c->next();  // ID 3 goes
        c->next();
        c->deleteRecord();
        return 0;
    });
    ASSERT_EQ(exitStatus(k), 0);

    // The parent's index cursor continues from ID 2 through the changes.
    t->next();
    EXPECT_EQ(t->asInteger("ID"), 4);  // 3 was deleted
    std::vector<std::int64_t> rest;
    for (; !t->eof(); t->next())
        rest.push_back(t->asInteger("ID"));
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(rest.size(), 598u);  // 4 .. 600 and 1000
    EXPECT_EQ(rest.back(), 1000);
    EXPECT_TRUE(std::is_sorted(rest.begin(), rest.end()));
    EXPECT_EQ(t->recordCount(), 599u);

    ASSERT_TRUE(t->findKey(Value{std::int64_t{555}}));
    EXPECT_EQ(t->asString("NAZWA"), "Nowy 555");
    EXPECT_FALSE(t->findKey(Value{std::int64_t{1}}));
    ASSERT_TRUE(t->findKey(Value{std::int64_t{1000}}));
    EXPECT_EQ(t->asString("TRESC"), "Treść z innego procesu");
    t->first();
    EXPECT_EQ(t->asInteger("ID"), 2);

    // The physical cursor, opened before, sees the new rows and the changed first row.
    phys->first();
    EXPECT_EQ(phys->asInteger("ID"), 1000);
    EXPECT_EQ(phys->asString("NAZWA"), "Przeniesiony");
    std::size_t n = 0;
    for (phys->first(); !phys->eof(); phys->next())
        ++n;
    EXPECT_EQ(n, 599u);
    phys->last();
    EXPECT_EQ(phys->asInteger("ID"), 600);
}

}  // namespace
