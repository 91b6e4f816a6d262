#include "mail/koresp.h"

#include <gtest/gtest.h>

#include "addresses/adresy.h"
#include "support/testenv.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/users.h"

namespace pulpex {
namespace {

using test::layout;

using test::TestSystem;

void createEmpty(TOT_Table& t) {
    t.DefineAndCreate();
    t.RebuildIndexes();
    t.Open();
}

class KorespSubstitution : public ::testing::Test {
  protected:
    void SetUp() override {
        createEmpty(adr);
        createEmpty(kor);
        TRec_Adresy a;
        a.AD_NAZF = "Spółdzielnia „Pszczółka”";
        a.AD_NAZW = "Kowalski";
        a.AD_IMIE = "Jan";
        addressId = 0;
        adr.OT_AddNew(addressId, a);

        TRec_Korespondencja k;
        k.KOR_OPI() = "Zaproszenie";
        for (int n = 1; n <= 9; ++n)
            k.KOR_US[static_cast<std::size_t>(n)] = QStringLiteral("wartość %1").arg(n);
        templateId = 0;
        kor.OT_AddNew(templateId, k);
        ASSERT_TRUE(adr.LocateID(addressId));
        ASSERT_TRUE(kor.LocateID(templateId));
    }

    // Rewrites one column of the address row the table stands on.
    void setAddress(const QString& column, const QString& value) {
        adr.T().edit();
        setFieldString(adr.T(), column, value);
        adr.T().post();
    }

