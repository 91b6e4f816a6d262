// The start-up walk over the catalogue and restructuring, on a small table of the tests' own, so
// that every path (creation, index repair, restructure, recovery after a crash) is driven on
// real files.
#include "tables/catalogue.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/testenv.h"
#include "tables/fieldio.h"
#include "tables/tbase.h"

namespace pulpex {
namespace {

class TRec_Probe : public TOT_Record {
  public:
    int ID = 0;
    QString PR_NAZ;
    TBin PR_OPIS;
    QDate PR_DAT;
    void StoreFields(TOT_Table& t) override {
        setFieldInt(t.T(), "ID", ID);
        setFieldString(t.T(), "PR_NAZ", PR_NAZ);
        setFieldDate(t.T(), "PR_DAT", PR_DAT);
        PR_OPIS.SaveTextToBlob(t, "PR_OPIS");
        TOT_Record::StoreFields(t);
    }
    void LoadFields(TOT_Table& t) override {
        ID = fieldInt(t.T(), "ID");
        PR_NAZ = fieldString(t.T(), "PR_NAZ");
        PR_DAT = fieldDate(t.T(), "PR_DAT");
        PR_OPIS.LoadTextFromBlob(t, "PR_OPIS");
        TOT_Record::LoadFields(t);
    }
};

class TTbl_Probe : public TOT_Table {
  public:
    explicit TTbl_Probe(int nameSize = 25, bool extraField = false) : TOT_Table("PROBE") {
        IDIndexName = "PRB_ID";
        HousekeepingOn = false;
        std::vector<TFieldDefinition> fields = {{"ID", TFieldType::Integer},
                                                {"PR_NAZ", TFieldType::String, nameSize},
                                                {"PR_OPIS", TFieldType::Memo, 10},
                                                {"PR_DAT", TFieldType::Date}};
        if (extraField) fields.push_back({"PR_NOWE", TFieldType::String, 5});
        CreateInfo.SetDefinitions(
            fields, {{"PRB_ID", "ID", "", ixPrimary},
                     {"PRB_NAZ", "PR_NAZ", "upper(PR_NAZ)", ixExpression | ixUnique | ixPrimary}});
    }
    void PreInit() override { ++preInits; }
    int preInits = 0;
};

int addProbe(TOT_Table& t, const QString& name, const QString& memo) {
    TRec_Probe r;
    r.PR_NAZ = name;
    r.PR_OPIS.SetText(memo);
    r.PR_DAT = QDate(2024, 3, 5);
    int id = 0;
    t.OT_AddNew(id, r);
    return id;
}

std::vector<TCatalogueEntry> catalogueOf(std::unique_ptr<TOT_Table> t) {
    std::vector<TCatalogueEntry> v;
    v.push_back({std::move(t), "Próbna"});
    return v;
}

class CatalogueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetCatalogueActionLog([this](const QString& line) { actions << line; });
    }
    void TearDown() override { SetCatalogueActionLog({}); }
    QString path(const QString& name) const { return env.dataDir() + name; }
    bool exists(const QString& name) const { return QFileInfo::exists(path(name)); }

    test::TestSystem env;
    QStringList actions;
};

TEST_F(CatalogueTest, MissingTableIsCreatedWithItsTagsAndSeeded) {
    auto entries = catalogueOf(std::make_unique<TTbl_Probe>());
    auto& probe = static_cast<TTbl_Probe&>(*entries[0].table);
    ASSERT_TRUE(CheckCatalogue(entries));
    EXPECT_EQ(probe.preInits, 1);
    EXPECT_TRUE(exists("PROBE.DBF"));
    EXPECT_TRUE(exists("PROBE.MDX"));
    ASSERT_TRUE(probe.Active());
    const auto tags = probe.T().tags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[1].key, "upper(PR_NAZ)");  // the expression, not the field list
    EXPECT_EQ(actions.size(), 1);

    // A second walk over a sound table changes nothing.
    actions.clear();
    ASSERT_TRUE(CheckCatalogue(entries));
    EXPECT_TRUE(actions.isEmpty());
    EXPECT_EQ(probe.preInits, 1);
    EXPECT_TRUE(env.prompts.shown().empty());
}

