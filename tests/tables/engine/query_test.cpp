#include "tables/engine/query.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "tables/engine/error.h"
#include "tables/engine/sql_vtab.h"
#include "tables/engine/table.h"

namespace pulpex::engine {
namespace {

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/pulpex-query-XXXXXX";
        if (::mkdtemp(name) == nullptr) std::abort();
        path_ = name;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

using Row = std::vector<Value>;

// Appends rows, each value going to the field of the same position in `names`.
void appendRows(const std::string& path, const std::vector<std::string>& names,
                const std::vector<Row>& rows) {
    auto t = Table::open(path);
    for (const Row& r : rows) {
        t->append();
        for (std::size_t i = 0; i < names.size(); ++i)
            t->setValue(t->fieldNo(names[i]), r[i]);
        t->post();
    }
}

Date ymd(int y, int m, int d) {
    return Date{y, m, d};
}

const std::optional<bool> kUnknown;

Value b(std::optional<bool> v) {
    return v ? Value(*v) : Value();
}

// The database of the statements below: events (ZDARZ), cases (SPRAWY), their links
// (REL_SZD), addresses (ADRESY) and users.
class QueryTest : public ::testing::Test {
  protected:
    TempDir dir;

    void SetUp() override {
        using FT = FieldType;
        Table::create(dir.file("ZDARZ.DBF"),
                      {{"ID", FT::Integer},
                       {"ZD_NMR", FT::String, 25},
                       {"ZD_SMB", FT::String, 25},
                       {"ZD_ODB", FT::String, 25},
                       {"ZD_DAT", FT::Date},
                       {"ZD_POL", FT::Boolean},
                       {"ZD_DOP", FT::Integer},
                       {"ZD_ADR", FT::Integer},
                       {"ZD_TRE", FT::Memo},
                       {"ZD_OPIS", FT::Memo},
                       {"ZD_TYP", FT::Integer}},
                      {{"ZDARZ_ID", "ID"}});
        // Not in ID order, so that ordering is the query's doing.
        appendRows(dir.file("ZDARZ.DBF"),
                   {"ID", "ZD_NMR", "ZD_SMB", "ZD_ODB", "ZD_DAT", "ZD_POL", "ZD_ADR", "ZD_TYP"},
                   {
                       {9, "Z/9", "S9", "NOWAK", ymd(2024, 3, 5), true, 6, 1},
                       {1, "Z/1", "S1", "KOWALSKI", ymd(2024, 3, 5), true, 7, 1},
                       {2, "Z/2", "S2", "NOWAK", ymd(2024, 3, 1), false, 7, 1},
                       {3, "Z/3", "S3", "KOWALSKI", ymd(2024, 3, 31), true, 5, 2},
                       {4, "Z/4", "S4", "O\"Brien", ymd(2024, 2, 29), false, 7, 1},
                       {5, "Z/5", "S5", "KOWALSKI", ymd(2024, 4, 1), true, 7, 3},
                       {6, "Z/6", "S6", "KOWALSKI", ymd(2024, 3, 5), false, 8, 2},
                       {7, "Z/7", "S7", "WIŚNIEWSKI", ymd(2024, 3, 5), true, 5, 2},
                       {8, "Z/8", "S8", "KOWALSKI", ymd(2024, 3, 15), true, 7, 4},
                       {10, "Z/10", "S10", "KOWALSKI", ymd(2024, 3, 5), b(kUnknown), 7, 1},
                       {11, "Z/11", "S11", "KOWALSKI", ymd(2024, 3, 5), b(kUnknown), 9, 2},
                       {12, "Z/12", "S12", "NOWAK", ymd(2023, 12, 31), true, 5, 2},
                   });

        Table::create(dir.file("SPRAWY.DBF"),
                      {{"ID", FT::Integer},
                       {"SP_NAZ", FT::String, 50},
                       {"SP_NUM", FT::String, 25},
                       {"SP_OPI", FT::Memo},
                       {"SP_ZAMK", FT::Boolean}},
                      {{"SPRAW_ID", "ID"}});
        appendRows(dir.file("SPRAWY.DBF"), {"ID", "SP_NAZ", "SP_NUM", "SP_OPI", "SP_ZAMK"},
                   {
                       {1, "Sprawa Łąka", "S/1", "opis 1", true},
                       {2, "Sprawa Alfa", "S/2", "", false},
                       {3, "Sprawa Beta", "S/3", "opis 3", false},
                       {4, "Sprawa Zeta", "S/4", "opis 4", false},
                       {5, "Sprawa Ćma", "S/5", "opis 5", false},
                       {6, "Sprawa Nieznana", "S/6", "", b(kUnknown)},
                   });

        Table::create(
            dir.file("REL_SZD.DBF"),
            {{"ID", FT::Integer}, {"RSZ_IDS", FT::Integer}, {"ESZ_ZD", FT::Integer}},
            {{"RSZ_ID", "ID"}, {"RSZ_IDX2", "str(RSZ_IDS) + str(ESZ_ZD)"}, {"ESZ_ZD", "ESZ_ZD"}});
        appendRows(dir.file("REL_SZD.DBF"), {"ID", "RSZ_IDS", "ESZ_ZD"},
                   {{1, 1, 1}, {2, 1, 3}, {3, 2, 1}, {4, 3, 7}, {5, 1, 9}, {6, 1, 12}});

        Table::create(dir.file("ADRESY.DBF"),
                      {{"ID", FT::Integer},
                       {"AD_NAZW", FT::String, 40},
                       {"AD_IMIE", FT::String, 30},
                       {"AD_NAZF", FT::String, 80},
                       {"AD_PRYW", FT::Boolean},
                       {"AD_MIAS", FT::String, 30}},
                      {{"ADR_ID", "ID"}});
        appendRows(dir.file("ADRESY.DBF"), {"ID", "AD_NAZW", "AD_IMIE", "AD_NAZF", "AD_PRYW"},
                   {
                       {1, "Nowak", "Łukasz", "Firma B", true},
                       {2, "Nowak", "Lucyna", "Firma A", false},
                       {3, "Nowak", "Marek", "Ćwiek sp.", true},
                       {4, "Adamski", "Jan", "Zakład", false},
                       {5, "Żak", "Anna", "Alfa", true},
                       {6, "Łoś", "Ewa", "Beta", false},
                       {7, "Lis", "Olga", "Łąka Sp.", false},
                   });

        Table::create(dir.file("USERS.DBF"), {{"ID", FT::Integer}, {"FNAME", FT::String, 40}},
                      {{"USRS_ID", "ID"}});
        appendRows(dir.file("USERS.DBF"), {"ID", "FNAME"},
                   {{1, "Zenon"}, {0, "ADMIN"}, {2, "Adam"}, {3, "Ćwikła"}});
    }

