// append, locate and scan: the table cursor against a native SQLite table holding the same rows.
//
// The timed loops are separate non-inlined functions named run*, so that a profiler can be told
// to collect only inside them (callgrind --toggle-collect='pulpex::bench::run*').

#include <cstdio>
#include <stdexcept>

#include "bench.h"

namespace pulpex::bench {

namespace eng = pulpex::engine;

namespace {

// --- append

[[gnu::noinline]] void runAppendEngine(eng::Table& t, const EventFieldNos& f,
                                       const std::vector<EventRow>& rows) {
    for (const auto& r : rows) {
        t.append();
        setEventFields(t, f, r);
        t.post();
    }
}

[[gnu::noinline]] void runAppendSqlite(sqlite3* db, sqlite3_stmt* ins,
                                       const std::vector<EventRow>& rows) {
    // Autocommit: every INSERT is its own transaction, as every post is its own append.
    for (const auto& r : rows) {
        bindEvent(ins, r);
        stepDone(db, ins);
    }
}

void appendEngineOnce(const std::string& dir, const std::vector<EventRow>& rows, Samples& out) {
    const std::string path = dir + "/ZDARZ.DBF";
    eng::Table::create(path, eventFields(), eventIndexes());
    {
        // A shared open, as every workstation has it: each post takes the append lock.
        auto t = eng::Table::open(path);
        EventFieldNos f(*t);
        Stopwatch sw;
        runAppendEngine(*t, f, rows);
        addRun(out, sw, static_cast<double>(rows.size()));
        if (t->recordCount() != rows.size()) throw std::runtime_error("append: row count differs");
    }
    eng::Table::remove(path);
}

void appendSqliteOnce(const std::string& dir, const std::vector<EventRow>& rows, Samples& out) {
    const std::string file = dir + "/append.sqlite";
    {
        Db db = openSqlite(file);
        createSqliteEvents(db.get());
        Stmt ins = prepare(db.get(), kInsertEvent);
        Stopwatch sw;
        runAppendSqlite(db.get(), ins.get(), rows);
        addRun(out, sw, static_cast<double>(rows.size()));
        Stmt cnt = prepare(db.get(), "SELECT count(*) FROM ZDARZ");
        if (sqlite3_step(cnt.get()) != SQLITE_ROW ||
            static_cast<std::size_t>(sqlite3_column_int64(cnt.get(), 0)) != rows.size())
            throw std::runtime_error("append: SQLite row count differs");
    }
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((file + suffix).c_str());
}

// --- locate

[[gnu::noinline]] std::uint64_t runLocateEngine(eng::Table& t, int nmr,
                                                const std::vector<std::int64_t>& ids) {
    std::uint64_t bytes = 0;
    for (std::int64_t id : ids) {
        if (!t.findKey(eng::Value{id})) throw std::runtime_error("locate: id not found");
        bytes += t.asString(nmr).size();
    }
    return bytes;
}

[[gnu::noinline]] std::uint64_t runLocateSqlite(sqlite3* db, sqlite3_stmt* sel,
                                                const std::vector<std::int64_t>& ids) {
    std::uint64_t bytes = 0;
    for (std::int64_t id : ids) {
        sqlite3_bind_int64(sel, 1, id);
        if (sqlite3_step(sel) != SQLITE_ROW) sqliteFail(db, "locate: id not found");
        // An owned copy, as asString gives.
        std::string s(reinterpret_cast<const char*>(sqlite3_column_text(sel, 0)),
                      static_cast<std::size_t>(sqlite3_column_bytes(sel, 0)));
        bytes += s.size();
        sqlite3_reset(sel);
    }
    return bytes;
}

// --- scan

[[gnu::noinline]] std::uint64_t runScanEngine(eng::Table& t, int id, std::uint64_t& rows) {
    std::uint64_t sum = 0;
    rows = 0;
    for (t.first(); !t.eof(); t.next()) {
        sum += static_cast<std::uint64_t>(t.asInteger(id));
        ++rows;
    }
    return sum;
}

[[gnu::noinline]] std::uint64_t runScanSqlite(sqlite3* db, sqlite3_stmt* sel, std::uint64_t& rows) {
    std::uint64_t sum = 0;
    rows = 0;
    int rc;
    while ((rc = sqlite3_step(sel)) == SQLITE_ROW) {
        sum += static_cast<std::uint64_t>(sqlite3_column_int64(sel, 0));
        ++rows;
    }
    if (rc != SQLITE_DONE) sqliteFail(db, "scan");
    sqlite3_reset(sel);
    return sum;
}

}  // namespace

Result benchAppend(const Options& opts, const TempDir& tmp) {
    Result res{"append", {}, {}};
    const std::size_t n = opts.scaled(100'000);
    std::vector<EventRow> rows;
    rows.reserve(n);
    for (std::size_t i = 1; i <= n; ++i)
        rows.push_back(eventRow(static_cast<std::int64_t>(i)));
    const std::string dir = tmp.subdir("append");
    std::printf("# append: %zu rows, 2 tags, one locked append per row\n", n);
    for (int r = 0; r < opts.repeat; ++r) {
        if (opts.engine) appendEngineOnce(dir, rows, res.pulpex);
        if (opts.sqlite) appendSqliteOnce(dir, rows, res.sqlite);
    }
    report("pulpex", res.pulpex, "append");
    report("sqlite", res.sqlite, "append");
    if (opts.engine)
        std::printf("#   pulpex %.0f appends/s (aim: at least 20000)\n",
                    1e9 / best(res.pulpex.wall));
    if (opts.sqlite) std::printf("#   sqlite %.0f appends/s\n", 1e9 / best(res.sqlite.wall));
    return res;
}

Result benchLocate(const Options& opts, Data& data) {
    Result res{"locate", {}, {}};
    const std::size_t rows = data.bigRows();
    const std::size_t n = opts.scaled(100'000);
    std::vector<std::int64_t> ids;
    ids.reserve(n);
    Rng g(7);
    for (std::size_t i = 0; i < n; ++i)
        ids.push_back(static_cast<std::int64_t>(1 + g.below(rows)));
    std::unique_ptr<eng::Table> t;
    int nmr = -1;
    if (opts.engine) {
        t = eng::Table::open(data.bigDir() + "/ZDARZ.DBF");
        t->setIndex("ZDARZ_ID");
        nmr = t->fieldNo("ZD_NMR");
    }
    Db db;
    Stmt sel;
    if (opts.sqlite) {
        db = openSqlite(data.bigSqlite());
        sel = prepare(db.get(), "SELECT ZD_NMR FROM ZDARZ WHERE ID=?");
    }
    std::printf("# locate: %zu random IDs in %zu rows, reading ZD_NMR\n", n, rows);
    std::uint64_t pb = 0, sb = 0;
    for (int r = 0; r < opts.shortRuns(); ++r) {
        if (t) {
            Stopwatch sw;
            pb = runLocateEngine(*t, nmr, ids);
            addRun(res.pulpex, sw, static_cast<double>(n));
        }
        if (sel) {
            Stopwatch sw;
            sb = runLocateSqlite(db.get(), sel.get(), ids);
            addRun(res.sqlite, sw, static_cast<double>(n));
        }
    }
    if (t && sel && pb != sb) throw std::runtime_error("locate: the engines read different text");
    report("pulpex", res.pulpex, "locate");
    report("sqlite", res.sqlite, "locate");
    if (sel) {
        // For comparison only: SQLite without a read transaction (and its locks) per locate.
        Samples tx;
        for (int r = 0; r < opts.shortRuns(); ++r) {
            exec(db.get(), "BEGIN");
            Stopwatch sw;
            runLocateSqlite(db.get(), sel.get(), ids);
            addRun(tx, sw, static_cast<double>(n));
            exec(db.get(), "COMMIT");
        }
        report("sqlite", tx, "locate with all of them in one read transaction");
    }
    return res;
}

Result benchScan(const Options& opts, Data& data) {
    Result res{"scan", {}, {}};
    const std::size_t rows = data.bigRows();
    std::unique_ptr<eng::Table> t;
    int id = -1;
    if (opts.engine) {
        t = eng::Table::open(data.bigDir() + "/ZDARZ.DBF");
        t->setIndex("");
        t->setFilter("ZD_TYP=1");
        id = t->fieldNo("ID");
    }
    Db db;
    Stmt sel;
    if (opts.sqlite) {
        db = openSqlite(data.bigSqlite());
        sel = prepare(db.get(), "SELECT ID FROM ZDARZ WHERE ZD_TYP=1");
    }
    const int runs = opts.shortRuns();
    std::uint64_t pr = 0, sr = 0, ps = 0, ss = 0;
    for (int r = 0; r < runs; ++r) {
        if (t) {
            Stopwatch sw;
            ps = runScanEngine(*t, id, pr);
            addRun(res.pulpex, sw, static_cast<double>(rows));
        }
        if (sel) {
            Stopwatch sw;
            ss = runScanSqlite(db.get(), sel.get(), sr);
            addRun(res.sqlite, sw, static_cast<double>(rows));
        }
    }
    if (t && sel && (pr != sr || ps != ss))
        throw std::runtime_error("scan: the engines found different rows");
    std::printf("# scan: %zu rows in physical order, filter ZD_TYP=1 (%llu match), reading ID\n",
                rows, static_cast<unsigned long long>(t ? pr : sr));
    report("pulpex", res.pulpex, "row");
    report("sqlite", res.sqlite, "row");
    if (t) {
        // For comparison only: the same scan through a record-filter callback.
        t->setFilter("");
        const int typ = t->fieldNo("ZD_TYP");
        t->setRecordFilter([typ](eng::Cursor& c) { return c.asInteger(typ) == 1; });
        t->setFiltered(true);
        Samples rf;
        for (int r = 0; r < runs; ++r) {
            Stopwatch sw;
            std::uint64_t n = 0;
            runScanEngine(*t, id, n);
            addRun(rf, sw, static_cast<double>(rows));
            if (n != pr) throw std::runtime_error("scan: record filter found different rows");
        }
        report("pulpex", rf, "row with a record filter instead of setFilter");
    }
    return res;
}

}  // namespace pulpex::bench
