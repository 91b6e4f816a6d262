// The cases window's statements on the program's own tables: the case list by state, the linked
// events narrowed by date and correspondent, and the index lookups behind them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cases/filtr_spraw.h"
#include "cases/rel_s_z.h"
#include "cases/sprawy.h"
#include "register/zdarzen.h"
#include "support/testenv.h"
#include "tables/engine/query.h"
#include "tables/engine/sql_vtab.h"

namespace pulpex {
namespace {

class CaseQueries : public ::testing::Test {
  protected:
    void SetUp() override {
        for (TOT_Table* t : std::initializer_list<TOT_Table*>{&sprawy, &rel, &zdarz}) {
            ASSERT_TRUE(t->CreateTableSelf());
            t->Open();
        }
    }
    int addCase(const QString& name, bool closed) {
        TRec_Sprawy c;
        c.SP_NAZ = name;
        c.SP_ZAMK = closed;
        sprawy.OT_AddNew(c.ID, c);
        return c.ID;
    }
    int addEvent(const QString& number, const QDate& date, int address = 0) {
        TRec_Zdarzenia z;
        z.ZD_NMR = number;
        z.ZD_DAT = QDateTime(date, QTime(0, 0));
        z.ZD_ADR = address;
        zdarz.OT_AddNew(z.ID, z);
        return z.ID;
    }
    std::vector<std::string> column(engine::Query& q, const char* field) {
        std::vector<std::string> out;
        for (q.first(); !q.eof(); q.next())
            out.push_back(q.asString(field));
        return out;
    }
    // The numbers of the events the window lists for `caseId` under `info`.
    std::vector<std::string> events(int caseId, const TSprawy_FiltrInfo& info) {
        engine::Query q(env.dataDir().toStdString());
        q.setSql((kZdarzeniaSprawyBase + WarunekZdarzenSprawy(info) + kZdarzeniaSprawyOrder)
                     .toStdString());
        q.setParam("ID", std::int64_t{caseId});
        q.open();
        return column(q, "ZD_NMR");
    }
    std::vector<std::string> cases(const TSprawy_FiltrInfo& info) {
        engine::Query q(env.dataDir().toStdString());
        q.setSql((ZapytanieSpraw(info) + " order by ID").toStdString());
        q.open();
        return column(q, "SP_NAZ");
    }