    void TearDown() override { SqlConnection::releaseAll(); }
};

// Integer values of one field over the whole result, in order.
std::vector<std::int64_t> column(Query& q, std::string_view field) {
    std::vector<std::int64_t> out;
    for (q.first(); !q.eof(); q.next())
        out.push_back(q.asInteger(field));
    return out;
}

std::vector<std::string> textColumn(Query& q, std::string_view field) {
    std::vector<std::string> out;
    for (q.first(); !q.eof(); q.next())
        out.push_back(q.asString(field));
    return out;
}

std::vector<std::int64_t> sorted(std::vector<std::int64_t> v) {
    std::sort(v.begin(), v.end());
    return v;
}

using Ids = std::vector<std::int64_t>;

TEST_F(QueryTest, CasesOfAnEventJoinedByParameter) {
    // Both spellings of the statement (ID / id, blanks around '=').
    for (auto sql :
         {std::vector<std::string>{"select ", "\tSPRAWY.SP_NAZ, REL_SZD.ID", "from  ",
                                   "\tREL_SZD, SPRAWY", "where ", "\tREL_SZD.RSZ_IDS = SPRAWY.ID",
                                   "and ", "\tREL_SZD.ESZ_ZD = :id"},
          std::vector<std::string>{"select ", "\tSPRAWY.SP_NAZ, REL_SZD.id", "from  ",
                                   "\tREL_SZD, SPRAWY", "where ", "\tREL_SZD.RSZ_IDS=SPRAWY.id",
                                   "\tand ", "\tREL_SZD.ESZ_ZD = :id"}}) {
        Query q(dir.path());
        q.sql() = sql;
        q.setParam("id", std::int64_t{1});
        q.open();
        ASSERT_EQ(q.fields().size(), 2u);
        EXPECT_EQ(q.fields()[0].name, "SP_NAZ");
        EXPECT_EQ(q.fields()[0].type, FieldType::String);
        EXPECT_EQ(q.fields()[0].size, 50);
        EXPECT_EQ(q.fields()[1].type, FieldType::Integer);
        std::vector<std::pair<std::string, std::int64_t>> got;
        for (q.first(); !q.eof(); q.next())
            got.emplace_back(q.asString(0), q.asInteger(1));
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, (std::vector<std::pair<std::string, std::int64_t>>{{"Sprawa Alfa", 3},
                                                                          {"Sprawa Łąka", 1}}));
        // Another value on reopen: the cached statement is re-bound.
        q.setParam("ID", std::int64_t{7});
        q.open();
        EXPECT_EQ(textColumn(q, "SP_NAZ"), std::vector<std::string>{"Sprawa Beta"});
        q.setParam("id", std::int64_t{999});
        q.open();
        EXPECT_TRUE(q.eof() && q.bof());
        EXPECT_EQ(q.recordCount(), 0u);
    }
}

TEST_F(QueryTest, EventListWithKindAndFilters) {
    const std::string head = "select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ";
    const std::string order = " order by ZD_DAT, ID";
    const std::string dates =
        " and ZD_DAT>= cast(\"3/1/2024\" as date)  and ZD_DAT<= cast(\"3/31/2024\" as date) ";
    auto run = [&](const std::string& where, const std::string& filter) {
        Query q(dir.path());
        q.setSql(head + where + filter + order);
        q.open();
        return column(q, "ID");
    };
    // Kinds below 4, by date then ID.
    EXPECT_EQ(run(" where ZD_TYP < 4 ", ""), (Ids{12, 4, 2, 1, 6, 7, 9, 10, 11, 3, 5}));
    EXPECT_EQ(run(" Where ZD_TYP in ( 2,3 ) ", ""), (Ids{12, 6, 7, 11, 3, 5}));
    // Both date bounds are inclusive.
    EXPECT_EQ(run(" where ZD_TYP < 4 ", dates), (Ids{2, 1, 6, 7, 9, 10, 11, 3}));
    EXPECT_EQ(run(" where ZD_TYP < 4 ", dates + " and ZD_ADR = 7 "), (Ids{2, 1, 10}));
    EXPECT_EQ(run(" where ZD_TYP < 4 ", dates + " and ZD_ADR = 7  and ZD_ODB = \"KOWALSKI\" "),
              (Ids{1, 10}));
    EXPECT_EQ(run(" Where ZD_TYP in ( 2,3 ) ", dates + " and ZD_ODB = \"KOWALSKI\" "),
              (Ids{6, 11, 3}));
    // A recipient typed with a double quote, doubled by the caller.
    EXPECT_EQ(run(" where ZD_TYP < 4 ", " and ZD_ODB = \"O\"\"Brien\" "), (Ids{4}));
    // ... and one that tries to break out of the literal finds nothing instead.
    EXPECT_EQ(run(" where ZD_TYP < 4 ", " and ZD_ODB = \"x\"\" or 1=1 or \"\"\" "), Ids{});
    EXPECT_EQ(run(" where ZD_TYP < 4 ", " and ZD_ODB = \"WIŚNIEWSKI\" "), (Ids{7}));
}

TEST_F(QueryTest, EventsOfKindOne) {
    Query q(dir.path());
    q.sql() = std::vector<std::string>{"select ",   "\tZD_NMR, ZD_DAT,ZD_ADR,id",
                                       "from ",     "\tZDARZ",
                                       "where ",    "\tZD_TYP=1",
                                       "order by ", "\tZD_DAT,ID"};
    q.open();
    EXPECT_EQ(column(q, "ID"), (Ids{4, 2, 1, 9, 10}));
    ASSERT_EQ(q.fields().size(), 4u);
    EXPECT_EQ(q.fields()[3].name, "id");
    EXPECT_EQ(q.fields()[1].type, FieldType::Date);
    q.first();
    EXPECT_EQ(q.asString("ZD_NMR"), "Z/4");
    EXPECT_EQ(q.asDate("ZD_DAT"), ymd(2024, 2, 29));
    EXPECT_EQ(q.asText("zd_dat"), "2024-02-29");
    EXPECT_EQ(q.asInteger("ZD_ADR"), 7);

    Query f(dir.path());
    f.setSql(" select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ where ZD_TYP=1" +
             std::string(" and ZD_DAT>= cast(\"3/1/2024\" as date) ") + " order by ZD_DAT, ID");
    f.open();
    EXPECT_EQ(column(f, "ID"), (Ids{2, 1, 9, 10}));
    EXPECT_EQ(textColumn(f, "ZD_SMB"), (std::vector<std::string>{"S2", "S1", "S9", "S10"}));
}

TEST_F(QueryTest, EventsOfADayAndLogicalComparisons) {
    Query q(dir.path());
    q.setSql(
        " select ZD_NMR, ZD_SMB, ZD_ODB, ZD_ADR   from ZDARZ where ZD_DAT =  cast(\"3/5/2024\" as "
        "date)  and ZD_TYP = 1");
    q.open();
    EXPECT_EQ(sorted(column(q, "ZD_ADR")), (Ids{6, 7, 7}));
    EXPECT_EQ(q.recordCount(), 3u);

    auto adr = [&](const char* logical) {
        Query p(dir.path());
        p.setSql(std::string(" select ZD_ADR   from ZDARZ where ZD_DAT =  cast(\"3/5/2024\" as "
                             "date)  and ZD_POL = \"") +
                 logical + "\"  and ZD_TYP = 2");
        p.open();
        return sorted(column(p, "ZD_ADR"));
    };
    EXPECT_EQ(adr("TRUE"), Ids{5});
    EXPECT_EQ(adr("FALSE"), Ids{8});
    EXPECT_EQ(adr("true"), Ids{5});
    EXPECT_EQ(adr("False"), Ids{8});

    // The logical column reads back as a boolean, unknown as nullopt.
    Query r(dir.path());
    r.setSql("select ZD_POL, ID from ZDARZ where ID in (1, 2, 10) order by ID");
    r.open();
    EXPECT_EQ(r.fields()[0].type, FieldType::Boolean);
    r.first();
    EXPECT_EQ(r.asBoolean(0), std::optional<bool>(true));
    r.next();
    EXPECT_EQ(r.asBoolean(0), std::optional<bool>(false));
    r.next();
    EXPECT_EQ(r.asBoolean(0), std::nullopt);
    EXPECT_TRUE(r.isNull(0));
    EXPECT_EQ(r.asText(0), "");
}

TEST_F(QueryTest, EventsOfACaseWithOptionalFilter) {
    const std::string head =
        " select z.ZD_NMR, z.ZD_SMB, r.ESZ_ZD, r.RSZ_IDS, r.ID from REL_SZD  r  , ZDARZ  z   "
        "where r.RSZ_IDS= :ID and z.ID = r.ESZ_ZD";
    const std::string filter =
        " and ZD_DAT>= cast(\"1/1/2024\" as date)  and ZD_DAT<= cast(\"12/31/2024\" as date)  "
        "and ZD_ADR= 5 ";
    Query q(dir.path());
    q.setSql(head + " order by z.ZD_NMR");
    q.setParam("ID", std::int64_t{1});
    q.open();
    // Text order of the numbers.
    EXPECT_EQ(textColumn(q, "ZD_NMR"), (std::vector<std::string>{"Z/1", "Z/12", "Z/3", "Z/9"}));
    EXPECT_EQ(column(q, "ESZ_ZD"), (Ids{1, 12, 3, 9}));
    EXPECT_EQ(column(q, "RSZ_IDS"), (Ids{1, 1, 1, 1}));
    EXPECT_EQ(column(q, "ID"), (Ids{1, 6, 2, 5}));

    // Event 12 has address 5 too but lies in 2023.
    q.setSql(head + filter + " order by z.ZD_NMR");
    q.open();
    EXPECT_EQ(textColumn(q, "ZD_NMR"), std::vector<std::string>{"Z/3"});
    EXPECT_EQ(textColumn(q, "ZD_SMB"), std::vector<std::string>{"S3"});
}

TEST_F(QueryTest, JoinsAreIndexLookups) {
    Query q(dir.path());
    q.setSql(
        " select z.ZD_NMR, z.ZD_SMB, r.ESZ_ZD, r.RSZ_IDS, r.ID from REL_SZD  r  , ZDARZ  z   "
        "where r.RSZ_IDS= :ID and z.ID = r.ESZ_ZD order by z.ZD_NMR");
    q.setParam("id", std::int64_t{1});
    q.open();
    auto conn = q.connection();
    conn->resetStats();
    q.open();
    EXPECT_EQ(q.recordCount(), 4u);
    auto rel = conn->stats("REL_SZD");
    auto zd = conn->stats("ZDARZ");
    // One range on RSZ_IDX2 for the case, one unique lookup per linked event.
    EXPECT_EQ(rel.fullScans, 0u);
    EXPECT_EQ(rel.indexScans, 1u);
    EXPECT_EQ(rel.rowsRead, 4u);
    EXPECT_EQ(zd.fullScans, 0u);
    EXPECT_EQ(zd.indexScans, 4u);
    EXPECT_EQ(zd.rowsRead, 4u);

    // Statement 1's shape: REL_SZD by ESZ_ZD, SPRAWY by ID.
    Query c(dir.path());
    c.sql() = std::vector<std::string>{
        "select ", "\tSPRAWY.SP_NAZ, REL_SZD.ID",   "from  ", "\tREL_SZD, SPRAWY",
        "where ",  "\tREL_SZD.RSZ_IDS = SPRAWY.ID", "and ",   "\tREL_SZD.ESZ_ZD = :id"};
    c.setParam("id", std::int64_t{1});
    conn->resetStats();
    c.open();
    EXPECT_EQ(c.recordCount(), 2u);
    EXPECT_EQ(conn->stats("REL_SZD").fullScans, 0u);
    EXPECT_EQ(conn->stats("SPRAWY").fullScans, 0u);
    EXPECT_EQ(conn->stats("SPRAWY").rowsRead, 2u);

    // Ranges on an ID tag read only the rows inside.
    Query r(dir.path());
    r.setSql("select ID from ZDARZ where ID >= 3 and ID < 6 order by ID");
    conn->resetStats();
    r.open();
    EXPECT_EQ(column(r, "ID"), (Ids{3, 4, 5}));
    EXPECT_EQ(conn->stats("ZDARZ").fullScans, 0u);
    EXPECT_EQ(conn->stats("ZDARZ").rowsRead, 4u);  // 3, 4, 5 and 6, which SQLite drops

    // A value the column would compare as text is not looked up by number.
    Query t(dir.path());
    t.setSql("select ID from ZDARZ where ID = '3' or ID = 'x'");
    t.open();
    EXPECT_EQ(column(t, "ID"), Ids{3});
    t.setSql("select ID from ZDARZ where ID = 2.5 or ID = 4.0 or ID = null");
    t.open();
    EXPECT_EQ(column(t, "ID"), Ids{4});
}

TEST_F(QueryTest, DateRangesAndTextLookupsThroughTags) {
    Table::create(dir.file("NOTATKI.DBF"),
                  {{"ID", FieldType::Integer},
                   {"NT_DAT", FieldType::Date},
                   {"NT_KTO", FieldType::String, 20}},
                  {{"NT_DAT", "NT_DAT"}, {"NT_KTO", "upper(NT_KTO)"}});
    appendRows(dir.file("NOTATKI.DBF"), {"ID", "NT_DAT", "NT_KTO"},
               {{1, ymd(2024, 2, 29), "Nowak"},
                {2, ymd(2024, 3, 1), "NOWAK"},
                {3, ymd(2024, 3, 15), "nowak"},
                {4, ymd(2024, 3, 31), "Nowakowski"},
                {5, ymd(2024, 4, 1), "Łoś"},
                {6, Date{}, "Nowak"}});
    Query q(dir.path());
    auto conn = SqlConnection::forDirectory(dir.path());
    auto run = [&](const std::string& where) {
        q.setSql("select ID from NOTATKI where " + where + " order by ID");
        conn->resetStats();
        q.open();
        return column(q, "ID");
    };
    EXPECT_EQ(run("NT_DAT >= cast(\"3/1/2024\" as date) and NT_DAT <= cast(\"3/31/2024\" as date)"),
              (Ids{2, 3, 4}));
    EXPECT_EQ(conn->stats("NOTATKI").fullScans, 0u);
    EXPECT_EQ(conn->stats("NOTATKI").rowsRead, 3u);
    EXPECT_EQ(run("NT_DAT > cast(\"3/31/2024\" as date)"), Ids{5});
    EXPECT_EQ(run("NT_DAT < '2024-03-01'"), Ids{1});  // the blank date is NULL
    EXPECT_EQ(conn->stats("NOTATKI").fullScans, 0u);
    // Text that is not a date in the column's form is compared as text by SQLite.
    EXPECT_EQ(run("NT_DAT < '2024-3-2'"), (Ids{1, 2, 3, 4, 5}));
    EXPECT_EQ(run("NT_DAT is null"), Ids{6});

    // The upper-case tag finds every spelling; the comparison keeps the exact one.
    EXPECT_EQ(run("NT_KTO = \"Nowak\""), (Ids{1, 6}));
    EXPECT_EQ(conn->stats("NOTATKI").indexScans, 1u);
    EXPECT_EQ(conn->stats("NOTATKI").rowsRead, 4u);
    EXPECT_EQ(run("NT_KTO = \"Łoś\""), Ids{5});
    EXPECT_EQ(run("NT_KTO = \"Nowak \""), Ids{});
    EXPECT_EQ(run("NT_KTO = \"Nowak\" collate nocase"), (Ids{1, 2, 3, 6}));
    EXPECT_EQ(run("NT_KTO = \"€ nie w CP1250 ж\""), Ids{});
    EXPECT_EQ(run("NT_KTO = \"Nowakowski i wspólnicy sp. j.\""), Ids{});
}

TEST_F(QueryTest, CasesByClosedFlag) {
    auto ids = [&](const std::string& sql) {
        Query q(dir.path());
        q.setSql(sql);
        q.open();
        return sorted(column(q, "ID"));
    };
    EXPECT_EQ(ids(" select SP_NAZ, SP_NUM, ID  from SPRAWY"), (Ids{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ids(" select SP_NAZ, SP_NUM, ID  from SPRAWY  where SP_ZAMK=\"True\" "), Ids{1});
    EXPECT_EQ(ids(" select SP_NAZ, SP_NUM, ID  from SPRAWY  where SP_ZAMK=\"FALSE\" "),
              (Ids{2, 3, 4, 5}));

    // Open cases in Polish order of their names (Ć between C and D), with their memo.
    Query q(dir.path());
    q.setSql("select SP_NAZ, ID, SP_OPI from SPRAWY where SP_ZAMK = \"False\" order by SP_NAZ");
    q.open();
    EXPECT_EQ(column(q, "ID"), (Ids{2, 3, 5, 4}));
    EXPECT_EQ(q.fields()[2].type, FieldType::Memo);
    q.first();
    EXPECT_EQ(q.asString("SP_OPI"), "");
    EXPECT_FALSE(q.isNull("SP_OPI"));
    q.next();
    EXPECT_EQ(q.asString("SP_OPI"), "opis 3");
}

TEST_F(QueryTest, AddressesInPolishOrder) {
    Query q(dir.path());
    q.setSql("select AD_NAZW, AD_Imie, AD_NAZF, id, AD_PRYW from adresy order by AD_NAZW, AD_Imie");
    q.open();
    // Łoś after Lis, Łukasz after Lucyna and before Marek, Żak last.
    EXPECT_EQ(column(q, "ID"), (Ids{4, 7, 6, 2, 1, 3, 5}));
    std::vector<std::string> names;
    for (const auto& f : q.fields())
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"AD_NAZW", "AD_Imie", "AD_NAZF", "id", "AD_PRYW"}));

