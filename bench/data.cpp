#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <unordered_set>

#include "bench.h"

namespace pulpex::bench {

namespace eng = pulpex::engine;

bool Options::wants(std::string_view name) const {
    return only.empty() || std::find(only.begin(), only.end(), name) != only.end();
}

std::size_t Options::scaled(std::size_t n) const {
    return std::max<std::size_t>(1, static_cast<std::size_t>(std::llround(n * scale)));
}

double best(const std::vector<double>& v) {
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

void addRun(Samples& s, const Stopwatch& sw, double ops) {
    const double wall = sw.elapsedNs(), cpu = sw.cpuNs();
    s.wall.push_back(wall / ops);
    s.cpu.push_back(cpu / ops);
}

void report(const char* who, const Samples& s, const char* unit) {
    if (s.empty()) return;
    std::printf("#   %-6s best %12.1f  median %12.1f ns/%s  (cpu best %.1f, %zu runs)\n", who,
                best(s.wall), median(s.wall), unit, best(s.cpu), s.wall.size());
}

namespace {
volatile std::uint64_t sink;
}
void consume(std::uint64_t v) {
    sink = sink + v;
}

// --- Temporary directory

TempDir::TempDir(bool keep) : keep_(keep) {
    char tmpl[] = "/tmp/pulpex-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    if (keep_) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::subdir(const std::string& name) const {
    std::string p = path_ + "/" + name;
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p;
}

// --- Rows

namespace {

// Every string is at most 25 characters, so the fixed-width fields keep it whole and both
// engines hold the same text.
constexpr std::array kSenders = {
    "Urząd Miasta Kraków",  "Starostwo Powiatowe",   "Jan Kowalski",        "Anna Nowak",
    "ZUS Oddział w Łodzi",  "Urząd Skarbowy Gdańsk", "Sąd Rejonowy Poznań", "Gmina Żółkiewka",
    "Piotr Wiśniewski",     "Wojewoda Mazowiecki",   "Spółdzielnia Świt",   "Katarzyna Wójcik",
    "PGE Dystrybucja S.A.", "Poczta Polska S.A.",    "Marek Kamiński",      "Fundacja Ćma",
    "Zakład Energetyczny",  "Urząd Gminy Łęczna",
};
constexpr std::array kSymbols = {"OR", "KA", "FN", "GK", "RG", "OŚ", "SO", "ZP"};
constexpr std::array kSubjects = {
    "Pismo w sprawie",  "Wniosek o",      "Odpowiedź na",      "Zawiadomienie o",
    "Skarga dotycząca", "Zaproszenie na", "Decyzja w sprawie", "Faktura za",
};
constexpr std::array kTopics = {
    "wydania zaświadczenia", "zmiany adresu",   "przetargu na drogę", "opłaty za wodę",
    "posiedzenie komisji",   "usługi pocztowe", "zwrot podatku",      "remont świetlicy",
    "udostępnienia akt",     "dotacji celowej", "wycinki drzew",      "planu zagospodarowania",
};

constexpr std::string_view kLetter =
    "Szanowni Państwo, w odpowiedzi na pismo z dnia ubiegłego uprzejmie informujemy, że sprawa "
    "została przekazana do rozpatrzenia właściwemu wydziałowi. O sposobie załatwienia sprawy "
    "zostaną Państwo powiadomieni odrębnym pismem w terminie nie dłuższym niż miesiąc od dnia "
    "jego otrzymania. Jednocześnie prosimy o uzupełnienie wniosku o brakujące załączniki: "
    "kopię dowodu wpłaty, pełnomocnictwo oraz mapę sytuacyjną. Z poważaniem, Sekretariat.";

}  // namespace

EventRow eventRow(std::int64_t id) {
    Rng g(static_cast<std::uint64_t>(id) * 0x2545F4914F6CDD1Dull + 17);
    EventRow r;
    r.id = id;
    char buf[64];
    const int year = 2010 + static_cast<int>(g.below(15));
    std::snprintf(buf, sizeof buf, "%lld/%d", static_cast<long long>(id), year);
    r.nmr = buf;
    std::snprintf(buf, sizeof buf, "%s.%04d.%d.%d", kSymbols[g.below(kSymbols.size())],
                  static_cast<int>(g.below(10000)), static_cast<int>(1 + g.below(99)), year);
    r.smb = buf;
    r.odb = kSenders[g.below(kSenders.size())];
    r.dat = eng::Date::fromJulianDay(eng::Date{2010, 1, 1}.julianDay() +
                                     static_cast<std::int64_t>(g.below(15 * 365)));
    r.pol = g.below(2) == 1;
    r.dop = static_cast<std::int64_t>(g.below(4));
    r.adr = static_cast<std::int64_t>(1 + g.below(20000));
    if (g.below(5) == 0) {
        // A prefix of the letter, cut before a character (not inside its UTF-8 bytes).
        std::size_t len = 200 + g.below(kLetter.size() - 200);
        while (len < kLetter.size() && (static_cast<unsigned char>(kLetter[len]) & 0xC0) == 0x80)
            ++len;
        r.tre = std::string(kLetter.substr(0, len));
    }
    r.opis =
        std::string(kSubjects[g.below(kSubjects.size())]) + " " + kTopics[g.below(kTopics.size())];
    r.typ = static_cast<std::int64_t>(1 + g.below(6));
    return r;
}

std::vector<LinkRow> linkRows(std::size_t count, std::size_t events, std::int64_t bigCase,
                              std::size_t bigLinks) {
    std::vector<LinkRow> out;
    out.reserve(count);
    Rng g(42);
    bigLinks = std::min({bigLinks, count, events});
    // The big case's events: distinct, spread over the table.
    std::unordered_set<std::int64_t> seen;
    std::vector<std::int64_t> big;
    while (big.size() < bigLinks) {
        auto e = static_cast<std::int64_t>(1 + g.below(events));
        if (seen.insert(e).second) big.push_back(e);
    }
    const std::uint64_t cases = std::max<std::size_t>(1, count / 10);
    // Interleave the big case's links with the others, as they would arrive over the years.
    const std::size_t every = std::max<std::size_t>(1, count / std::max<std::size_t>(1, bigLinks));
    std::size_t b = 0;
    for (std::size_t i = 0; i < count; ++i) {
        LinkRow l;
        l.id = static_cast<std::int64_t>(i + 1);
        if (b < big.size() && (i % every == 0 || count - i <= big.size() - b)) {
            l.ids = bigCase;
            l.esz = big[b++];
        } else {
            l.ids = static_cast<std::int64_t>(1 + g.below(cases));
            l.esz = static_cast<std::int64_t>(1 + g.below(events));
        }
        out.push_back(l);
    }
    return out;
}

// --- Our engine

std::vector<eng::FieldDef> eventFields() {
    using T = eng::FieldType;
    return {
        {"ID", T::Integer, 0},     {"ZD_NMR", T::String, 25}, {"ZD_SMB", T::String, 25},
        {"ZD_ODB", T::String, 25}, {"ZD_DAT", T::Date, 0},    {"ZD_POL", T::Boolean, 0},
        {"ZD_DOP", T::Integer, 0}, {"ZD_ADR", T::Integer, 0}, {"ZD_TRE", T::Memo, 10},
        {"ZD_OPIS", T::Memo, 10},  {"ZD_TYP", T::Integer, 0},
    };
}

std::vector<eng::IndexDef> eventIndexes() {
    return {{"ZDARZ_ID", "ID"}, {"ZD_DAT", "ZD_DAT"}};
}

std::vector<eng::FieldDef> linkFields() {
    using T = eng::FieldType;
    return {{"ID", T::Integer, 0}, {"RSZ_IDS", T::Integer, 0}, {"ESZ_ZD", T::Integer, 0}};
}

std::vector<eng::IndexDef> linkIndexes() {
    return {{"RSZ_ID", "ID"}, {"RSZ_IDX2", "str(RSZ_IDS) + str(ESZ_ZD)"}, {"ESZ_ZD", "ESZ_ZD"}};
}

EventFieldNos::EventFieldNos(const eng::Cursor& c)
    : id(c.fieldNo("ID")),
      nmr(c.fieldNo("ZD_NMR")),
      smb(c.fieldNo("ZD_SMB")),
      odb(c.fieldNo("ZD_ODB")),
      dat(c.fieldNo("ZD_DAT")),
      pol(c.fieldNo("ZD_POL")),
      dop(c.fieldNo("ZD_DOP")),
      adr(c.fieldNo("ZD_ADR")),
      tre(c.fieldNo("ZD_TRE")),
      opis(c.fieldNo("ZD_OPIS")),
      typ(c.fieldNo("ZD_TYP")) {}

void setEventFields(eng::Table& t, const EventFieldNos& f, const EventRow& r) {
    t.setInteger(f.id, r.id);
    t.setString(f.nmr, r.nmr);
    t.setString(f.smb, r.smb);
    t.setString(f.odb, r.odb);
    t.setDate(f.dat, r.dat);
    t.setBoolean(f.pol, r.pol);
    t.setInteger(f.dop, r.dop);
    t.setInteger(f.adr, r.adr);
    if (!r.tre.empty()) t.setString(f.tre, r.tre);
    t.setString(f.opis, r.opis);
    t.setInteger(f.typ, r.typ);
}

void buildEngineEvents(const std::string& dir, std::size_t n) {
    const std::string path = dir + "/ZDARZ.DBF";
    eng::Table::create(path, eventFields());
    auto t = eng::Table::open(path, {.exclusive = true});
    EventFieldNos f(*t);
    for (std::size_t i = 1; i <= n; ++i) {
        t->append();
        setEventFields(*t, f, eventRow(static_cast<std::int64_t>(i)));
        t->post();
    }
    for (const auto& ix : eventIndexes())
        t->addIndex(ix);
}

void buildEngineLinks(const std::string& dir, const std::vector<LinkRow>& links) {
    const std::string path = dir + "/REL_SZD.DBF";
    eng::Table::create(path, linkFields());
    auto t = eng::Table::open(path, {.exclusive = true});
    const int id = t->fieldNo("ID"), ids = t->fieldNo("RSZ_IDS"), esz = t->fieldNo("ESZ_ZD");
    for (const auto& l : links) {
        t->append();
        t->setInteger(id, l.id);
        t->setInteger(ids, l.ids);
        t->setInteger(esz, l.esz);
        t->post();
    }
    for (const auto& ix : linkIndexes())
        t->addIndex(ix);
}

// --- SQLite

void sqliteFail(sqlite3* db, const std::string& what) {
    throw std::runtime_error("SQLite: " + what + ": " + (db ? sqlite3_errmsg(db) : "?"));
}

Db openSqlite(const std::string& file) {
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) sqliteFail(raw, "open " + file);
    exec(db.get(), "PRAGMA journal_mode=WAL");
    exec(db.get(), "PRAGMA synchronous=NORMAL");
    // Reads through a memory mapping of the file, as our engine reads its tables: without it
    // every page missing from SQLite's 2 MB page cache costs a pread. 1 GiB covers every
    // database made here.
    exec(db.get(), "PRAGMA mmap_size=1073741824");
    return db;
}

void exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "?";
        sqlite3_free(err);
        throw std::runtime_error("SQLite: " + sql + ": " + msg);
    }
}

