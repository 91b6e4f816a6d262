// Shared pieces of pulpex-bench: options, timing, the temporary data directory, the rows of the
// event and link tables (generated deterministically, so both engines get the same data), and
// thin RAII wrappers over the SQLite C API.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tables/engine/table.h"
#include "tables/engine/value.h"

namespace pulpex::bench {

struct Options {
    double scale = 1.0;  // multiplies every row and operation count (profiling runs use 0.1)
    int repeat = 5;      // runs of each side of each benchmark; the best one is reported
    // Runs of the short benchmarks (locate, scan, the queries): more of them, as they are cheap
    // and the noise of a shared machine is large.
    int shortRuns() const { return 2 * repeat + 1; }
    bool sqlite = true;             // false: only our engine (profiling)
    bool engine = true;             // false: only SQLite
    std::vector<std::string> only;  // benchmark names to run; empty = all
    bool keep = false;  // leave the data directory in place (for looking at it afterwards)
    bool wants(std::string_view name) const;
    std::size_t scaled(std::size_t n) const;
};

// Nanoseconds per operation of each run of one side.
struct Samples {
    std::vector<double> wall, cpu;
    bool empty() const { return wall.empty(); }
};

struct Result {
    std::string name;
    Samples pulpex, sqlite;
    bool pulpexAvailable = true;
};

double best(const std::vector<double>& v);
double median(std::vector<double> v);

// Wall-clock time, and the CPU time of the calling thread (less disturbed by other work on the
// machine, but blind to waits for the disk).
class Stopwatch {
  public:
    Stopwatch() : start_(std::chrono::steady_clock::now()), cpuStart_(cpuNow()) {}
    double elapsedNs() const {
        return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start_)
            .count();
    }
    double cpuNs() const { return cpuNow() - cpuStart_; }

  private:
    static double cpuNow() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
    }
    std::chrono::steady_clock::time_point start_;
    double cpuStart_;
};

// Adds one run of `ops` operations timed by `sw` (stopped now).
void addRun(Samples& s, const Stopwatch& sw, double ops);
// "#   <who> best ... median ... ns/<unit> (cpu best ...) (n runs)"
void report(const char* who, const Samples& s, const char* unit);

// A directory made by mkdtemp under /tmp, removed with everything in it on destruction.
class TempDir {
  public:
    explicit TempDir(bool keep = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // A fresh subdirectory (removed with the rest).
    std::string subdir(const std::string& name) const;

  private:
    std::string path_;
    bool keep_;
};

// --- Data

// One event row of ZDARZ. Text is UTF-8 with Polish letters; every string fits its field.
struct EventRow {
    std::int64_t id = 0;
    std::string nmr, smb, odb;
    engine::Date dat;
    bool pol = false;
    std::int64_t dop = 0, adr = 0;
    std::string tre;       // letter text for about one row in five, else empty
    std::string opis;      // short description, every row
    std::int64_t typ = 0;  // 1..6, uniform
};

// Row `id` (1-based) of the event table; the same id always gives the same row.
EventRow eventRow(std::int64_t id);

struct LinkRow {
    std::int64_t id = 0, ids = 0, esz = 0;
};

// The link table REL_SZD: `count` links from cases to events of a `events`-row ZDARZ. Case
// `bigCase` gets `bigLinks` distinct events; the other links go to cases 1..count/10 (about
// ten events each).
std::vector<LinkRow> linkRows(std::size_t count, std::size_t events, std::int64_t bigCase,
                              std::size_t bigLinks);

inline constexpr std::int64_t kBigCase = 123456;

// Small deterministic generator (splitmix64).
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }

  private:
    std::uint64_t s_;
};

// --- Our engine

std::vector<engine::FieldDef> eventFields();
std::vector<engine::IndexDef> eventIndexes();
std::vector<engine::FieldDef> linkFields();
std::vector<engine::IndexDef> linkIndexes();

// Field numbers of ZDARZ, resolved once per table.
struct EventFieldNos {
    int id, nmr, smb, odb, dat, pol, dop, adr, tre, opis, typ;
    explicit EventFieldNos(const engine::Cursor& c);
};

void setEventFields(engine::Table& t, const EventFieldNos& f, const EventRow& r);

// Creates `dir`/ZDARZ.DBF with rows 1..n the fast way (exclusive, tags built at the end).
void buildEngineEvents(const std::string& dir, std::size_t n);
void buildEngineLinks(const std::string& dir, const std::vector<LinkRow>& links);

// --- SQLite

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, SqliteCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Opens (creating) a file database in WAL mode with synchronous=NORMAL, read through mmap.
Db openSqlite(const std::string& file);
void exec(sqlite3* db, const std::string& sql);
Stmt prepare(sqlite3* db, std::string_view sql);
[[noreturn]] void sqliteFail(sqlite3* db, const std::string& what);

void createSqliteEvents(sqlite3* db);  // table and the same two indexes as the engine's tags
inline constexpr const char* kInsertEvent =
    "INSERT INTO ZDARZ(ID, ZD_NMR, ZD_SMB, ZD_ODB, ZD_DAT, ZD_POL, ZD_DOP, ZD_ADR, ZD_TRE, "
    "ZD_OPIS, ZD_TYP) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";
void bindEvent(sqlite3_stmt* s, const EventRow& r);
void stepDone(sqlite3* db, sqlite3_stmt* s);

// Builds the tables in one transaction, indexes created after the rows.
void buildSqliteEvents(sqlite3* db, std::size_t n);
void buildSqliteLinks(sqlite3* db, const std::vector<LinkRow>& links);

// --- Benchmarks (each runs both sides several times, interleaved)

// Prepared data shared by the benchmarks: built lazily, once per size.
class Data {
  public:
    Data(const Options& opts, const TempDir& tmp) : opts_(opts), tmp_(tmp) {}
    std::size_t bigRows() const { return opts_.scaled(1'000'000); }
    std::size_t smallRows() const { return opts_.scaled(100'000); }
    std::size_t links() const { return opts_.scaled(100'000); }
    std::size_t bigCaseLinks() const { return opts_.scaled(1'000); }
    // Directory with ZDARZ.DBF of bigRows() rows, and the SQLite file with the same rows.
    const std::string& bigDir();
    const std::string& bigSqlite();
    // Directory with ZDARZ.DBF of smallRows() rows and REL_SZD.DBF, and the SQLite file.
    const std::string& smallDir();
    const std::string& smallSqlite();

  private:
    void buildBig();
    void buildSmall();
    const Options& opts_;
    const TempDir& tmp_;
    std::string bigDir_, bigSqlite_, smallDir_, smallSqlite_;
};

Result benchAppend(const Options& opts, const TempDir& tmp);
Result benchLocate(const Options& opts, Data& data);
Result benchScan(const Options& opts, Data& data);
Result benchEventList(const Options& opts, Data& data);
Result benchJoin(const Options& opts, Data& data);
// The case's events narrowed by the cases window's date filter.
Result benchJoinDated(const Options& opts, Data& data);
// The register's search and the event list's first screen, on tables of the program's own
// layout (bench/search_bench.cpp).
Result benchEventSearch(const Options& opts, const TempDir& tmp);
Result benchEventListOpen(const Options& opts, const TempDir& tmp);

// Keeps the compiler from dropping reads whose results are otherwise unused.
void consume(std::uint64_t v);

}  // namespace pulpex::bench