    auto ids = [&](const std::string& where, const std::string& order) {
        Query p(dir.path());
        p.setSql("select   AD_NAZW, AD_Imie,  AD_NazF, id from   adresy " + where + "order by " +
                 order);
        p.open();
        return column(p, "id");
    };
    EXPECT_EQ(ids("where AD_PRYW=\"TRUE\" ", "  AD_NAZW, AD_Imie "), (Ids{1, 3, 5}));
    EXPECT_EQ(ids("where AD_PRYW=\"FALSE\" ", "  AD_NAZW, AD_Imie "), (Ids{4, 7, 6, 2}));
    EXPECT_EQ(ids(" ", "  AD_NAZW, AD_Imie "), (Ids{4, 7, 6, 2, 1, 3, 5}));
    EXPECT_EQ(ids(" ", "  AD_NAZF"), (Ids{5, 6, 3, 2, 1, 7, 4}));
    EXPECT_EQ(ids("where AD_PRYW=\"TRUE\" ", "  AD_NAZF"), (Ids{5, 3, 1}));
}

TEST_F(QueryTest, UsersFromQuotedFileAndGenericChooser) {
    Query u(dir.path());
    u.sql() = std::vector<std::string>{"select FNAME,id ", "from \"USERS.dbf\"", "where ID <> 0",
                                       "ORDER BY FNAME"};
    u.open();
    EXPECT_EQ(textColumn(u, "FNAME"), (std::vector<std::string>{"Adam", "Ćwikła", "Zenon"}));

    Query g(dir.path());
    g.sql() = std::vector<std::string>{"SELECT AD_NAZW, AD_IMIE ,ID ", "FROM ADRESY",
                                       "WHERE AD_PRYW = \"true\"", "ORDER BY AD_IMIE"};
    g.open();
    EXPECT_EQ(column(g, "ID"), (Ids{5, 1, 3}));
    EXPECT_EQ(textColumn(g, "AD_IMIE"), (std::vector<std::string>{"Anna", "Łukasz", "Marek"}));
}