Stmt prepare(sqlite3* db, std::string_view sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &s, nullptr) != SQLITE_OK)
        sqliteFail(db, "prepare " + std::string(sql));
    return Stmt(s);
}

namespace {
void createEventTable(sqlite3* db) {
    exec(db,
         "CREATE TABLE ZDARZ(ID INTEGER, ZD_NMR TEXT, ZD_SMB TEXT, ZD_ODB TEXT, ZD_DAT TEXT, "
         "ZD_POL INTEGER, ZD_DOP INTEGER, ZD_ADR INTEGER, ZD_TRE TEXT, ZD_OPIS TEXT, "
         "ZD_TYP INTEGER)");
}
void createEventIndexes(sqlite3* db) {
    exec(db, "CREATE INDEX ZDARZ_ID ON ZDARZ(ID)");
    exec(db, "CREATE INDEX ZD_DAT ON ZDARZ(ZD_DAT)");
}
void bindText(sqlite3_stmt* s, int i, const std::string& v) {
    if (v.empty())
        sqlite3_bind_null(s, i);
    else
        sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
}
}  // namespace

void createSqliteEvents(sqlite3* db) {
    createEventTable(db);
    createEventIndexes(db);
}

void bindEvent(sqlite3_stmt* s, const EventRow& r) {
    // Dates travel as ISO text, as they do through our SQL layer.
    thread_local std::string date;
    date = r.dat.iso();
    sqlite3_bind_int64(s, 1, r.id);
    bindText(s, 2, r.nmr);
    bindText(s, 3, r.smb);
    bindText(s, 4, r.odb);
    bindText(s, 5, date);
    sqlite3_bind_int(s, 6, r.pol ? 1 : 0);
    sqlite3_bind_int64(s, 7, r.dop);
    sqlite3_bind_int64(s, 8, r.adr);
    bindText(s, 9, r.tre);
    bindText(s, 10, r.opis);
    sqlite3_bind_int64(s, 11, r.typ);
}

