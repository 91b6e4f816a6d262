#include "tables/engine/sql_dialect.h"

#include <gtest/gtest.h>

#include "tables/engine/error.h"

namespace pulpex::engine {
namespace {

std::string tr(std::string_view sql) {
    return translateSql(sql).sql;
}

TEST(SqlDialectTest, DoubleQuotedLiteralsBecomeSingleQuoted) {
    EXPECT_EQ(tr("select a from t where b = \"KOWALSKI\""), "select a from t where b = 'KOWALSKI'");
    // A doubled double quote is one character of the literal, not its end.
    EXPECT_EQ(tr("where ZD_ODB = \"O\"\"Brien\" and x=1"), "where ZD_ODB = 'O\"Brien' and x=1");
    // A single quote inside is escaped for SQLite.
    EXPECT_EQ(tr("where a = \"It's\""), "where a = 'It''s'");
    EXPECT_EQ(tr("where a = \"\""), "where a = ''");
    // A user text that tries to close the literal stays inside it.
    EXPECT_EQ(tr("where a = \"x\"\" or 1=1 --\""), "where a = 'x\" or 1=1 --'");
    EXPECT_EQ(tr("where a = \"x' or '1'='1\""), "where a = 'x'' or ''1''=''1'");
}

TEST(SqlDialectTest, OtherQuotingPassesThrough) {
    // Single-quoted literals, bracketed and backquoted identifiers and comments are copied,
    // including the double quotes inside them.
    EXPECT_EQ(tr("where a = 'say \"hi\"' and [odd \"name\"] = `x\"y` -- \"c\"\n"),
              "where a = 'say \"hi\"' and [odd \"name\"] = `x\"y` -- \"c\"\n");
    EXPECT_EQ(tr("select /* \"from\" */ a from t"), "select /* \"from\" */ a from t");
    EXPECT_EQ(tr("where a = ':id' and b = :id"), "where a = ':id' and b = :id");
    EXPECT_THROW(tr("where a = \"unterminated"), EDatabaseError);
}

TEST(SqlDialectTest, TableFilesAndNames) {
    auto t = translateSql("select FNAME,id \nfrom \"USERS.dbf\"\nwhere ID <> 0\nORDER BY FNAME");
    EXPECT_EQ(t.sql, "select FNAME,id \nfrom \"USERS\"\nwhere ID <> 0\nORDER BY FNAME");
    EXPECT_EQ(t.tables, std::vector<std::string>{"USERS"});

    t = translateSql(
        " select z.ZD_NMR from REL_SZD  r  , ZDARZ  z   where r.RSZ_IDS= :ID and z.ID = "
        "r.ESZ_ZD");
    EXPECT_EQ(t.tables, (std::vector<std::string>{"REL_SZD", "ZDARZ"}));
    EXPECT_NE(t.sql.find("from REL_SZD  r  , ZDARZ  z"), std::string::npos);

    t = translateSql("select * from adresy a, \"sprawy.DBF\" s, adresy");
    EXPECT_EQ(t.tables, (std::vector<std::string>{"ADRESY", "SPRAWY"}));
    EXPECT_EQ(t.sql, "select * from adresy a, \"SPRAWY\" s, adresy");

    // Joins, sub-queries and a bare NAME.DBF.
    t = translateSql(
        "select a from A join \"B.dbf\" on A.x = \"lit\" left join C.dbf c using (k), D "
        "where a in (select y from \"E.dbf\" where z = \"F.dbf\")");
    EXPECT_EQ(t.tables, (std::vector<std::string>{"A", "B", "C", "D", "E"}));
    EXPECT_EQ(t.sql,
              "select a from A join \"B\" on A.x = 'lit' left join \"C\" c using (k), D "
              "where a in (select y from \"E\" where z = 'F.dbf')");

    // Outside a FROM list a double-quoted text is always a literal.
    t = translateSql("select \"USERS.dbf\", x from T where y = \"T.dbf\"");
    EXPECT_EQ(t.sql, "select 'USERS.dbf', x from T where y = 'T.dbf'");
    EXPECT_EQ(t.tables, std::vector<std::string>{"T"});
}

TEST(SqlDialectTest, DateCasts) {
    EXPECT_EQ(tr("where ZD_DAT =  cast(\"3/5/2024\" as date)  and ZD_TYP = 1"),
              "where ZD_DAT =  '2024-03-05'  and ZD_TYP = 1");
    EXPECT_EQ(tr("ZD_DAT>= cast(\"1/1/2024\" as date)  and ZD_DAT<= CAST ( \"12/31/2024\"\tAS\n"
                 "Date )"),
              "ZD_DAT>= '2024-01-01'  and ZD_DAT<= '2024-12-31'");
    EXPECT_EQ(tr("d = cast('02/29/2024' as date)"), "d = '2024-02-29'");
    EXPECT_EQ(tr("d = cast(\"2024-3-7\" as date)"), "d = '2024-03-07'");
    // A parameter is bound as ISO text already.
    EXPECT_EQ(tr("d >= cast(:od as date)"), "d >= :od");
    // Casts to other types are SQLite's.
    EXPECT_EQ(tr("cast(\"12\" as integer)"), "cast('12' as integer)");

    for (const char* bad : {"2/30/2024", "13/1/2024", "0/1/2024", "3/5/24", "abc", "", "3/5",
                            "3/5/2024/1", "1/1/10000"}) {
        std::string sql = std::string("where d = cast(\"") + bad + "\" as date)";
        try {
            tr(sql);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("data"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(parseDialectDate(" 2/29/2000 "), "2000-02-29");
    EXPECT_EQ(parseDialectDate("2/29/1900"), "");
    EXPECT_EQ(parseDialectDate("12/1/1999"), "1999-12-01");
}

TEST(SqlDialectTest, BooleansParametersAndWhitespaceAreKept) {
    EXPECT_EQ(tr(" select SP_NAZ  from SPRAWY  where SP_ZAMK=\"True\" "),
              " select SP_NAZ  from SPRAWY  where SP_ZAMK='True' ");
    EXPECT_EQ(tr("where AD_PRYW=\"FALSE\" and ZD_POL = \"TRUE\""),
              "where AD_PRYW='FALSE' and ZD_POL = 'TRUE'");
    std::string lines =
        "select \n\tSPRAWY.SP_NAZ, REL_SZD.ID\nfrom  \n\tREL_SZD, SPRAWY\nwhere \n\t"
        "REL_SZD.RSZ_IDS = SPRAWY.ID\nand \n\tREL_SZD.ESZ_ZD = :id";
    auto t = translateSql(lines);
    EXPECT_EQ(t.sql, lines);
    EXPECT_EQ(t.tables, (std::vector<std::string>{"REL_SZD", "SPRAWY"}));
    EXPECT_EQ(t.columnNames, (std::vector<std::string>{"SP_NAZ", "ID"}));
}

TEST(SqlDialectTest, ColumnNamesAsWritten) {
    EXPECT_EQ(translateSql("select AD_NAZW, AD_Imie, AD_NAZF, id, AD_PRYW from adresy").columnNames,
              (std::vector<std::string>{"AD_NAZW", "AD_Imie", "AD_NAZF", "id", "AD_PRYW"}));
    EXPECT_EQ(translateSql("SELECT DISTINCT z.ZD_NMR, count(*) as Ile, max(a, b) m, a+1, "
                           "f(x) AS \"Nazwa\" FROM t z")
                  .columnNames,
              (std::vector<std::string>{"ZD_NMR", "Ile", "m", "", "Nazwa"}));
    EXPECT_TRUE(translateSql("select * from t").columnNames.empty());
    EXPECT_TRUE(translateSql("select a, t.* from t").columnNames.empty());
    EXPECT_EQ(translateSql("select (select max(x) from u), b from t").columnNames,
              (std::vector<std::string>{"", "b"}));
}

}  // namespace
}  // namespace pulpex::engine