TEST_F(QueryTest, ResultMetadataAndParameterTypes) {
    Query q(dir.path());
    q.setSql(
        "select count(*) as Ile, max(ZD_DAT), SPRAWY.ID, z.ID from ZDARZ z, SPRAWY "
        "where z.ZD_DAT >= :od and SPRAWY.SP_ZAMK = :zamk and z.ZD_ODB = :odb and SPRAWY.ID = 1");
    q.setParam(":od", ymd(2024, 3, 5));
    q.setParam("zamk", true);
    q.setParam("odb", std::string("KOWALSKI"));
    q.open();
    ASSERT_EQ(q.fields().size(), 4u);
    EXPECT_EQ(q.fields()[0].name, "Ile");
    EXPECT_EQ(q.fields()[0].type, FieldType::Integer);
    EXPECT_EQ(q.fields()[2].name, "ID");
    EXPECT_EQ(q.fields()[3].name, "ID_1");
    // Events of KOWALSKI from 2024-03-05 on: 1, 3, 5, 6, 8, 10, 11.
    EXPECT_EQ(q.asInteger("Ile"), 7);
    EXPECT_EQ(q.asDate(1), ymd(2024, 4, 1));
    EXPECT_EQ(q.asInteger("ID"), 1);
}

TEST_F(QueryTest, NavigationBookmarksAndRecordFilter) {
    Query q(dir.path());
    q.setSql("select ID from ZDARZ order by ID");
    q.open();
    EXPECT_FALSE(q.eof());
    EXPECT_FALSE(q.bof());
    EXPECT_EQ(q.asInteger(0), 1);
    q.prior();
    EXPECT_TRUE(q.bof());
    EXPECT_EQ(q.asInteger(0), 1);
    q.next();
    q.next();
    EXPECT_EQ(q.asInteger(0), 3);
    Bookmark at3 = q.bookmark();
    q.last();
    EXPECT_EQ(q.asInteger(0), 12);
    EXPECT_FALSE(q.eof());
    q.next();
    EXPECT_TRUE(q.eof());
    EXPECT_EQ(q.asInteger(0), 12);
    q.prior();
    EXPECT_EQ(q.asInteger(0), 11);
    q.gotoBookmark(at3);
    EXPECT_EQ(q.asInteger(0), 3);
    EXPECT_THROW(q.gotoBookmark(Bookmark{99}), EDatabaseError);
    EXPECT_EQ(q.recordCount(), 12u);

    // Only even IDs pass.
    q.setRecordFilter([](Cursor& c) { return c.asInteger(0) % 2 == 0; });
    q.setFiltered(true);
    EXPECT_EQ(q.asInteger(0), 2);
    EXPECT_EQ(column(q, "ID"), (Ids{2, 4, 6, 8, 10, 12}));
    EXPECT_EQ(q.recordCount(), 6u);
    q.last();
    EXPECT_EQ(q.asInteger(0), 12);
    q.prior();
    EXPECT_EQ(q.asInteger(0), 10);
    q.setRecordFilter([](Cursor&) { return false; });
    EXPECT_TRUE(q.eof() && q.bof());
    EXPECT_THROW(q.asInteger(0), EDatabaseError);
    q.setFiltered(false);
    EXPECT_EQ(q.recordCount(), 12u);

    q.close();
    EXPECT_FALSE(q.isOpen());
    EXPECT_THROW(q.first(), EDatabaseError);
}

