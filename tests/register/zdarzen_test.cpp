#include <gtest/gtest.h>

#include <QDate>
#include <map>
#include <utility>
#include <vector>

#include "cases/rel_s_z.h"
#include "documents/pisma.h"
#include "register/zdarzen.h"
#include "support/testenv.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

// The three tables of the register with their catalogue references.
struct Register {
    Register() {
        for (TOT_Table* t : std::initializer_list<TOT_Table*>{&zdarz, &rel, &pisma}) {
            t->CreateTableSelf();
            t->Open();
        }
    }
    void addRawEvent(int id) {
        engine::Table& t = zdarz.T();
        t.append();
        t.setInteger("ID", id);
        t.post();
    }
    int addDocument(int eventId, const QString& recognised, const QByteArray& ole = {}) {
        TRec_Pisma d;
        d.ZDARZ_ID = eventId;
        if (!recognised.isEmpty()) d.PIS_IDX.SetText(recognised);
        d.PIS_OLE.SetBytes(ole);
        pisma.OT_AddNew(d.ID, d);
        return d.ID;
    }
    // (identifier, owner) of every row of `table`, `owner` naming the referring field.
    std::vector<std::pair<int, int>> rows(TOT_Table& table, const char* owner) {
        std::vector<std::pair<int, int>> out;
        engine::Table& t = table.T();
        table.SetIDIndex();
        for (t.first(); !t.eof(); t.next())
            out.emplace_back(fieldInt(t, "ID"), fieldInt(t, owner));
        return out;
    }

    TTbl_Zdarzenia zdarz;
    TTbl_RelSprZd rel;
    TTbl_Pisma pisma;
    test::GlobalRef<TTbl_Zdarzenia> g1{TblZdarzenia, &zdarz};
    test::GlobalRef<TTbl_RelSprZd> g2{TblRelSprZd, &rel};
    test::GlobalRef<TTbl_Pisma> g3{TblPisma, &pisma};
};

