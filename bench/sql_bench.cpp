// eventlist and join: our local SQL over the dBase directory against the same statements on
// native SQLite tables. One op is one whole query: open (prepare), step every row, read every
// column of it.

#include <cstdio>
#include <stdexcept>

#include "bench.h"

#if __has_include("tables/engine/query.h")
#include "tables/engine/query.h"
#define PULPEX_BENCH_HAS_QUERY 1
#else
#define PULPEX_BENCH_HAS_QUERY 0
#endif

namespace pulpex::bench {

namespace eng = pulpex::engine;

namespace {

constexpr const char* kEventList =
    "select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ where ZD_TYP < 4 order by ZD_DAT, ID";
constexpr const char* kEventListNotIndexed =
    "select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ NOT INDEXED where ZD_TYP < 4 order by "
    "ZD_DAT, ID";
constexpr const char* kJoin =
    " select z.ZD_NMR, z.ZD_SMB, r.ESZ_ZD, r.RSZ_IDS, r.ID from REL_SZD  r  , ZDARZ  z   where "
    "r.RSZ_IDS= :ID and z.ID = r.ESZ_ZD order by z.ZD_NMR";

// The same with the cases window's date filter (2015–2019, both ends included): ours in the
// program's dialect, SQLite's on its ISO text dates.
constexpr const char* kJoinDated =
    " select z.ZD_NMR, z.ZD_SMB, r.ESZ_ZD, r.RSZ_IDS, r.ID from REL_SZD  r  , ZDARZ  z   where "
    "r.RSZ_IDS= :ID and z.ID = r.ESZ_ZD and ZD_DAT>= cast(\"1/1/2015\" as date)   and "
    "ZD_DAT<= cast(\"12/31/2019\" as date)  order by z.ZD_NMR";
constexpr const char* kJoinDatedSqlite =
    " select z.ZD_NMR, z.ZD_SMB, r.ESZ_ZD, r.RSZ_IDS, r.ID from REL_SZD  r  , ZDARZ  z   where "
    "r.RSZ_IDS= :ID and z.ID = r.ESZ_ZD and ZD_DAT >= '2015-01-01' and ZD_DAT <= '2019-12-31' "
    "order by z.ZD_NMR";

// Row count and an order-sensitive checksum of one result, to check that both sides agree.
struct Digest {
    std::uint64_t rows = 0, sum = 0;
    void add(std::int64_t id, std::size_t textBytes) {
        ++rows;
        sum = sum * 1'000'003 + static_cast<std::uint64_t>(id) * 31 + textBytes;
    }
    bool operator==(const Digest&) const = default;
};

std::string columnText(sqlite3_stmt* s, int i) {
    const unsigned char* p = sqlite3_column_text(s, i);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(s, i)))
             : std::string();
}

[[gnu::noinline]] Digest runEventListSqlite(sqlite3* db, const char* sql = kEventList) {
    Stmt s = prepare(db, sql);
    Digest dg;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        std::string nmr = columnText(s.get(), 0);
        eng::Date dat = eng::Date::parse(columnText(s.get(), 1));
        std::string smb = columnText(s.get(), 2);
        std::int64_t adr = sqlite3_column_int64(s.get(), 3);
        std::int64_t id = sqlite3_column_int64(s.get(), 4);
        dg.add(id, nmr.size() + smb.size() + static_cast<std::size_t>(dat.day + adr));
    }
    if (rc != SQLITE_DONE) sqliteFail(db, "eventlist");
    return dg;
}

[[gnu::noinline]] Digest runJoinSqlite(sqlite3* db, std::int64_t caseId, const char* sql = kJoin) {
    Stmt s = prepare(db, sql);
    sqlite3_bind_int64(s.get(), sqlite3_bind_parameter_index(s.get(), ":ID"), caseId);
    Digest dg;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        std::string nmr = columnText(s.get(), 0);
        std::string smb = columnText(s.get(), 1);
        std::int64_t esz = sqlite3_column_int64(s.get(), 2);
        std::int64_t ids = sqlite3_column_int64(s.get(), 3);
        std::int64_t id = sqlite3_column_int64(s.get(), 4);
        dg.add(esz, nmr.size() + smb.size() + static_cast<std::size_t>(ids + id));
    }
    if (rc != SQLITE_DONE) sqliteFail(db, "join");
    return dg;
}

#if PULPEX_BENCH_HAS_QUERY
[[gnu::noinline]] Digest runEventListEngine(const std::string& dir) {
    eng::Query q(dir);
    q.setSql(kEventList);
    q.open();
    Digest dg;
    for (q.first(); !q.eof(); q.next()) {
        std::string nmr = q.asString(0);
        eng::Date dat = q.asDate(1);
        std::string smb = q.asString(2);
        std::int64_t adr = q.asInteger(3);
        std::int64_t id = q.asInteger(4);
        dg.add(id, nmr.size() + smb.size() + static_cast<std::size_t>(dat.day + adr));
    }
    return dg;
}

