#include "addresses/adresy.h"

#include <gtest/gtest.h>

#include "support/testenv.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using test::layout;

using test::TestSystem;

int addAddress(TTbl_Adresy& t, const QString& company, const QString& first, const QString& surname,
               bool priv = false, const QString& mail = {}) {
    TRec_Adresy r;
    r.AD_NAZF = company;
    r.AD_IMIE = first;
    r.AD_NAZW = surname;
    r.AD_PRYW = priv;
    r.AD_MAIL() = mail;
    int id = 0;
    t.OT_AddNew(id, r);
    return id;
}

TEST(AdresyTable, FileHasTheSchemaInOrder) {
    TestSystem env;
    TTbl_Adresy t;
    ASSERT_TRUE(t.CreateTableSelf());
    t.Open();
    EXPECT_EQ(layout(t.T()),
              "ID:N11 AD_NAZF:C50 AD_NAZW:C25 AD_IMIE:C25 AD_ULIC:C25 AD_DOM:C25 AD_LOKA:C25 "
              "AD_KOD:C25 AD_MIAS:C25 AD_TEL1:C25 AD_TEL2:C25 AD_TEL3:C25 AD_FAX:C25 "
              "AD_MAIL:C50 AD_PRYW:L1 AD_WOL1:C50 AD_WOL2:C50 AD_WOL3:C50 AD_WOL4:C50 "
              "AD_WOL5:C50 AD_OPIS:M10 AD_OLE:M10 AD_NIP:C25 | ADR_ID(ID)");
    EXPECT_TRUE(t.CheckStructure());
}

TEST(AdresyTable, CreationSeedsOneSampleAndExistingRowsAddNothing) {
    TestSystem env;
    {
        TTbl_Adresy t;
        ASSERT_TRUE(t.CreateTableSelf());
        EXPECT_FALSE(t.Active());  // closed before, closed after
        t.Open();
        EXPECT_EQ(t.T().recordCount(), 1u);
        const auto r = t.DajGoscia(1);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->ID, 1);
        EXPECT_FALSE(r->AD_NAZF.isEmpty());
        EXPECT_FALSE(r->AD_IMIE.isEmpty());
        EXPECT_FALSE(r->AD_NAZW.isEmpty());
        EXPECT_FALSE(r->AD_ULIC.isEmpty());
        EXPECT_FALSE(r->AD_DOM.isEmpty());
        EXPECT_FALSE(r->AD_LOKA.isEmpty());
        EXPECT_FALSE(r->AD_KOD.isEmpty());
        EXPECT_FALSE(r->AD_TEL1.isEmpty());
        EXPECT_TRUE(r->AD_TEL2.isEmpty());
        EXPECT_TRUE(r->AD_TEL3.isEmpty());
        EXPECT_TRUE(r->AD_FAX.isEmpty());
        EXPECT_TRUE(r->AD_MAIL().contains('@'));
        EXPECT_TRUE(r->AD_WOL[1].contains(r->AD_NIP));
        EXPECT_FALSE(r->AD_NIP.isEmpty());
        EXPECT_FALSE(r->AD_PRYW);
        EXPECT_EQ(r->AD_OPIS.GetText().split('\n').size(), 3);
        // Polish letters survive the code page of the file.
        EXPECT_EQ(r->AD_MIAS, QStringLiteral("Łódź"));
        EXPECT_EQ(r->AD_NAZW, QStringLiteral("Brzęczyszczykiewicz"));

        t.PreInit();  // open, with a row: nothing added, still open
        EXPECT_TRUE(t.Active());
        EXPECT_EQ(t.T().recordCount(), 1u);
    }
    TTbl_Adresy again;
    again.Open();
    again.PreInit();
    EXPECT_EQ(again.T().recordCount(), 1u);
    EXPECT_EQ(again.DajNazwe(1),
              QStringLiteral("Biuro Rachunkowe „Żuraw” Sp. z o.o.; Grzegorz Brzęczyszczykiewicz"));
}