TEST_F(QueryTest, ReopenSeesChangedAndRestructuredTables) {
    Query q(dir.path());
    q.setSql("select SP_NAZ from SPRAWY where SP_ZAMK = \"TRUE\" order by SP_NAZ");
    q.open();
    EXPECT_EQ(q.recordCount(), 1u);
    // A result being read keeps its rows; a new open sees the change.
    Query busy(dir.path());
    busy.setSql("select ID from SPRAWY");
    busy.open();
    appendRows(dir.file("SPRAWY.DBF"), {"ID", "SP_NAZ", "SP_ZAMK"}, {{7, "Sprawa Nowa", true}});
    q.open();
    EXPECT_EQ(textColumn(q, "SP_NAZ"), (std::vector<std::string>{"Sprawa Łąka", "Sprawa Nowa"}));

    // The table is rebuilt with another layout while `busy` still reads the old one.
    Table::remove(dir.file("SPRAWY.DBF"));
    Table::create(dir.file("SPRAWY.DBF"),
                  {{"ID", FieldType::Integer},
                   {"SP_ROK", FieldType::Integer},
                   {"SP_NAZ", FieldType::String, 50},
                   {"SP_ZAMK", FieldType::Boolean}},
                  {{"SPRAW_ID", "ID"}});
    appendRows(dir.file("SPRAWY.DBF"), {"ID", "SP_ROK", "SP_NAZ", "SP_ZAMK"},
               {{1, 2024, "Nowa struktura", true}});
    q.setSql("select SP_NAZ, SP_ROK from SPRAWY where SP_ZAMK = \"TRUE\"");
    q.open();
    EXPECT_EQ(textColumn(q, "SP_NAZ"), std::vector<std::string>{"Nowa struktura"});
    EXPECT_EQ(column(q, "SP_ROK"), Ids{2024});
    // The old statement text (naming SP_OPI, which is gone) now fails cleanly.
    q.setSql("select SP_OPI from SPRAWY");
    EXPECT_THROW(q.open(), EDatabaseError);
    EXPECT_GE(busy.recordCount(), 6u);
}

