#include <gtest/gtest.h>

#include <QByteArray>
#include <QSet>
#include <QStringList>
#include <cstddef>
#include <vector>

#include "cases/rel_s_z.h"
#include "documents/pisma.h"
#include "register/search.h"
#include "register/zdarzen.h"
#include "support/testenv.h"
#include "tables/engine/codepage.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

// ZDARZ and PISMA in a test installation, reachable through the catalogue as the per-event
// match test needs them.
struct Register {
    // `driver` 0: the tables as the program creates them; otherwise ZDARZ and PISMA in the code
    // page of that language driver, as an old installation may have them.
    explicit Register(std::uint8_t driver = 0) {
        for (TOT_Table* t : std::initializer_list<TOT_Table*>{&zdarz, &rel, &pisma}) {
            if (driver == 0 || t == &rel)
                t->CreateTableSelf();
            else
                engine::Table::create(u8(t->TableFileName()), t->EngineFieldDefs(),
                                      t->EngineIndexDefs(), driver);
            t->Open();
        }
    }
    int addEvent(const QString& nmr, const QString& tre, const QString& opis = {},
                 const QString& smb = {}, const QString& odb = {}) {
        TRec_Zdarzenia e;
        e.ZD_NMR = nmr;
        e.ZD_SMB = smb;
        e.ZD_ODB = odb;
        if (!tre.isEmpty()) e.ZD_TRE.SetText(tre);
        if (!opis.isEmpty()) e.ZD_OPIS.SetText(opis);
        zdarz.OT_AddNew(e.ID, e);
        return e.ID;
    }
    void addDocument(int eventId, const QString& recognised, const QByteArray& ole = {}) {
        TRec_Pisma d;
        d.ZDARZ_ID = eventId;
        if (!recognised.isEmpty()) d.PIS_IDX.SetText(recognised);
        d.PIS_OLE.SetBytes(ole);
        pisma.OT_AddNew(d.ID, d);
    }
    // Bytes written straight into a memo, past what the record objects would store.
    void rawMemo(int eventId, const char* field, const QByteArray& bytes) {
        ASSERT_TRUE(zdarz.LocateID(eventId));
        engine::Table& t = zdarz.T();
        t.edit();
        t.writeBlob(field, std::as_bytes(std::span(bytes.constData(), bytes.size())));
        t.post();
    }
    // What the match test of every event says, one event at a time.
    QSet<int> oneByOne(const QString& text) {
        QSet<int> ids;
        engine::Table& t = zdarz.T();
        std::vector<int> all;
        for (t.first(); !t.eof(); t.next())
            all.push_back(static_cast<int>(t.asInteger("ID")));
        for (int id : all) {
            TRec_Zdarzenia rec;
            EXPECT_TRUE(zdarz.ReadRecordByID(id, rec));
            if (rec.CzyPasuje(text)) ids.insert(id);
        }
        return ids;
    }
    QSet<int> search(const QString& text) {
        std::optional<QSet<int>> r = SzukajZdarzen(env.dataDir(), text);
        EXPECT_TRUE(r.has_value());
        return r.value_or(QSet<int>{});
    }

    test::TestSystem env;
    TTbl_Zdarzenia zdarz;
    TTbl_RelSprZd rel;
    TTbl_Pisma pisma;
    test::GlobalRef<TTbl_Zdarzenia> g1{TblZdarzenia, &zdarz};
    test::GlobalRef<TTbl_RelSprZd> g2{TblRelSprZd, &rel};
    test::GlobalRef<TTbl_Pisma> g3{TblPisma, &pisma};
};

// An OLE stream as a word processor leaves it: a binary header, and text whose letters are
// separated by control bytes, in CP1250.
QByteArray oleStream(const QByteArray& cp1250Text) {
    QByteArray ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\x00\x00", 10);
    for (char c : cp1250Text)
        ole.append(c).append('\x00').append('\x0D');
    ole.append("\x00\xFF\xFE\x7F", 4);
    return ole;
}