TEST(AdresyTable, SeedingThatCannotOpenTheTableIsSwallowed) {
    TestSystem env;
    TTbl_Adresy t;
    t.DefineAndCreate();
    t.RebuildIndexes();
    engine::Table::OpenOptions o;
    o.exclusive = true;
    auto other = engine::Table::open(u8(t.TableFileName()), o);
    EXPECT_NO_THROW(t.PreInit());
    EXPECT_FALSE(t.Active());
    other.reset();
    t.Open();
    EXPECT_EQ(t.T().recordCount(), 0u);
}

TEST(AdresyRecord, EveryColumnRoundTrips) {
    TestSystem env;
    TTbl_Adresy t;
    t.DefineAndCreate();
    t.RebuildIndexes();
    t.Open();
    TRec_Adresy w;
    w.AD_NAZF = "Urząd Gminy";
    w.AD_NAZW = "Śliwińska";
    w.AD_IMIE = "Żaneta";
    w.AD_ULIC = "Długa";
    w.AD_DOM = "7a";
    w.AD_LOKA = "12";
    w.AD_KOD = "00-001";
    w.AD_MIAS = "Gdańsk";
    w.AD_TEL1 = "1";
    w.AD_TEL2 = "2";
    w.AD_TEL3 = "3";
    w.AD_FAX = "4";
    for (int i = 0; i < 6; ++i)
        w.AD_WOL[static_cast<std::size_t>(i)] = QStringLiteral("pole %1").arg(i);
    w.AD_PRYW = true;
    w.AD_OPIS.SetText("pierwsza\nzażółć gęślą jaźń");
    w.AD_OLE.SetBytes(QByteArray("\x01\x00\xff OLE", 7));
    w.AD_NIP = "123-456-32-18";
    int id = 0;
    t.OT_AddNew(id, w);
    int other = addAddress(t, "Inna", "Jan", "Nowak");
    ASSERT_EQ(id, 1);
    ASSERT_EQ(other, 2);

    TRec_Adresy r;
    ASSERT_TRUE(t.ReadRecordByID(1, r));
    EXPECT_EQ(r.ID, 1);
    EXPECT_EQ(r.AD_NAZF, w.AD_NAZF);
    EXPECT_EQ(r.AD_NAZW, w.AD_NAZW);
    EXPECT_EQ(r.AD_IMIE, w.AD_IMIE);
    EXPECT_EQ(r.AD_ULIC, w.AD_ULIC);
    EXPECT_EQ(r.AD_DOM, w.AD_DOM);
    EXPECT_EQ(r.AD_LOKA, w.AD_LOKA);
    EXPECT_EQ(r.AD_KOD, w.AD_KOD);
    EXPECT_EQ(r.AD_MIAS, w.AD_MIAS);
    EXPECT_EQ(r.AD_TEL1, w.AD_TEL1);
    EXPECT_EQ(r.AD_TEL2, w.AD_TEL2);
    EXPECT_EQ(r.AD_TEL3, w.AD_TEL3);
    EXPECT_EQ(r.AD_FAX, w.AD_FAX);
    EXPECT_EQ(r.AD_WOL, w.AD_WOL);
    EXPECT_EQ(fieldString(t.T(), "AD_MAIL"), "pole 0");
    EXPECT_EQ(fieldString(t.T(), "AD_WOL5"), "pole 5");
    EXPECT_TRUE(r.AD_PRYW);
    EXPECT_EQ(r.AD_OPIS.GetText(), w.AD_OPIS.GetText());
    EXPECT_EQ(r.AD_OLE.Bytes(), w.AD_OLE.Bytes());
    EXPECT_EQ(r.AD_NIP, w.AD_NIP);

    // An update through OT_AddNew rewrites that row only.
    r.AD_NAZW = "Kowalska";
    r.AD_OLE.Clear();
    t.OT_AddNew(id, r);
    EXPECT_EQ(t.T().recordCount(), 2u);
    EXPECT_EQ(t.DajGoscia(1)->AD_NAZW, "Kowalska");
    EXPECT_TRUE(t.DajGoscia(1)->AD_OLE.Bytes().isEmpty());
    EXPECT_EQ(t.DajGoscia(2)->AD_NAZW, "Nowak");
}