TEST_F(CatalogueTest, DeletedIndexFileIsRebuiltFromTheSchema) {
    {
        TTbl_Probe t;
        ASSERT_TRUE(t.CreateTableSelf());
        t.Open();
        for (int i = 0; i < 5; ++i)
            addProbe(t, QStringLiteral("Łódź %1").arg(i), "x");
    }
    ASSERT_TRUE(QFile::remove(path("PROBE.MDX")));
    auto entries = catalogueOf(std::make_unique<TTbl_Probe>());
    ASSERT_TRUE(CheckCatalogue(entries));
    TOT_Table& t = *entries[0].table;
    EXPECT_TRUE(exists("PROBE.MDX"));
    ASSERT_TRUE(t.LocateID(4));
    EXPECT_EQ(fieldString(t.T(), "PR_NAZ"), "Łódź 3");
    t.SetIndex("PRB_NAZ");
    EXPECT_TRUE(t.T().findKey(engine::Value{std::string("ŁÓDŹ 2")}));
    EXPECT_TRUE(actions.join('\n').contains("Odbudowano indeks"));
}

TEST_F(CatalogueTest, TagMissingFromTheIndexFileIsAddedBack) {
    {
        TTbl_Probe t;
        t.CreateInfo.SetDefinitions(t.CreateInfo.Fields(), {t.CreateInfo.Indexes()[0]});
        ASSERT_TRUE(t.CreateTableSelf());
        t.Open();
        addProbe(t, "Alfa", "");
    }
    auto entries = catalogueOf(std::make_unique<TTbl_Probe>());
    ASSERT_TRUE(CheckCatalogue(entries));
    TOT_Table& t = *entries[0].table;
    t.SetIndex("PRB_NAZ");
    EXPECT_TRUE(t.T().findKey(engine::Value{std::string("ALFA")}));
}

TEST_F(CatalogueTest, ShortStringFieldIsRestructuredKeepingRows) {
    {
        TTbl_Probe old(10);
        ASSERT_TRUE(old.CreateTableSelf());
        old.Open();
        addProbe(old, "Gęś", "pierwsza\r\nnotatka");
        addProbe(old, "Żółw", "");
        addProbe(old, "Dziesięć..", "trzecia");
        old.Open();
        ASSERT_TRUE(old.LocateID(2));
        old.T().edit();
        old.T().deleteRecord();  // deleted rows do not come back
    }
    auto entries = catalogueOf(std::make_unique<TTbl_Probe>(25, true));
    ASSERT_TRUE(CheckCatalogue(entries));
    const QStringList texts = env.prompts.texts();
    ASSERT_GE(texts.size(), 2);
    EXPECT_EQ(texts[0], "Błędna struktura bazy : PROBE");
    EXPECT_EQ(texts[1], "Restrukturyzacja :  OK");
    EXPECT_EQ(env.prompts.beeps, 1);

    TOT_Table& t = *entries[0].table;
    ASSERT_TRUE(t.Active());
    EXPECT_TRUE(t.CheckStructure());
    EXPECT_EQ(t.T().recordCount(), 2u);
    TRec_Probe r;
    ASSERT_TRUE(t.ReadRecordByID(1, r));
    EXPECT_EQ(r.PR_NAZ, "Gęś");
    EXPECT_EQ(r.PR_OPIS.GetText(), "pierwsza\r\nnotatka");
    EXPECT_EQ(r.PR_DAT, QDate(2024, 3, 5));
    ASSERT_TRUE(t.ReadRecordByID(3, r));
    EXPECT_EQ(r.PR_NAZ, "Dziesięć..");
    EXPECT_FALSE(t.LocateID(2));
    // The tags were built for the new file, and the next identifier follows the old ones.
    EXPECT_EQ(addProbe(t, "Nowy", ""), 4);
    EXPECT_FALSE(exists("RESTR.DBF"));
    EXPECT_FALSE(exists("RESTR_PROBE.DBF"));
    // The old files wait in the archive.
    const QStringList arc = QDir(env.sys->ArchiveDir).entryList({"PROBE-*"}, QDir::Dirs);
    ASSERT_EQ(arc.size(), 1);
    for (const char* f : {"/PROBE.DBF", "/PROBE.DBT", "/PROBE.MDX"})
        EXPECT_TRUE(QFileInfo::exists(env.sys->ArchiveDir + arc[0] + f)) << f;
}