TEST(SzukajZdarzen, EqualsTheMatchTestOfEveryEvent) {
    Register r;
    const QString longLetter = QString("Szanowni Państwo, w odpowiedzi na pismo ").repeated(40) +
                               "ZAŻÓŁĆ GĘŚLĄ JAŹŃ na końcu długiego pisma";
    const int e1 = r.addEvent("KP/2024/1", "Wniosek o dzierżawę gruntu", "pilne");
    const int e2 = r.addEvent("KP/2024/2", longLetter, {}, "ŚR.0012", "SEKRETARIAT");
    const int e3 = r.addEvent("KW/2024/3", {}, "zazolc gesla jazn");  // no marks in own text
    const int e4 = r.addEvent("KW/2024/4", "Zaproszenie na zebranie");
    const int e5 = r.addEvent("IN/5", {}, "Łódź, ul. Żółkiewskiego");
    const int e6 = r.addEvent("IN/6", {});
    const int e7 = r.addEvent("IN/7", "Treść", "x");
    Q_UNUSED(e3);
    Q_UNUSED(e7);
    r.rawMemo(e6, "ZD_OPIS", QByteArray("widoczny\0ukryty tekst", 21));

    // Recognised text: diacritics lost by recognition, words only on a scanned page, a page
    // longer than a memo block, documents of one event not next to each other.
    r.addDocument(e4, "PROTOKOL ODBIORU ROBOT");
    r.addDocument(e1, "Faktura VAT nr 12");
    r.addDocument(e4, QString("strona skanu ").repeated(100) + "Gęślą zakończone");
    r.addDocument(99, "Dokument bez zdarzenia: Łódź");                    // its event is gone
    r.addDocument(e5, {}, oleStream("Aneks do umowy \xB3\xF3\x64\xBC"));  // "łódź" in CP1250
    r.addDocument(e6, {}, QByteArray("\x01\x02\x03", 3));                 // empty OLE text

    const QStringList texts = {
        "",
        "dzierżawę",
        "DZIERŻAWĘ",
        "dzierzawe",
        "zażółć",
        "ZAZOLC",
        "gęślą",
        "GESLA",
        "łódź",
        "ŁÓDŹ",
        "lodz",
        "protokół",
        "Protokol Odb",
        "aneks do",
        "aneksdo",
        "kp/2024",
        "śr.00",
        "kretar",
        "widoczny",
        "ukryty",
        "końcu dług",
        "faktura",
        "bez zdarzenia",
        "x",
        "ł",
        "nieobecne",
        "strona skanu strona",
        QString(300, QLatin1Char('a')),
    };
    for (const QString& t : texts)
        EXPECT_EQ(r.search(t), r.oneByOne(t)) << qPrintable(t);

    // The cases that matter, spelled out so that an equality of two wrong answers shows.
    EXPECT_EQ(r.search(""), (QSet<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(r.search("zażółć"), (QSet<int>{e2}));    // own text keeps its diacritics
    EXPECT_EQ(r.search("protokół"), (QSet<int>{e4}));  // recognised text ignores them
    EXPECT_EQ(r.search("gęślą"), (QSet<int>{e2, e4}));
    EXPECT_EQ(r.search("ŁÓDŹ"), (QSet<int>{e5}));  // own text and OLE; event 99 is gone
    EXPECT_EQ(r.search("aneks do"), (QSet<int>{e5}));
    EXPECT_EQ(r.search("ukryty"), QSet<int>{});  // after the memo's zero byte
    EXPECT_EQ(r.search("faktura"), (QSet<int>{e1}));
}

TEST(SzukajZdarzen, ReadsTablesOfAnotherCodePage) {
    Register r(0x64);  // CP852, where the Polish letters have other bytes than in CP1250
    ASSERT_EQ(r.zdarz.T().codePage().number(), 852);
    const int e1 = r.addEvent("Ł/1", "Żółta łódź", "ĄĆĘŁŃÓŚŹŻ");
    const int e2 = r.addEvent("2", "zwykły tekst");
    r.addDocument(e2, "ZOLTA LODZ na stronie");
    // OLE bytes are CP1250 whatever the table's page: 0xB3 is "ł" there, "│" in CP852.
    r.addDocument(e2, {}, oleStream("\xB3\xF3\x64\xBC"));
    for (const QString& t : QStringList{"żółta", "ŁÓDŹ", "zolta", "ąćęłńóśźż", "ł", "│", "łódź"})
        EXPECT_EQ(r.search(t), r.oneByOne(t)) << qPrintable(t);
    EXPECT_EQ(r.search("żółta"), (QSet<int>{e1, e2}));
    EXPECT_EQ(r.search("łódź"), (QSet<int>{e1, e2}));
    EXPECT_EQ(r.search("│"), QSet<int>{});
}

TEST(SzukajZdarzen, SeesRowsAddedSinceTheLastSearch) {
    Register r;
    const int e1 = r.addEvent("1", "pierwsze");
    EXPECT_EQ(r.search("dopisane"), QSet<int>{});
    // Written by the catalogue's tables as another workstation would, into the memo files the
    // first search has mapped: past the end of what it saw.
    const int e2 = r.addEvent("2", QString("długi tekst ").repeated(200) + "dopisane");
    r.addDocument(e1, QString("strona ").repeated(300) + "DOPISANE");
    EXPECT_EQ(r.search("dopisane"), (QSet<int>{e1, e2}));
    EXPECT_EQ(r.search("dopisane"), r.oneByOne("dopisane"));
}

TEST(SzukajZdarzen, StopsWhenProgressSaysSo) {
    Register r;
    for (int i = 0; i < 3000; ++i)
        r.addEvent(QString("N/%1").arg(i), i % 7 == 0 ? "szukane słowo" : "inne");
    for (int i = 1; i <= 1500; ++i)
        r.addDocument(i, "strona");

    qint64 lastDone = -1, total = 0;
    int calls = 0;
    auto all = SzukajZdarzen(r.env.dataDir(), "SŁOWO", [&](qint64 done, qint64 t) {
        EXPECT_GE(done, lastDone);
        EXPECT_LE(done, t);
        lastDone = done;
        total = t;
        ++calls;
        return true;
    });
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(all->size(), 429);
    EXPECT_EQ(total, 4500);
    EXPECT_EQ(lastDone, total);
    EXPECT_GE(calls, 3);

    int stopAfter = 2;
    EXPECT_FALSE(SzukajZdarzen(r.env.dataDir(), "słowo", [&](qint64, qint64) {
                     return --stopAfter > 0;
                 }).has_value());
    EXPECT_EQ(stopAfter, 0);
    EXPECT_FALSE(
        SzukajZdarzen(r.env.dataDir(), "słowo", [](qint64, qint64) { return false; }).has_value());
}

TEST(SzukajZdarzen, MissingTableIsAnEngineError) {
    test::TestSystem env;
    EXPECT_THROW(SzukajZdarzen(env.dataDir(), "x"), EDatabaseError);
}

}  // namespace
}  // namespace pulpex