TEST(AdresyLookup, NamesAndMailByIdentifier) {
    TestSystem env;
    TTbl_Adresy t;
    t.DefineAndCreate();
    t.RebuildIndexes();
    t.Open();
    const int firm = addAddress(t, "Kancelaria Łęcka", "Anna", "Zając", false, "a@kl.pl");
    const int person = addAddress(t, "", "Jan", "Kowalski", true, "jan@x.pl");
    const int onlyCompany = addAddress(t, "Huta", "", "");

    EXPECT_EQ(t.DajNazwe(firm), QStringLiteral("Kancelaria Łęcka; Anna Zając"));
    EXPECT_EQ(t.DajNazwe(person), QStringLiteral("; Jan Kowalski"));
    EXPECT_EQ(t.DajNazwe(onlyCompany), QStringLiteral("Huta;  "));
    EXPECT_EQ(t.DajEMail(person), "jan@x.pl");
    // The table stands on the row found.
    EXPECT_EQ(fieldInt(t.T(), "ID"), person);

    EXPECT_EQ(t.DajNazwe(99), "");
    EXPECT_EQ(t.DajEMail(99), "");
    EXPECT_EQ(t.DajEMail(0), "");
    EXPECT_EQ(t.DajGoscia(99), nullptr);
}

// A data set with just the identifier column, as a grid's selection reads it.
struct IdTable {
    explicit IdTable(const QString& dir, int rows) {
        const std::string path = u8(dir) + "SEL.DBF";
        engine::Table::create(path, {{"ID", engine::FieldType::Integer, 0}});
        t = engine::Table::open(path);
        t->lockAppend();
        for (int i = 1; i <= rows; ++i) {
            t->append();
            t->setInteger("ID", 100 + i);  // identifiers differ from the record numbers
            t->post();
            marks.push_back(t->bookmark());
        }
        t->unlockAppend();
    }
    std::unique_ptr<engine::Table> t;
    std::vector<engine::Bookmark> marks;  // marks[i] is the row with ID 101 + i
};

TEST(AdresyLista, FillKeepsSelectionOrderAndRefillReplaces) {
    TestSystem env;
    IdTable data(env.dataDir(), 5);
    TListaWybranychAdresow l;
    EXPECT_EQ(l.Count(), 0);

    EXPECT_EQ(l.Fill({data.marks[2], data.marks[0], data.marks[4]}, *data.t), 0);
    ASSERT_EQ(l.Count(), 3);
    EXPECT_EQ(l.Id(1), 103);
    EXPECT_EQ(l.Id(2), 101);
    EXPECT_EQ(l.Id(3), 105);

    EXPECT_EQ(l.Fill({data.marks[1]}, *data.t), 0);
    ASSERT_EQ(l.Count(), 1);
    EXPECT_EQ(l.Id(1), 102);
    EXPECT_EQ(l.Id(2), 0);  // the old positions do not show through
    EXPECT_EQ(l.Id(0), 0);

    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.Id(1), 0);

    EXPECT_EQ(l.Fill({}, *data.t), 0);
    EXPECT_EQ(l.Count(), 0);
}

TEST(AdresyLista, MoreThanCapacityTakesTheFirstAndCountsTheRest) {
    TestSystem env;
    const int rows = TListaWybranychAdresow::kCapacity + 6;
    IdTable data(env.dataDir(), rows);
    TListaWybranychAdresow l;
    EXPECT_EQ(l.Fill(data.marks, *data.t), 6);
    ASSERT_EQ(l.Count(), TListaWybranychAdresow::kCapacity);
    EXPECT_EQ(l.Id(1), 101);
    EXPECT_EQ(l.Id(TListaWybranychAdresow::kCapacity), 100 + TListaWybranychAdresow::kCapacity);
    EXPECT_EQ(l.Id(TListaWybranychAdresow::kCapacity + 1), 0);

    std::vector<engine::Bookmark> exact(data.marks.begin(),
                                        data.marks.begin() + TListaWybranychAdresow::kCapacity);
    EXPECT_EQ(l.Fill(exact, *data.t), 0);
    EXPECT_EQ(l.Count(), TListaWybranychAdresow::kCapacity);
}

}  // namespace
}  // namespace pulpex