// A string field wider in the file than in the schema holds every value the schema allows: it is
// compatible, and a restructure for another reason keeps it wide, texts whole.
TEST_F(CatalogueTest, WiderStringFieldStaysWide) {
    const QString longName = QStringLiteral("Przedsiębiorstwo Handlowo-Usługowe");
    {
        TTbl_Probe old(40);
        ASSERT_TRUE(old.CreateTableSelf());
        old.Open();
        addProbe(old, longName, "");
    }
    {
        auto entries = catalogueOf(std::make_unique<TTbl_Probe>(12));
        ASSERT_TRUE(CheckCatalogue(entries));
        EXPECT_TRUE(env.prompts.texts().isEmpty());
    }
    auto entries = catalogueOf(std::make_unique<TTbl_Probe>(12, true));
    ASSERT_TRUE(CheckCatalogue(entries));
    EXPECT_EQ(env.prompts.texts().value(1), "Restrukturyzacja :  OK");
    TOT_Table& t = *entries[0].table;
    EXPECT_EQ(test::layout(t.T()).substr(0, 23), "ID:N11 PR_NAZ:C40 PR_OP");
    TRec_Probe r;
    ASSERT_TRUE(t.ReadRecordByID(1, r));
    EXPECT_EQ(r.PR_NAZ, longName);
}

// A crash after the old files were moved aside and before the new ones took their place: the
// table file is missing. The check must bring the old rows back, not create an empty table.
TEST_F(CatalogueTest, InterruptedSwapPutsTheOldRowsBack) {
    {
        TTbl_Probe old(10);
        ASSERT_TRUE(old.CreateTableSelf());
        old.Open();
        addProbe(old, "Jeden", "a");
        addProbe(old, "Dwa", "b");
    }
    engine::Table::rename(u8(path("PROBE.DBF")), u8(path("RESTR_PROBE.DBF")));
    {
        // A half-built scratch table from the interrupted run.
        TTbl_Probe scratch(25);
        scratch.TableName = "restr.dbf";
        ASSERT_TRUE(scratch.CreateTableSelf());
    }
    auto entries = catalogueOf(std::make_unique<TTbl_Probe>(25));
    auto& probe = static_cast<TTbl_Probe&>(*entries[0].table);
    ASSERT_TRUE(CheckCatalogue(entries));
    EXPECT_EQ(probe.preInits, 0);  // not created anew
    EXPECT_EQ(probe.T().recordCount(), 2u);
    TRec_Probe r;
    ASSERT_TRUE(probe.ReadRecordByID(2, r));
    EXPECT_EQ(r.PR_NAZ, "Dwa");
    EXPECT_TRUE(probe.CheckStructure());
    EXPECT_FALSE(exists("RESTR_PROBE.DBF"));
    EXPECT_FALSE(exists("RESTR.DBF"));
}

// A crash after the swap, before the old copy was moved to the archive: the new table is complete
// and stays; the old copy goes to the archive.
TEST_F(CatalogueTest, FinishedSwapDropsTheOldCopy) {
    {
        TTbl_Probe fresh(25);
        ASSERT_TRUE(fresh.CreateTableSelf());
        fresh.Open();
        addProbe(fresh, "Nowa", "");
        TTbl_Probe old(10);
        old.TableName = "RESTR_PROBE";
        ASSERT_TRUE(old.CreateTableSelf());
        old.Open();
        addProbe(old, "Stara", "");
        addProbe(old, "Stara 2", "");
    }
    auto entries = catalogueOf(std::make_unique<TTbl_Probe>(25));
    ASSERT_TRUE(CheckCatalogue(entries));
    EXPECT_FALSE(exists("RESTR_PROBE.DBF"));
    EXPECT_FALSE(exists("RESTR_PROBE.DBT"));
    EXPECT_EQ(entries[0].table->T().recordCount(), 1u);
    const QStringList arc = QDir(env.sys->ArchiveDir).entryList({"PROBE-*"}, QDir::Dirs);
    ASSERT_EQ(arc.size(), 1);
    auto old = engine::Table::open(u8(env.sys->ArchiveDir + arc[0] + "/PROBE.DBF"));
    EXPECT_EQ(old->recordCount(), 2u);
}

// A left-over scratch table never holds the only copy of anything: the rows come from the table.
TEST_F(CatalogueTest, LeftOverScratchTableDoesNotDisturbARestructure) {
    {
        TTbl_Probe scratch(25);
        scratch.TableName = "restr.dbf";
        ASSERT_TRUE(scratch.CreateTableSelf());
        scratch.Open();
        addProbe(scratch, "Śmieć", "");
        TTbl_Probe old(10);
        ASSERT_TRUE(old.CreateTableSelf());
        old.Open();
        addProbe(old, "Prawdziwy", "");
    }
    auto entries = catalogueOf(std::make_unique<TTbl_Probe>(25));
    ASSERT_TRUE(CheckCatalogue(entries));
    TOT_Table& t = *entries[0].table;
    EXPECT_EQ(t.T().recordCount(), 1u);
    TRec_Probe r;
    ASSERT_TRUE(t.ReadRecordByID(1, r));
    EXPECT_EQ(r.PR_NAZ, "Prawdziwy");
}