TEST_F(QueryTest, ErrorsAreDatabaseErrors) {
    auto message = [&](const std::string& sql, bool withParam = false) -> std::string {
        Query q(dir.path());
        q.setSql(sql);
        if (withParam) q.setParam("inny", std::int64_t{1});
        try {
            q.open();
        } catch (const EDatabaseError& e) {
            EXPECT_FALSE(q.isOpen());
            return e.what();
        }
        return "no error";
    };
    EXPECT_NE(message("select * from NIEMA").find("NIEMA"), std::string::npos);
    EXPECT_NE(message("select * from NIEMA").find("Błąd zapytania SQL"), std::string::npos);
    EXPECT_NE(message("select from where").find("Błąd zapytania SQL"), std::string::npos);
    EXPECT_NE(message("select ZD_BRAK from ZDARZ").find("ZD_BRAK"), std::string::npos);
    EXPECT_NE(message("select ID from ZDARZ where ID = :id", true).find(":id"), std::string::npos);
    EXPECT_NE(message("select ID from ZDARZ where ZD_DAT = cast(\"2/30/2024\" as date)")
                  .find("2/30/2024"),
              std::string::npos);
    EXPECT_NE(message("select 1; select 2").find("Błąd zapytania SQL"), std::string::npos);
    // The connection stays usable after errors.
    Query ok(dir.path());
    ok.setSql("select count(*) from ZDARZ");
    ok.open();
    EXPECT_EQ(ok.asInteger(0), 12);
}