    TestSystem env;
    TTbl_Adresy adr;
    TTbl_Korespondencja kor;
    test::GlobalRef<TTbl_Adresy> adrRef{TblAdresy, &adr};
    test::GlobalRef<TTbl_Korespondencja> korRef{TblKorespondencja, &kor};
    TRec_Korespondencja rec;
    int addressId = 0;
    int templateId = 0;
};

TEST(KorespTable, FileHasTheSchemaAndRecordRoundTrips) {
    TestSystem env;
    TTbl_Korespondencja t;
    ASSERT_TRUE(t.CreateTableSelf());
    t.Open();
    EXPECT_EQ(layout(t.T()),
              "ID:N11 KOR_OPI:C25 KOR_TRS:M10 KOR_US01:C25 KOR_US02:C25 KOR_US03:C25 "
              "KOR_US04:C25 KOR_US05:C25 KOR_US06:C25 KOR_US07:C25 KOR_US08:C25 KOR_US09:C25 "
              "| KOR_ID(ID) KOR_OPI(KOR_OPI)");
    EXPECT_EQ(t.T().recordCount(), 0u);  // no seed

    TRec_Korespondencja w;
    w.KOR_OPI() = "Życzenia świąteczne";
    w.KOR_TRS.SetText("Szanowny Panie {<1>NAZW},\nżyczymy…");
    w.KOR_US[1] = "pierwsze";
    w.KOR_US[9] = "dziewiąte";
    int id = 0;
    t.OT_AddNew(id, w);
    TRec_Korespondencja r;
    ASSERT_TRUE(t.ReadRecordByID(id, r));
    EXPECT_EQ(r.ID, id);
    EXPECT_EQ(r.KOR_US, w.KOR_US);
    EXPECT_EQ(r.KOR_TRS.GetText(), w.KOR_TRS.GetText());

    // The editor re-reads only the user values from the row.
    t.T().edit();
    setFieldString(t.T(), "KOR_US05", "nowa");
    setFieldString(t.T(), "KOR_OPI", "inna nazwa");
    t.T().post();
    r.ReadUserFields(t.T());
    EXPECT_EQ(r.KOR_US[5], "nowa");
    EXPECT_EQ(r.KOR_OPI(), "Życzenia świąteczne");
}

TEST_F(KorespSubstitution, EveryOccurrenceInTextOrder) {
    EXPECT_EQ(rec.Substitute("{<1>NAZW} i {<1>NAZW}"), "Kowalski i Kowalski");
    // The table order picks what is replaced first, never where it lands.
    EXPECT_EQ(rec.Substitute("{<1>NAZW} {<1>IMIE}"), "Kowalski Jan");
    EXPECT_EQ(rec.Substitute("Firma: {<1>FIRMA}.{<1>IMIE}{<1>NAZW}{<1>IMIE}"),
              "Firma: Spółdzielnia „Pszczółka”.JanKowalskiJan");
}

TEST_F(KorespSubstitution, ForeignTextIsLeftAlone) {
    EXPECT_EQ(rec.Substitute("{<1>nazw}"), "{<1>nazw}");
    EXPECT_EQ(rec.Substitute("{<1>NAZWISKO} {<4>NAZW} {NAZW} {<1>NAZW"),
              "{<1>NAZWISKO} {<4>NAZW} {NAZW} {<1>NAZW");
    EXPECT_EQ(rec.Substitute("Zwykły list.\nBez pól."), "Zwykły list.\nBez pól.");
    EXPECT_EQ(rec.Substitute(""), "");
    EXPECT_EQ(rec.PlaceholderValue("{<1>nazw}"), "");
    EXPECT_EQ(rec.PlaceholderValue(""), "");
}

TEST_F(KorespSubstitution, InsertedValuesAreNotScannedAgain) {
    setAddress("AD_NAZW", "<{<1>NAZW}>");
    EXPECT_EQ(rec.Substitute("Pan {<1>NAZW} i {<1>NAZW}"), "Pan <{<1>NAZW}> i <{<1>NAZW}>");
    // A value holding another token, or completing one with the text after it, stays as it is.
    setAddress("AD_IMIE", "{<1>NAZW}");
    setAddress("AD_FAX", "{<1>");
    EXPECT_EQ(rec.Substitute("{<1>IMIE}|{<1>FAX}NAZW}"), "{<1>NAZW}|{<1>NAZW}");
}

TEST_F(KorespSubstitution, EachAddressTokenReadsItsColumn) {
    const std::pair<const char*, const char*> pairs[] = {
        {"{<1>IMIE}", "AD_IMIE"},    {"{<1>NAZW}", "AD_NAZW"},   {"{<1>FIRMA}", "AD_NAZF"},
        {"{<1>EMAIL}", "AD_MAIL"},   {"{<1>MIASTO}", "AD_MIAS"}, {"{<1>KOD}", "AD_KOD"},
        {"{<1>ULICA}", "AD_ULIC"},   {"{<1>DOM}", "AD_DOM"},     {"{<1>LOKAL}", "AD_LOKA"},
        {"{<1>TELEFON}", "AD_TEL1"}, {"{<1>FAX}", "AD_FAX"},     {"{<1>POLE_1}", "AD_WOL1"},
        {"{<1>POLE_2}", "AD_WOL2"},  {"{<1>POLE_3}", "AD_WOL3"}, {"{<1>POLE_4}", "AD_WOL4"},
        {"{<1>POLE_5}", "AD_WOL5"},
    };
    for (const auto& [token, column] : pairs)
        setAddress(column, QStringLiteral("v_") + column);
    QString text, expected;
    for (const auto& [token, column] : pairs) {
        text += QLatin1String(token) + '|';
        expected += QStringLiteral("v_") + column + '|';
    }
    EXPECT_EQ(rec.Substitute(text), expected);
    EXPECT_EQ(Placeholders().size(), 28u);
}

TEST_F(KorespSubstitution, MomentAndTemplateValues) {
    const QDateTime at(QDate(2024, 3, 5), QTime(8, 7, 6));
    EXPECT_EQ(rec.Substitute("{<2>DATA} {<2>GODZINA}", at), "2024-03-05 08:07:06");
    EXPECT_EQ(rec.PlaceholderValue("{<2>DATA}", at), "2024-03-05");
    // Nobody logged in: no operator name.
    EXPECT_EQ(rec.Substitute("[{<2>OPERATOR}]"), "[]");
    EXPECT_EQ(rec.Substitute("{<3>UZYTK_1}/{<3>UZYTK_5}/{<3>UZYTK_9}"),
              "wartość 1/wartość 5/wartość 9");
    // Template values come from the table's row, not from the record substituting.
    rec.KOR_US[1] = "z rekordu";
    EXPECT_EQ(rec.Substitute("{<3>UZYTK_1}"), "wartość 1");
}

TEST_F(KorespSubstitution, OperatorIsTheLoggedInUser) {
    TTbl_USERS users;
    ASSERT_TRUE(users.CreateTableSelf());
    test::GlobalRef<TTbl_USERS> usersRef{TblUsers, &users};
    TRec_Users u;
    u.FNAME = "Agnieszka Wójcik";
    users.AddNewUser(u);
    ASSERT_GT(u.ID, 0);
    env.sys->CurrentUser().ID = u.ID;
    EXPECT_EQ(rec.Substitute("Sporządziła: {<2>OPERATOR}"), "Sporządziła: Agnieszka Wójcik");
    env.sys->CurrentUser().ID = 0;
}

TEST_F(KorespSubstitution, NoTableOrNoRowGivesEmptyValues) {
    const QString text = "{<1>NAZW}-{<3>UZYTK_2}";
    kor.Close();
    EXPECT_EQ(rec.Substitute(text), "Kowalski-");
    adr.Close();
    EXPECT_EQ(rec.Substitute(text), "-");

    TblAdresy = nullptr;
    TblKorespondencja = nullptr;
    EXPECT_EQ(rec.Substitute(text), "-");

    // Open but empty tables.
    TTbl_Adresy emptyAdr;
    emptyAdr.TableName = "ADR2";
    createEmpty(emptyAdr);
    TblAdresy = &emptyAdr;
    EXPECT_EQ(rec.Substitute(text), "-");
    TblAdresy = nullptr;
}

}  // namespace
}  // namespace pulpex