void stepDone(sqlite3* db, sqlite3_stmt* s) {
    if (sqlite3_step(s) != SQLITE_DONE) sqliteFail(db, "step");
    sqlite3_reset(s);
}

void buildSqliteEvents(sqlite3* db, std::size_t n) {
    createEventTable(db);
    exec(db, "BEGIN");
    Stmt ins = prepare(db, kInsertEvent);
    for (std::size_t i = 1; i <= n; ++i) {
        EventRow r = eventRow(static_cast<std::int64_t>(i));
        bindEvent(ins.get(), r);
        stepDone(db, ins.get());
    }
    exec(db, "COMMIT");
    createEventIndexes(db);
    exec(db, "ANALYZE");
}

void buildSqliteLinks(sqlite3* db, const std::vector<LinkRow>& links) {
    exec(db, "CREATE TABLE REL_SZD(ID INTEGER, RSZ_IDS INTEGER, ESZ_ZD INTEGER)");
    exec(db, "BEGIN");
    Stmt ins = prepare(db, "INSERT INTO REL_SZD(ID, RSZ_IDS, ESZ_ZD) VALUES (?1, ?2, ?3)");
    for (const auto& l : links) {
        sqlite3_bind_int64(ins.get(), 1, l.id);
        sqlite3_bind_int64(ins.get(), 2, l.ids);
        sqlite3_bind_int64(ins.get(), 3, l.esz);
        stepDone(db, ins.get());
    }
    exec(db, "COMMIT");
    exec(db, "CREATE INDEX RSZ_ID ON REL_SZD(ID)");
    exec(db, "CREATE INDEX RSZ_IDX2 ON REL_SZD(RSZ_IDS, ESZ_ZD)");
    exec(db, "CREATE INDEX ESZ_ZD ON REL_SZD(ESZ_ZD)");
    exec(db, "ANALYZE");
}