TEST_F(QueryTest, IdleQueriesHoldNoTables) {
    Query q(dir.path());
    q.setSql("select ID from ZDARZ");
    q.open();
    // Rows remain to be read: the SQLite cursor keeps the table open.
    EXPECT_THROW(Table::open(dir.file("ZDARZ.DBF"), {.exclusive = true}), EDatabaseError);
    EXPECT_EQ(q.recordCount(), 12u);
    // Everything read: the table is free although the query stays open.
    EXPECT_NO_THROW(Table::open(dir.file("ZDARZ.DBF"), {.exclusive = true}));
    EXPECT_EQ(q.asInteger(0), 9);

    // Two results of one statement at once, and a new table attached in between.
    Query a(dir.path()), c(dir.path());
    a.setSql("select ID from ZDARZ order by ID");
    c.setSql("select ID from ZDARZ order by ID");
    a.open();
    c.open();
    Query u(dir.path());
    u.setSql("select FNAME from \"USERS.dbf\" where ID = 2");
    u.open();
    EXPECT_EQ(u.asString(0), "Adam");
    a.next();
    EXPECT_EQ(a.asInteger(0), 2);
    EXPECT_EQ(c.asInteger(0), 1);
    EXPECT_EQ(a.recordCount(), 12u);
    EXPECT_EQ(c.recordCount(), 12u);
}