[[gnu::noinline]] Digest runJoinEngine(const std::string& dir, std::int64_t caseId,
                                       const char* sql = kJoin) {
    eng::Query q(dir);
    q.setSql(sql);
    q.setParam("ID", eng::Value{caseId});
    q.open();
    Digest dg;
    for (q.first(); !q.eof(); q.next()) {
        std::string nmr = q.asString(0);
        std::string smb = q.asString(1);
        std::int64_t esz = q.asInteger(2);
        std::int64_t ids = q.asInteger(3);
        std::int64_t id = q.asInteger(4);
        dg.add(esz, nmr.size() + smb.size() + static_cast<std::size_t>(ids + id));
    }
    return dg;
}
#endif

// Runs `perRun` queries per run on each side, opts.shortRuns() runs, interleaved.
template <class Engine, class Sqlite>
Result runBoth(const Options& opts, const char* name, int perRun, Engine&& engineQuery,
               Sqlite&& sqliteQuery) {
    Result res{name, {}, {}};
    res.pulpexAvailable = PULPEX_BENCH_HAS_QUERY && opts.engine;
    Digest pd, sd;
    for (int r = 0; r < opts.shortRuns(); ++r) {
        if (res.pulpexAvailable) {
            Stopwatch sw;
            for (int i = 0; i < perRun; ++i)
                pd = engineQuery();
            addRun(res.pulpex, sw, perRun);
        }
        if (opts.sqlite) {
            Stopwatch sw;
            for (int i = 0; i < perRun; ++i)
                sd = sqliteQuery();
            addRun(res.sqlite, sw, perRun);
        }
    }
    const std::uint64_t rows = res.pulpexAvailable ? pd.rows : sd.rows;
    std::printf("#   %llu rows per query, %d queries per run\n",
                static_cast<unsigned long long>(rows), perRun);
    if (res.pulpexAvailable && opts.sqlite && !(pd == sd))
        throw std::runtime_error(std::string(name) + ": the results differ (" +
                                 std::to_string(pd.rows) + " rows against " +
                                 std::to_string(sd.rows) + ")");
    if (!res.pulpexAvailable) std::printf("#   pulpex: no local SQL in this build\n");
    report("pulpex", res.pulpex, "query");
    report("sqlite", res.sqlite, "query");
    if (rows > 0) {
        if (!res.pulpex.empty())
            std::printf("#   pulpex %.1f ns/row\n",
                        best(res.pulpex.wall) / static_cast<double>(rows));
        if (!res.sqlite.empty())
            std::printf("#   sqlite %.1f ns/row\n",
                        best(res.sqlite.wall) / static_cast<double>(rows));
    }
    return res;
}

}  // namespace

Result benchEventList(const Options& opts, Data& data) {
    const std::string dir = opts.engine ? data.smallDir() : std::string();
    Db db;
    if (opts.sqlite) db = openSqlite(data.smallSqlite());
    std::printf("# eventlist: %zu-row ZDARZ, %s\n", data.smallRows(), kEventList);
    Result res = runBoth(
        opts, "eventlist", 3,
        [&] {
#if PULPEX_BENCH_HAS_QUERY
            return runEventListEngine(dir);
#else
            return Digest{};
#endif
        },
        [&] { return runEventListSqlite(db.get()); });
    if (db) {
        // For comparison only: SQLite's plan walks the ZD_DAT index and fetches each row from
        // the table; a full scan and a sort (what our virtual table gives it) is faster here.
        Samples full;
        for (int r = 0; r < opts.shortRuns(); ++r) {
            Stopwatch sw;
            for (int i = 0; i < 3; ++i)
                runEventListSqlite(db.get(), kEventListNotIndexed);
            addRun(full, sw, 3);
        }
        report("sqlite", full, "query with ZDARZ NOT INDEXED (full scan and sort)");
    }
    return res;
}

Result benchJoin(const Options& opts, Data& data) {
    const std::string dir = opts.engine ? data.smallDir() : std::string();
    Db db;
    if (opts.sqlite) db = openSqlite(data.smallSqlite());
    std::printf("# join: %zu-row REL_SZD, %zu-row ZDARZ, case with %zu links:%s\n", data.links(),
                data.smallRows(), data.bigCaseLinks(), kJoin);
    return runBoth(
        opts, "join", 20,
        [&] {
#if PULPEX_BENCH_HAS_QUERY
            return runJoinEngine(dir, kBigCase);
#else
            return Digest{};
#endif
        },
        [&] { return runJoinSqlite(db.get(), kBigCase); });
}

Result benchJoinDated(const Options& opts, Data& data) {
    const std::string dir = opts.engine ? data.smallDir() : std::string();
    Db db;
    if (opts.sqlite) db = openSqlite(data.smallSqlite());
    std::printf("# join_dated: the join's case, its events of 2015-2019 only:%s\n", kJoinDated);
    return runBoth(
        opts, "join_dated", 20,
        [&] {
#if PULPEX_BENCH_HAS_QUERY
            return runJoinEngine(dir, kBigCase, kJoinDated);
#else
            return Digest{};
#endif
        },
        [&] { return runJoinSqlite(db.get(), kBigCase, kJoinDatedSqlite); });
}

}  // namespace pulpex::bench