// A restructure that cannot have the table to itself (another workstation has it open) leaves
// the table as it was and says so.
TEST_F(CatalogueTest, RestructureOfATableInUseFailsAndKeepsIt) {
    {
        TTbl_Probe old(10);
        ASSERT_TRUE(old.CreateTableSelf());
        old.Open();
        addProbe(old, "Zajęta", "");
    }
    auto other = engine::Table::open(u8(path("PROBE.DBF")));
    TTbl_Probe t(25);
    EXPECT_FALSE(Restructure(t));
    other.reset();
    EXPECT_FALSE(t.CheckStructure());
    TRec_Probe r;
    t.Open();
    ASSERT_TRUE(t.ReadRecordByID(1, r));
    EXPECT_EQ(r.PR_NAZ, "Zajęta");
    EXPECT_FALSE(exists("RESTR.DBF"));
}

// A filter or range on the shared cursor must not hide the highest identifier.
TEST_F(CatalogueTest, NewIdentifierIgnoresTheSharedCursorsFilter) {
    TTbl_Probe t;
    ASSERT_TRUE(t.CreateTableSelf());
    t.Open();
    for (const char* n : {"a", "b", "c"})
        addProbe(t, n, "");
    t.T().setFilter("ID=1");
    EXPECT_EQ(addProbe(t, "d", ""), 4);
    t.T().setFilter("");
    t.SetIndex("PRB_NAZ");
    t.T().setRange({engine::Value{std::string("A")}}, {engine::Value{std::string("A")}});
    EXPECT_EQ(addProbe(t, "e", ""), 5);
    t.T().cancelRange();
    EXPECT_EQ(t.T().recordCount(), 5u);
}

TEST_F(CatalogueTest, FieldCompatibility) {
    engine::FieldInfo c11{"T", 'C', 11, 0, engine::FieldType::String, 1};
    engine::FieldInfo c30{"T", 'C', 30, 0, engine::FieldType::String, 1};
    engine::FieldInfo n11{"N", 'N', 11, 0, engine::FieldType::Integer, 1};
    engine::FieldInfo f{"N", 'N', 11, 2, engine::FieldType::Float, 1};
    EXPECT_TRUE(TOT_Table::FieldCompatible(c11, {"T", TFieldType::Time}, false));
    EXPECT_FALSE(TOT_Table::FieldCompatible(c30, {"T", TFieldType::Time}, false));
    EXPECT_TRUE(TOT_Table::FieldCompatible(c30, {"T", TFieldType::DateTime}, false));
    EXPECT_FALSE(TOT_Table::FieldCompatible(c11, {"T", TFieldType::String, 25}, false));
    EXPECT_TRUE(TOT_Table::FieldCompatible(c30, {"T", TFieldType::String, 25}, false));
    EXPECT_TRUE(TOT_Table::FieldCompatible(c11, {"T", TFieldType::String, 25}, true));
    EXPECT_TRUE(TOT_Table::FieldCompatible(f, {"N", TFieldType::Integer}, false));
    EXPECT_FALSE(TOT_Table::FieldCompatible(n11, {"N", TFieldType::Boolean}, true));
    EXPECT_FALSE(TOT_Table::FieldCompatible(n11, {"N", TFieldType::String, 11}, true));
}

TEST_F(CatalogueTest, IndexStateFollowsTheHeaderFlag) {
    TTbl_Probe t;
    EXPECT_TRUE(t.IndexStateConsistent());  // no table file
    ASSERT_TRUE(t.CreateTableSelf());
    EXPECT_TRUE(t.IndexStateConsistent());
    ASSERT_TRUE(QFile::remove(path("PROBE.MDX")));
    EXPECT_FALSE(t.IndexStateConsistent());
    ASSERT_TRUE(t.DropProductionIndex());
    EXPECT_TRUE(t.IndexStateConsistent());
    t.Open();  // opens without tags now
    EXPECT_TRUE(t.T().tags().empty());
}

}  // namespace
}  // namespace pulpex