TEST(SqlCollationTest, PolishOrder) {
    auto less = [](std::string_view a, std::string_view b) { return comparePolish(a, b) < 0; };
    EXPECT_TRUE(less("Lucyna", "Łukasz"));
    EXPECT_TRUE(less("Łukasz", "Marek"));
    EXPECT_TRUE(less("Lz", "Ła"));
    EXPECT_TRUE(less("a", "ą"));
    EXPECT_TRUE(less("ą", "b"));
    EXPECT_TRUE(less("z", "ź"));
    EXPECT_TRUE(less("ź", "ż"));
    EXPECT_TRUE(less("Ż", "a"));  // upper case first, as in BINARY
    EXPECT_TRUE(less("Zenon", "Ćwikła") == false);
    EXPECT_TRUE(less("Ćwikła", "Dorota"));
    EXPECT_TRUE(less("Ó", "P"));
    EXPECT_TRUE(less("ab", "abc"));
    EXPECT_EQ(comparePolish("Łąka", "Łąka"), 0);
    // A total order: distinct strings never tie, also with malformed bytes or letters from
    // outside the alphabet.
    const std::vector<std::string> words = {"a", "A", "ą", "Ą",  "\xC5", "\xC5\x81x", "é", "\xFF",
                                            "",  "Ł", "ł", "Lu", "ž",    "\xC5\x82",  "z", "ß"};
    for (const auto& x : words)
        for (const auto& y : words) {
            EXPECT_EQ(comparePolish(x, y) == 0, x == y) << x << " / " << y;
            EXPECT_EQ(comparePolish(x, y), -comparePolish(y, x)) << x << " / " << y;
            for (const auto& z : words) {
                if (comparePolish(x, y) < 0 && comparePolish(y, z) < 0) {
                    EXPECT_LT(comparePolish(x, z), 0) << x << " / " << y << " / " << z;
                }
            }
        }
}

}  // namespace
}  // namespace pulpex::engine