    test::TestSystem env;
    TTbl_Sprawy sprawy;
    TTbl_RelSprZd rel;
    TTbl_Zdarzenia zdarz;
};

TEST_F(CaseQueries, TheCaseStateChoosesTheCasesListed) {
    addCase("Otwarta", false);
    addCase("Zamknięta", true);
    addCase("Druga otwarta", false);
    TSprawy_FiltrInfo info;
    EXPECT_EQ(ZapytanieSpraw(info), " select SP_NAZ, SP_NUM, ID  from SPRAWY");
    EXPECT_EQ(cases(info), (std::vector<std::string>{"Otwarta", "Zamknięta", "Druga otwarta"}));
    info.StanSpraw = TSprawy_FiltrInfo::Zamkniete;
    EXPECT_EQ(ZapytanieSpraw(info),
              " select SP_NAZ, SP_NUM, ID  from SPRAWY  where SP_ZAMK=\"True\" ");
    EXPECT_EQ(cases(info), std::vector<std::string>{"Zamknięta"});
    info.StanSpraw = TSprawy_FiltrInfo::Otwarte;
    EXPECT_EQ(ZapytanieSpraw(info),
              " select SP_NAZ, SP_NUM, ID  from SPRAWY  where SP_ZAMK=\"FALSE\" ");
    EXPECT_EQ(cases(info), (std::vector<std::string>{"Otwarta", "Druga otwarta"}));
}

TEST_F(CaseQueries, TheDateRangeIncludesBothEndsAndTheAddressNarrowsFurther) {
    const int c = addCase("Sprawa", false);
    const int other = addCase("Inna", false);
    for (int day = 1; day <= 5; ++day)
        rel.DodajPowiazanie(c, addEvent(QStringLiteral("Z/%1").arg(day), QDate(2024, 3, day),
                                        day % 2 == 0 ? 7 : 8));
    rel.DodajPowiazanie(other, addEvent("Z/9", QDate(2024, 3, 3), 7));

    TSprawy_FiltrInfo info;
    EXPECT_EQ(WarunekZdarzenSprawy(info), "");
    EXPECT_EQ(events(c, info), (std::vector<std::string>{"Z/1", "Z/2", "Z/3", "Z/4", "Z/5"}));

    info.ZakresDat = true;
    info.Od = QDateTime(QDate(2024, 3, 2), QTime(18, 30));  // the time of day does not count
    info.Do = QDateTime(QDate(2024, 3, 4), QTime(8, 0));
    EXPECT_EQ(
        WarunekZdarzenSprawy(info),
        " and ZD_DAT>= cast(\"3/2/2024\" as date)   and ZD_DAT<= cast(\"3/4/2024\" as date) ");
    EXPECT_EQ(events(c, info), (std::vector<std::string>{"Z/2", "Z/3", "Z/4"}));
    EXPECT_EQ(events(other, info), std::vector<std::string>{"Z/9"});

    info.WybranyAdres = true;
    info.IdAdresu = 7;
    EXPECT_TRUE(WarunekZdarzenSprawy(info).endsWith(" and ZD_ADR= 7 "));
    EXPECT_EQ(events(c, info), (std::vector<std::string>{"Z/2", "Z/4"}));
    // An address never chosen filters on 0: the events without a correspondent.
    info.ZakresDat = false;
    info.IdAdresu = 0;
    EXPECT_TRUE(events(c, info).empty());
}

TEST_F(CaseQueries, TheLinkedEventsOfACaseAreFoundThroughTheIndexes) {
    const int c = addCase("Duża", false);
    for (int i = 1; i <= 300; ++i) {
        const int ev = addEvent(QStringLiteral("Z/%1").arg(i, 3, 10, QLatin1Char('0')),
                                QDate(2024, 1, 1).addDays(i));
        if (i % 10 == 0) rel.DodajPowiazanie(c, ev);
        if (i % 7 == 0) rel.DodajPowiazanie(c + 1, ev);
    }
    TSprawy_FiltrInfo info;
    info.ZakresDat = true;
    info.Od = QDateTime(QDate(2024, 1, 1), QTime(0, 0));
    info.Do = QDateTime(QDate(2025, 1, 1), QTime(0, 0));
    engine::Query q(env.dataDir().toStdString());
    q.setSql(
        (kZdarzeniaSprawyBase + WarunekZdarzenSprawy(info) + kZdarzeniaSprawyOrder).toStdString());
    q.setParam("ID", std::int64_t{c});
    q.open();
    auto conn = q.connection();
    conn->resetStats();
    q.open();
    EXPECT_EQ(q.recordCount(), 30u);
    // One range of the case's links, one lookup per linked event; nothing else is read.
    EXPECT_EQ(conn->stats("REL_SZD").fullScans, 0u);
    EXPECT_EQ(conn->stats("REL_SZD").rowsRead, 30u);
    EXPECT_EQ(conn->stats("ZDARZ").fullScans, 0u);
    EXPECT_EQ(conn->stats("ZDARZ").rowsRead, 30u);
}

TEST_F(CaseQueries, ANameIsTakenOnlyByAnExactlyEqualNameOfAnotherCase) {
    const int id = addCase("Dzierżawa gruntu", false);
    EXPECT_TRUE(sprawy.IstniejeNazwa("Dzierżawa gruntu"));
    EXPECT_TRUE(sprawy.IstniejeNazwa("Dzierżawa gruntu  "));  // dBase pads with blanks
    EXPECT_FALSE(sprawy.IstniejeNazwa("dzierżawa gruntu"));
    EXPECT_FALSE(sprawy.IstniejeNazwa("Dzierżawa"));
    EXPECT_FALSE(sprawy.IstniejeNazwa("Dzierżawa gruntu", id));  // the case itself
    EXPECT_FALSE(sprawy.IstniejeNazwa(""));
}

}  // namespace
}  // namespace pulpex
