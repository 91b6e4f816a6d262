// eventsearch and eventlist_open: the register's "Szuka&j" and the first screen of its event
// list, on the tables as the program creates them (ZDARZ with its ZDARZ_ID tag only, PISMA with
// PISM_ID and ZDARZ_ID), against native SQLite tables holding the same rows.
//
// eventsearch: one op is one whole search for a word over 100,000 events (about 1 KB of content
// each) and 50,000 documents (about 2 KB of recognised text each). Ours: SzukajZdarzen, which
// folds case and, in recognised text, Polish diacritics. SQLite: `LIKE '%word%'` over the same
// five event texts and the recognised text, which folds ASCII case only.
//
// eventlist_open: one op is the event list's query opened and its first screen of rows (30)
// read.

#include <QSet>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "bench.h"
#include "documents/pisma.h"
#include "register/search.h"
#include "register/zdarzen.h"
#include "tables/engine/query.h"

namespace pulpex::bench {

namespace eng = pulpex::engine;

namespace {

constexpr std::size_t kScreenRows = 30;
constexpr const char* kEventListQuery =
    "select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ Where ZD_TYP in ( 1,2,3 )  order by "
    "ZD_DAT, ID";
// Searched: occurs in about one text in a thousand, in recognised text also without its marks.
constexpr const char* kWord = "przyłączenie";

constexpr std::array kSentences = {
    "Szanowni Państwo, w odpowiedzi na pismo z dnia ubiegłego uprzejmie informujemy, że sprawa "
    "została przekazana do rozpatrzenia właściwemu wydziałowi. ",
    "O sposobie załatwienia sprawy zostaną Państwo powiadomieni odrębnym pismem w terminie nie "
    "dłuższym niż miesiąc od dnia jego otrzymania. ",
    "Jednocześnie prosimy o uzupełnienie wniosku o brakujące załączniki: kopię dowodu wpłaty, "
    "pełnomocnictwo oraz mapę sytuacyjną. ",
    "Zgodnie z uchwałą rady gminy opłata za wywóz odpadów komunalnych wzrośnie od pierwszego "
    "dnia kwartału. ",
    "W załączeniu przesyłamy protokół z posiedzenia komisji oraz harmonogram prac remontowych "
    "świetlicy wiejskiej. ",
    "Uprzejmie prosimy o wyjaśnienie rozbieżności w rozliczeniu podatku od nieruchomości za "
    "ubiegły rok. ",
    "Informujemy, że termin składania ofert w przetargu na budowę drogi gminnej upływa z końcem "
    "miesiąca. ",
    "Zwracamy się z prośbą o udostępnienie akt sprawy dotyczącej podziału działki ewidencyjnej. ",
};
constexpr const char* kRare = "Wniosek o przyłączenie do sieci kanalizacyjnej. ";

// Text of about `bytes` bytes made of the sentences; one text in a thousand holds the word.
std::string letterText(Rng& g, std::size_t bytes) {
    std::string s;
    std::size_t rareAt = g.below(1000) == 0 ? g.below(bytes / 120 + 1) : std::string::npos;
    for (std::size_t k = 0; s.size() < bytes; ++k) {
        if (k == rareAt) s += kRare;
        s += kSentences[g.below(kSentences.size())];
    }
    return s;
}

// What recognition makes of a page: capitals, and the Polish marks mostly lost.
std::string recognisedText(Rng& g, std::size_t bytes) {
    std::string in = letterText(g, bytes), out;
    QString q = QString::fromStdString(in).toUpper();
    if (g.below(2) == 0) {
        static const QString from = QStringLiteral("ĄĆĘŁŃÓŚŹŻ"), to = QStringLiteral("ACELNOSZZ");
        for (QChar& c : q) {
            const qsizetype i = from.indexOf(c);
            if (i >= 0) c = to[i];
        }
    }
    return q.toStdString();
}

struct SearchData {
    std::string dir, sqlite;
    std::size_t events = 0, documents = 0;
};

void buildSearchData(const Options& opts, const TempDir& tmp, SearchData& d) {
    Stopwatch sw;
    d.dir = tmp.subdir("register");
    d.sqlite = tmp.path() + "/register.sqlite";
    d.events = opts.scaled(100'000);
    d.documents = opts.scaled(50'000);
    TTbl_Zdarzenia zdarz;
    TTbl_Pisma pisma;
    const std::string zPath = d.dir + "/ZDARZ.DBF", pPath = d.dir + "/PISMA.DBF";
    std::unique_ptr<eng::Table> zt, pt;
    if (opts.engine) {
        eng::Table::create(zPath, zdarz.EngineFieldDefs());
        eng::Table::create(pPath, pisma.EngineFieldDefs());
        zt = eng::Table::open(zPath, {.exclusive = true});
        pt = eng::Table::open(pPath, {.exclusive = true});
    }
    Db db;
    Stmt insE, insP;
    if (opts.sqlite) {
        db = openSqlite(d.sqlite);
        exec(db.get(),
             "CREATE TABLE ZDARZ(ID INTEGER, ZD_NMR TEXT, ZD_SMB TEXT, ZD_ODB TEXT, ZD_DAT TEXT, "
             "ZD_POL INTEGER, ZD_DOP INTEGER, ZD_ADR INTEGER, ZD_TRE TEXT, ZD_OPIS TEXT, "
             "ZD_TYP INTEGER)");
        exec(db.get(),
             "CREATE TABLE PISMA(ID INTEGER, ZDARZ_ID INTEGER, PIS_OLE BLOB, PIS_TYP INTEGER, "
             "PIS_IDX TEXT, PIS_REX INTEGER, PIS_REY INTEGER)");
        exec(db.get(), "BEGIN");
        insE = prepare(db.get(), kInsertEvent);
        insP = prepare(db.get(),
                       "INSERT INTO PISMA(ID, ZDARZ_ID, PIS_TYP, PIS_IDX, PIS_REX, PIS_REY) "
                       "VALUES (?1, ?2, 0, ?3, 300, 300)");
    }
    std::unique_ptr<EventFieldNos> f;
    if (zt) f = std::make_unique<EventFieldNos>(*zt);
    for (std::size_t i = 1; i <= d.events; ++i) {
        EventRow r = eventRow(static_cast<std::int64_t>(i));
        r.typ = 1 + static_cast<std::int64_t>(i % 3);  // the register holds kinds 1 to 3 only
        Rng g(i * 7919);
        r.tre = letterText(g, 900 + g.below(250));
        if (zt) {
            zt->append();
            setEventFields(*zt, *f, r);
            zt->post();
        }
        if (db) {
            bindEvent(insE.get(), r);
            stepDone(db.get(), insE.get());
        }
    }
    for (std::size_t i = 1; i <= d.documents; ++i) {
        Rng g(i * 104729 + 1);
        const auto owner = static_cast<std::int64_t>(1 + g.below(d.events));
        const std::string text = recognisedText(g, 1800 + g.below(450));
        if (pt) {
            pt->append();
            pt->setInteger("ID", static_cast<std::int64_t>(i));
            pt->setInteger("ZDARZ_ID", owner);
            pt->setInteger("PIS_TYP", 0);
            pt->setString("PIS_IDX", text);
            pt->setInteger("PIS_REX", 300);
            pt->setInteger("PIS_REY", 300);
            pt->post();
        }
        if (db) {
            sqlite3_bind_int64(insP.get(), 1, static_cast<std::int64_t>(i));
            sqlite3_bind_int64(insP.get(), 2, owner);
            sqlite3_bind_text(insP.get(), 3, text.data(), static_cast<int>(text.size()),
                              SQLITE_STATIC);
            stepDone(db.get(), insP.get());
        }
    }
    if (zt) {
        for (const auto& ix : zdarz.EngineIndexDefs())
            zt->addIndex(ix);
        for (const auto& ix : pisma.EngineIndexDefs())
            pt->addIndex(ix);
    }
    if (db) {
        insE.reset();
        insP.reset();
        exec(db.get(), "COMMIT");
        // The same indexes as the tags.
        exec(db.get(), "CREATE INDEX ZDARZ_ID ON ZDARZ(ID)");
        exec(db.get(), "CREATE INDEX PISM_ID ON PISMA(ID)");
        exec(db.get(), "CREATE INDEX PISMA_ZDARZ_ID ON PISMA(ZDARZ_ID)");
        exec(db.get(), "ANALYZE");
        exec(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
    }
    std::printf("# built %zu-row ZDARZ and %zu-row PISMA with their tags only in %.1f s\n",
                d.events, d.documents, sw.elapsedNs() / 1e9);
    std::fflush(stdout);
}

SearchData& searchData(const Options& opts, const TempDir& tmp) {
    static SearchData d;
    if (d.dir.empty()) buildSearchData(opts, tmp, d);
    return d;
}

[[gnu::noinline]] std::vector<std::int64_t> searchSqlite(sqlite3* db, const std::string& word) {
    Stmt s = prepare(db,
                     "SELECT ID FROM ZDARZ WHERE ZD_NMR LIKE ?1 OR ZD_SMB LIKE ?1 OR ZD_ODB LIKE "
                     "?1 OR ZD_TRE LIKE ?1 OR ZD_OPIS LIKE ?1 "
                     "UNION SELECT ZDARZ_ID FROM PISMA WHERE PIS_IDX LIKE ?1 OR PIS_OLE LIKE ?1");
    const std::string pattern = "%" + word + "%";
    sqlite3_bind_text(s.get(), 1, pattern.data(), static_cast<int>(pattern.size()), SQLITE_STATIC);
    std::vector<std::int64_t> ids;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(s.get(), 0));
    if (rc != SQLITE_DONE) sqliteFail(db, "eventsearch");
    return ids;
}

[[gnu::noinline]] std::size_t searchEngine(const std::string& dir, const std::string& word) {
    auto r = SzukajZdarzen(QString::fromStdString(dir), QString::fromStdString(word));
    if (!r) throw std::runtime_error("eventsearch: stopped");
    return static_cast<std::size_t>(r->size());
}

}  // namespace

Result benchEventSearch(const Options& opts, const TempDir& tmp) {
    SearchData& d = searchData(opts, tmp);
    Db db;
    if (opts.sqlite) db = openSqlite(d.sqlite);
    std::printf("# eventsearch: \"%s\" over %zu events and %zu documents\n", kWord, d.events,
                d.documents);
    Result res{"eventsearch", {}, {}};
    std::size_t ours = 0, theirs = 0;
    const int runs = opts.repeat;
    for (int r = 0; r < runs; ++r) {
        if (opts.engine) {
            Stopwatch sw;
            ours = searchEngine(d.dir, kWord);
            addRun(res.pulpex, sw, 1);
        }
        if (opts.sqlite) {
            Stopwatch sw;
            std::vector<std::int64_t> ids = searchSqlite(db.get(), kWord);
            addRun(res.sqlite, sw, 1);
            theirs = ids.size();
        }
    }
    // The SQLite side misses the capitals and the words recognised without their marks, so it
    // finds fewer; everything it finds must be among ours.
    std::printf("#   events found: pulpex %zu, sqlite %zu (case and diacritics kept)\n", ours,
                theirs);
    if (opts.engine && opts.sqlite && theirs > ours)
        throw std::runtime_error("eventsearch: SQLite found more events than the search");
    report("pulpex", res.pulpex, "search");
    report("sqlite", res.sqlite, "search");
    return res;
}

Result benchEventListOpen(const Options& opts, const TempDir& tmp) {
    SearchData& d = searchData(opts, tmp);
    Db db;
    if (opts.sqlite) db = openSqlite(d.sqlite);
    std::printf("# eventlist_open: %zu-row ZDARZ (tag ZDARZ_ID only), first %zu rows of%s\n",
                d.events, kScreenRows, kEventListQuery);
    Result res{"eventlist_open", {}, {}};
    std::int64_t ourSum = 0, theirSum = 0;
    for (int r = 0; r < opts.shortRuns(); ++r) {
        if (opts.engine) {
            Stopwatch sw;
            eng::Query q(d.dir);
            q.setSql(kEventListQuery);
            q.open();
            std::int64_t sum = 0;
            std::size_t n = 0;
            for (q.first(); !q.eof() && n < kScreenRows; q.next(), ++n) {
                std::string nmr = q.asString(0);
                eng::Date dat = q.asDate(1);
                std::string smb = q.asString(2);
                sum = sum * 31 + q.asInteger(4) + q.asInteger(3) + dat.day +
                      static_cast<std::int64_t>(nmr.size() + smb.size());
            }
            addRun(res.pulpex, sw, 1);
            ourSum = sum;
        }
        if (opts.sqlite) {
            Stopwatch sw;
            Stmt s = prepare(db.get(), kEventListQuery);
            std::int64_t sum = 0;
            std::size_t n = 0;
            while (n < kScreenRows && sqlite3_step(s.get()) == SQLITE_ROW) {
                const auto* nmr = sqlite3_column_text(s.get(), 0);
                std::string nmrS(nmr ? reinterpret_cast<const char*>(nmr) : "");
                const auto* dat = sqlite3_column_text(s.get(), 1);
                eng::Date date = eng::Date::parse(dat ? reinterpret_cast<const char*>(dat) : "");
                const auto* smb = sqlite3_column_text(s.get(), 2);
                std::string smbS(smb ? reinterpret_cast<const char*>(smb) : "");
                sum = sum * 31 + sqlite3_column_int64(s.get(), 4) +
                      sqlite3_column_int64(s.get(), 3) + date.day +
                      static_cast<std::int64_t>(nmrS.size() + smbS.size());
                ++n;
            }
            s.reset();
            addRun(res.sqlite, sw, 1);
            theirSum = sum;
        }
    }
    if (opts.engine && opts.sqlite && ourSum != theirSum)
        throw std::runtime_error("eventlist_open: the first rows differ");
    report("pulpex", res.pulpex, "open");
    report("sqlite", res.sqlite, "open");
    return res;
}

}  // namespace pulpex::bench