// --- Shared data sets

void Data::buildBig() {
    if (!bigDir_.empty()) return;
    Stopwatch sw;
    bigDir_ = tmp_.subdir("big");
    bigSqlite_ = tmp_.path() + "/big.sqlite";
    if (opts_.engine) buildEngineEvents(bigDir_, bigRows());
    if (opts_.sqlite) {
        Db db = openSqlite(bigSqlite_);
        buildSqliteEvents(db.get(), bigRows());
        exec(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
    }
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(bigSqlite_, ec);
    std::printf("# built %zu-row ZDARZ in %.1f s (SQLite file %.0f MB)\n", bigRows(),
                sw.elapsedNs() / 1e9, ec ? 0.0 : static_cast<double>(bytes) / 1e6);
    std::fflush(stdout);
}

void Data::buildSmall() {
    if (!smallDir_.empty()) return;
    Stopwatch sw;
    smallDir_ = tmp_.subdir("small");
    smallSqlite_ = tmp_.path() + "/small.sqlite";
    auto rel = linkRows(links(), smallRows(), kBigCase, bigCaseLinks());
    if (opts_.engine) {
        buildEngineEvents(smallDir_, smallRows());
        buildEngineLinks(smallDir_, rel);
    }
    if (opts_.sqlite) {
        Db db = openSqlite(smallSqlite_);
        buildSqliteEvents(db.get(), smallRows());
        buildSqliteLinks(db.get(), rel);
        exec(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
    }
    std::printf("# built %zu-row ZDARZ and %zu-row REL_SZD in %.1f s\n", smallRows(), rel.size(),
                sw.elapsedNs() / 1e9);
    std::fflush(stdout);
}

const std::string& Data::bigDir() {
    buildBig();
    return bigDir_;
}
const std::string& Data::bigSqlite() {
    buildBig();
    return bigSqlite_;
}
const std::string& Data::smallDir() {
    buildSmall();
    return smallDir_;
}
const std::string& Data::smallSqlite() {
    buildSmall();
    return smallSqlite_;
}

}  // namespace pulpex::bench