TEST(Zdarzenia, NewRecordIsAnIncomingLetterOfTodayUnderTheNextID) {
    test::TestSystem env;
    Register r;
    TRec_Zdarzenia rec;
    EXPECT_EQ(rec.ZD_TYP, 1);
    EXPECT_EQ(rec.ZD_DAT.date(), QDate::currentDate());
    EXPECT_EQ(rec.ID, 0);
    r.zdarz.OT_AddNew(rec.ID, rec);
    EXPECT_EQ(rec.ID, 1);

    // Highest identifier plus one, not a count of rows.
    r.addRawEvent(7);
    r.addRawEvent(2);
    TRec_Zdarzenia full;
    full.ZD_NMR = "KP/2024/12";
    full.ZD_SMB = "ŚR.0012";
    full.ZD_ODB = "SEKRETARIAT";
    full.ZD_DAT = QDateTime(QDate(2024, 3, 5), QTime(14, 30));
    full.ZD_POL = true;
    full.ZD_DOP = 2;
    full.ZD_ADR = 44;
    full.ZD_TRE.SetText("Treść pisma\r\nz ogonkami: zażółć gęślą jaźń");
    full.ZD_OPIS.SetText("Opis");
    full.ZD_TYP = 2;
    r.zdarz.OT_AddNew(full.ID, full);
    EXPECT_EQ(full.ID, 8);

    TRec_Zdarzenia back;
    ASSERT_TRUE(r.zdarz.ReadRecordByID(8, back));
    EXPECT_EQ(back.ID, 8);
    EXPECT_EQ(back.ZD_NMR, full.ZD_NMR);
    EXPECT_EQ(back.ZD_SMB, full.ZD_SMB);
    EXPECT_EQ(back.ZD_ODB, full.ZD_ODB);
    EXPECT_EQ(back.ZD_DAT, QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
    EXPECT_TRUE(back.ZD_POL);
    EXPECT_EQ(back.ZD_DOP, 2);
    EXPECT_EQ(back.ZD_ADR, 44);
    EXPECT_EQ(back.ZD_TRE.GetText(), full.ZD_TRE.GetText());
    EXPECT_EQ(back.ZD_OPIS.GetText(), "Opis");
    EXPECT_EQ(back.ZD_TYP, 2);
}

TEST(Zdarzenia, DeletingAnEventTakesItsLinksAndDocumentsOnly) {
    test::TestSystem env;
    Register r;
    for (int id : {1, 2, 20})
        r.addRawEvent(id);
    r.rel.DodajPowiazanie(1, 2);
    r.rel.DodajPowiazanie(1, 20);
    r.rel.DodajPowiazanie(2, 2);
    r.rel.DodajPowiazanie(2, 1);
    r.rel.DodajPowiazanie(3, 2);
    r.addDocument(2, "a");
    r.addDocument(20, "b");
    r.addDocument(2, "c");
    r.addDocument(1, "d");
    r.addDocument(2, "e");

    r.zdarz.UsunZdarzenie(2);
    EXPECT_EQ(r.rows(r.zdarz, "ID"), (std::vector<std::pair<int, int>>{{1, 1}, {20, 20}}));
    EXPECT_EQ(r.rows(r.rel, "ESZ_ZD"), (std::vector<std::pair<int, int>>{{2, 20}, {4, 1}}));
    EXPECT_EQ(r.rows(r.pisma, "ZDARZ_ID"), (std::vector<std::pair<int, int>>{{2, 20}, {4, 1}}));

    // An identifier without an event row still loses what hangs from it.
    r.rel.DodajPowiazanie(1, 99);
    r.addDocument(99, "f");
    r.zdarz.UsunZdarzenie(99);
    EXPECT_EQ(r.rows(r.zdarz, "ID"), (std::vector<std::pair<int, int>>{{1, 1}, {20, 20}}));
    EXPECT_EQ(r.rows(r.rel, "ESZ_ZD"), (std::vector<std::pair<int, int>>{{2, 20}, {4, 1}}));
    EXPECT_EQ(r.rows(r.pisma, "ZDARZ_ID"), (std::vector<std::pair<int, int>>{{2, 20}, {4, 1}}));
}

TEST(Zdarzenia, DeletingWithoutTheCatalogueTablesDeletesNothing) {
    test::TestSystem env;
    Register r;
    r.addRawEvent(1);
    r.rel.DodajPowiazanie(1, 1);
    TblPisma = nullptr;
    EXPECT_THROW(r.zdarz.UsunZdarzenie(1), EDatabaseError);
    EXPECT_EQ(r.zdarz.T().recordCount(), 1u);
    EXPECT_EQ(r.rel.T().recordCount(), 1u);
}

TEST(Zdarzenia, MatchTestSearchesOwnFieldsFirst) {
    test::TestSystem env;
    TTbl_Pisma closed;  // consulting the documents would throw
    test::GlobalRef g(TblPisma, &closed);
    TRec_Zdarzenia rec;
    rec.ID = 3;
    rec.ZD_NMR = "KP/2024/12";
    rec.ZD_SMB = "ŚR.0012";
    rec.ZD_ODB = "SEKRETARIAT";
    rec.ZD_TRE.SetText("Wniosek o dzierżawę");
    rec.ZD_OPIS.SetText("pilne");
    EXPECT_TRUE(rec.CzyPasuje("kp/2024"));
    EXPECT_TRUE(rec.CzyPasuje("śr.00"));
    EXPECT_TRUE(rec.CzyPasuje("kretar"));
    EXPECT_TRUE(rec.CzyPasuje("DZIERŻAWĘ"));
    EXPECT_TRUE(rec.CzyPasuje("Pilne"));
    // Own fields ignore no diacritics, so this one falls through to the documents.
    EXPECT_THROW(rec.CzyPasuje("dzierzawe"), EDatabaseError);
}

TEST(Zdarzenia, MatchTestFallsBackToTheDocuments) {
    test::TestSystem env;
    Register r;
    // Event 5's documents are not consecutive: other events' documents lie between them.
    r.addDocument(5, "Umowa najmu lokalu");
    r.addDocument(6, "Faktura VAT");
    r.addDocument(5, "Protokół odbioru");
    r.addDocument(7, "Zaproszenie");
    QByteArray ole("\xD0\xCF\x11\xE0");
    for (char c : QByteArray("Aneks"))
        ole.append(c).append('\x01').append('\0');
    r.addDocument(5, {}, ole);

    TRec_Zdarzenia rec;
    rec.ID = 5;
    const char content[] = "Pierwsza linia\0ukryty dalszy tekst";
    rec.ZD_TRE.SetBytes(QByteArray(content, sizeof content));
    EXPECT_TRUE(rec.CzyPasuje("najmu"));
    EXPECT_TRUE(rec.CzyPasuje("protokol odbioru"));  // recognised text, diacritics ignored
    EXPECT_TRUE(rec.CzyPasuje("aneks"));             // OLE bytes, control bytes dropped
    EXPECT_FALSE(rec.CzyPasuje("Faktura"));          // another event's document
    EXPECT_FALSE(rec.CzyPasuje("Zaproszenie"));
    EXPECT_FALSE(rec.CzyPasuje("ukryty"));  // after the memo's zero

    // The search text is cut to 254 characters: a longer one is found where its beginning is.
    QString longText(254, QLatin1Char('x'));
    rec.ZD_OPIS.SetText("<" + longText + ">");
    EXPECT_TRUE(rec.CzyPasuje(longText + "yyyy"));
    EXPECT_FALSE(rec.CzyPasuje("y" + longText));
    rec.ZD_OPIS.Clear();
    r.addDocument(5, longText);
    EXPECT_TRUE(rec.CzyPasuje(longText + "yyyy"));
}

}  // namespace
}  // namespace pulpex
