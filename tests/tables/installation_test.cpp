// The whole catalogue on an installation directory: a new installation, a second start that
// changes nothing, and the repairs the start-up check makes on damaged data.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <map>

#include "core/pulpex_system.h"
#include "support/testenv.h"
#include "tables/am_diags.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/users.h"

namespace pulpex {
namespace {

struct F {
    const char* name;
    char type;
    int size;
};
struct Schema {
    const char* table;
    std::vector<F> fields;
    std::vector<std::pair<const char*, const char*>> tags;  // name, key
};

// The files every installation must have, written down independently of the table classes.
std::vector<Schema> expectedSchemas() {
    const F id{"ID", 'N', 11};
    std::vector<F> adresy = {id, {"AD_NAZF", 'C', 50}};
    for (const char* n : {"AD_NAZW", "AD_IMIE", "AD_ULIC", "AD_DOM", "AD_LOKA", "AD_KOD", "AD_MIAS",
                          "AD_TEL1", "AD_TEL2", "AD_TEL3", "AD_FAX"})
        adresy.push_back({n, 'C', 25});
    adresy.push_back({"AD_MAIL", 'C', 50});
    adresy.push_back({"AD_PRYW", 'L', 1});
    for (const char* n : {"AD_WOL1", "AD_WOL2", "AD_WOL3", "AD_WOL4", "AD_WOL5"})
        adresy.push_back({n, 'C', 50});
    adresy.push_back({"AD_OPIS", 'M', 10});
    adresy.push_back({"AD_OLE", 'M', 10});
    adresy.push_back({"AD_NIP", 'C', 25});
    std::vector<F> koresp = {id, {"KOR_OPI", 'C', 25}, {"KOR_TRS", 'M', 10}};
    for (const char* n : {"KOR_US01", "KOR_US02", "KOR_US03", "KOR_US04", "KOR_US05", "KOR_US06",
                          "KOR_US07", "KOR_US08", "KOR_US09"})
        koresp.push_back({n, 'C', 25});
    return {
        {"USERS",
         {id,
          {"FNAME", 'C', 25},
          {"USER_ISA", 'L', 1},
          {"PRSN_PSW", 'N', 11},
          {"PRSN_HSH", 'C', 128}},
         {{"USRS_ID", "ID"}, {"FNAME", "FNAME"}}},
        {"TBLID", {{"TBID_RSC", 'C', 25}, id}, {{"TBIDRSID", "TBID_RSC"}}},
        {"DIAGS", {{"DATKA", 'C', 30}, {"OPIS1", 'C', 250}, {"OPIS2", 'C', 250}}, {}},
        {"ZDARZ",
         {id,
          {"ZD_NMR", 'C', 25},
          {"ZD_SMB", 'C', 25},
          {"ZD_ODB", 'C', 25},
          {"ZD_DAT", 'D', 8},
          {"ZD_POL", 'L', 1},
          {"ZD_DOP", 'N', 11},
          {"ZD_ADR", 'N', 11},
          {"ZD_TRE", 'M', 10},
          {"ZD_OPIS", 'M', 10},
          {"ZD_TYP", 'N', 11}},
         {{"ZDARZ_ID", "ID"}}},
        {"SPRAWY",
         {id, {"SP_NAZ", 'C', 50}, {"SP_NUM", 'C', 25}, {"SP_OPI", 'M', 10}, {"SP_ZAMK", 'L', 1}},
         {{"SPRAW_ID", "ID"}}},
        {"REL_SZD",
         {id, {"RSZ_IDS", 'N', 11}, {"ESZ_ZD", 'N', 11}},
         {{"RSZ_ID", "ID"}, {"RSZ_IDX2", "str(RSZ_IDS) + str(ESZ_ZD)"}, {"ESZ_ZD", "ESZ_ZD"}}},
        {"REL_SK",
         {{"RSK_SPR", 'N', 11}, {"RSK_KLS", 'N', 11}},
         {{"RSK_ID", "str(RSK_SPR) +str(RSK_KLS)"}, {"RSK_KLS", "RSK_KLS"}}},
        {"PISMA",
         {id,
          {"ZDARZ_ID", 'N', 11},
          {"RYSUNEK", 'B', 10},
          {"PIS_OLE", 'M', 10},
          {"PIS_TYP", 'N', 11},
          {"PIS_IDX", 'M', 10},
          {"PIS_REX", 'N', 11},
          {"PIS_REY", 'N', 11}},
         {{"PISM_ID", "ID"}, {"ZDARZ_ID", "ZDARZ_ID"}}},
        {"NOTKI",
         {id, {"NT_DAT", 'D', 8}, {"NT_ODCZ", 'L', 1}, {"NT_OPI", 'M', 10}},
         {{"NTK_ID", "ID"}, {"NT_DAT", "NT_DAT"}}},
        {"KORESP", koresp, {{"KOR_ID", "ID"}, {"KOR_OPI", "KOR_OPI"}}},
        {"KLSPRAW", {id, {"KS_NAZW", 'C', 25}}, {{"KLS_ID", "ID"}, {"KS_NAZW", "KS_NAZW"}}},
        {"ALARM",
         {id,
          {"ALR_DAT", 'D', 8},
          {"ALR_GDZ", 'C', 11},
          {"ALR_AKT", 'L', 1},
          {"ALR_CDZ", 'L', 1},
          {"ALR_ODC", 'L', 1},
          {"ALR_OPI", 'M', 10}},
         {{"ALR_ID", "ID"}, {"ALR_DAT", "ALR_DAT"}}},
        {"ADRESY", adresy, {{"ADR_ID", "ID"}}},
    };
}

std::map<QString, QByteArray> snapshot(const QString& dir) {
    std::map<QString, QByteArray> out;
    for (const QString& name : QDir(dir).entryList(QDir::Files)) {
        QFile f(dir + name);
        if (f.open(QIODevice::ReadOnly))
            out[name] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }
    return out;
}

class Installation : public ::testing::Test {
  protected:
    void SetUp() override { start(); }
    void start() {
        sys.reset();
        sys = std::make_unique<TPulpex_System>(env.mainDir());
        sys->probeDir = env.dir.path();
    }
    std::unique_ptr<engine::Table> open(const char* table) {
        return engine::Table::open(u8(env.dataDir()) + table + ".DBF");
    }
    QStringList diags() {
        QStringList out;
        auto t = open("DIAGS");
        for (t->first(); !t->eof(); t->next())
            out << qs(t->asString("OPIS1")) + " | " + qs(t->asString("OPIS2"));
        return out;
    }

    test::TestSystem env{false};
    std::unique_ptr<TPulpex_System> sys;
};

TEST_F(Installation, NewInstallationHasEveryTableAndTheSeedRows) {
    ASSERT_TRUE(sys->CheckTables());
    EXPECT_EQ(sys->TableCount(), 13);
    EXPECT_TRUE(env.prompts.shown().empty());
    for (const Schema& s : expectedSchemas()) {
        SCOPED_TRACE(s.table);
        auto t = open(s.table);
        const auto& fields = t->fields();
        ASSERT_EQ(fields.size(), s.fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(fields[i].name, s.fields[i].name);
            EXPECT_EQ(fields[i].dbfType, s.fields[i].type) << fields[i].name;
            EXPECT_EQ(fields[i].size, s.fields[i].size) << fields[i].name;
        }
        const auto tags = t->tags();
        ASSERT_EQ(tags.size(), s.tags.size());
        for (std::size_t i = 0; i < tags.size(); ++i) {
            EXPECT_EQ(tags[i].name, s.tags[i].first);
            EXPECT_EQ(tags[i].key, s.tags[i].second);
        }
        const std::uint64_t rows = t->recordCount();
        if (s.table == std::string("ADRESY") || s.table == std::string("USERS"))
            EXPECT_EQ(rows, 1u);
        else
            EXPECT_EQ(rows, 0u);
    }
    auto users = open("USERS");
    users->first();
    EXPECT_EQ(users->asString("FNAME"), "ADMINISTRATOR");
    EXPECT_EQ(users->asBoolean("USER_ISA"), true);
    EXPECT_EQ(users->asInteger("PRSN_PSW"), 6150427);
    EXPECT_EQ(users->asInteger("ID"), 1);

    // A second start changes no file.
    const auto before = snapshot(env.dataDir());
    sys->ShutdownTables();
    EXPECT_EQ(sys->TableCount(), 0);
    EXPECT_EQ(TblUsers, nullptr);
    const auto afterShutdown = snapshot(env.dataDir());
    start();
    ASSERT_TRUE(sys->CheckTables());
    sys.reset();
    EXPECT_EQ(snapshot(env.dataDir()), afterShutdown);
    EXPECT_EQ(before.size(), afterShutdown.size());
}

TEST_F(Installation, ShutdownLogsAndReleasesTheTables) {
    ASSERT_TRUE(sys->CheckTables());
    sys->ShutdownTables();
    EXPECT_EQ(diags(), QStringList{"Zamknięcie systemu | "});
    // Released: the files can be had exclusively now.
    engine::Table::OpenOptions ex;
    ex.exclusive = true;
    EXPECT_NO_THROW(engine::Table::open(u8(env.dataDir()) + "ZDARZ.DBF", ex));
}

TEST_F(Installation, DeletedIndexFilesAreRebuiltAndLogged) {
    ASSERT_TRUE(sys->CheckTables());
    sys->ShutdownTables();
    ASSERT_TRUE(QFile::remove(env.dataDir() + "ZDARZ.MDX"));
    ASSERT_TRUE(QFile::remove(env.dataDir() + "USERS.MDX"));  // repaired before DIAGS is open
    start();
    ASSERT_TRUE(sys->CheckTables());
    EXPECT_TRUE(QFile::exists(env.dataDir() + "ZDARZ.MDX"));
    EXPECT_TRUE(QFile::exists(env.dataDir() + "USERS.MDX"));
    ASSERT_TRUE(TblUsers->LocateID(1));
    const QStringList log = diags();
    EXPECT_TRUE(log.contains("Brak indeksu. | Zdarzenia")) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains("Brak indeksu. | Oparatorzy")) << log.join('\n').toStdString();
}

TEST_F(Installation, MissingTableIsCreatedAndShortFieldRestructured) {
    ASSERT_TRUE(sys->CheckTables());
    sys->ShutdownTables();
    engine::Table::remove(u8(env.dataDir()) + "KORESP.DBF");
    // SPRAWY as an older program left it: a shorter name field, rows in it.
    engine::Table::remove(u8(env.dataDir()) + "SPRAWY.DBF");
    engine::Table::create(u8(env.dataDir()) + "SPRAWY.DBF",
                          {{"ID", engine::FieldType::Integer, 0},
                           {"SP_NAZ", engine::FieldType::String, 20},
                           {"SP_NUM", engine::FieldType::String, 25},
                           {"SP_OPI", engine::FieldType::Memo, 10},
                           {"SP_ZAMK", engine::FieldType::Boolean, 0}},
                          {{"SPRAW_ID", "ID"}});
    {
        auto t = engine::Table::open(u8(env.dataDir()) + "SPRAWY.DBF");
        for (int i = 1; i <= 3; ++i) {
            t->append();
            t->setInteger("ID", i);
            t->setString("SP_NAZ", "Sprawa źródłowa " + std::to_string(i));
            t->setString("SP_OPI", "Opis " + std::to_string(i));
            t->setBoolean("SP_ZAMK", i == 2);
            t->post();
        }
    }
    start();
    ASSERT_TRUE(sys->CheckTables());
    EXPECT_TRUE(env.prompts.texts().contains("Błędna struktura bazy : SPRAWY"));
    EXPECT_TRUE(env.prompts.texts().contains("Restrukturyzacja :  OK"));
    sys.reset();
    auto sprawy = open("SPRAWY");
    EXPECT_EQ(sprawy->fields()[1].size, 50);
    ASSERT_EQ(sprawy->recordCount(), 3u);
    sprawy->setIndex("SPRAW_ID");
    ASSERT_TRUE(sprawy->findKey(engine::Value{std::int64_t{2}}));
    EXPECT_EQ(sprawy->asString("SP_NAZ"), "Sprawa źródłowa 2");
    EXPECT_EQ(sprawy->asString("SP_OPI"), "Opis 2");
    EXPECT_EQ(sprawy->asBoolean("SP_ZAMK"), true);
    EXPECT_EQ(open("KORESP")->recordCount(), 0u);
}

// Three workstations starting at once on a new data directory: each start succeeds and the
// seed rows are there once.
TEST_F(Installation, WorkstationsStartingTogetherCreateTheTablesOnce) {
    sys.reset();
    std::vector<pid_t> pids;
    for (int i = 0; i < 3; ++i) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            TPulpex_System own(env.mainDir());
            own.probeDir = env.dir.path();
            _exit(own.CheckTables() ? 0 : 1);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(open("USERS")->recordCount(), 1u);
    EXPECT_EQ(open("ADRESY")->recordCount(), 1u);
}

// USERS of the older program has no hash field: the restructure adds it, the old password
// value still logs in once and then the hash decides.
TEST_F(Installation, OldUsersTableGetsTheHashField) {
    engine::Table::create(u8(env.dataDir()) + "USERS.DBF",
                          {{"ID", engine::FieldType::Integer, 0},
                           {"FNAME", engine::FieldType::String, 25},
                           {"USER_ISA", engine::FieldType::Boolean, 0},
                           {"PRSN_PSW", engine::FieldType::Integer, 0}},
                          {{"USRS_ID", "ID"}, {"FNAME", "FNAME"}});
    {
        auto t = engine::Table::open(u8(env.dataDir()) + "USERS.DBF");
        t->append();
        t->setInteger("ID", 1);
        t->setString("FNAME", "KOWALSKA");
        t->setBoolean("USER_ISA", false);
        t->setInteger("PRSN_PSW", 6150427 + 'a' + 'b' + 'c');
        t->post();
    }
    ASSERT_TRUE(sys->CheckTables());
    EXPECT_TRUE(env.prompts.texts().contains("Błędna struktura bazy : USERS"));
    TRec_Users u;
    ASSERT_TRUE(TblUsers->ReadRecordByID(1, u));
    EXPECT_EQ(u.FNAME, "KOWALSKA");
    EXPECT_TRUE(u.PRSN_HSH.isEmpty());
    EXPECT_FALSE(TblUsers->CheckPassword(u, "abd"));
    EXPECT_TRUE(TblUsers->CheckPassword(u, "cab"));  // the old value alone cannot tell
    ASSERT_TRUE(TblUsers->ReadRecordByID(1, u));
    EXPECT_FALSE(u.PRSN_HSH.isEmpty());
    EXPECT_EQ(u.PRSN_PSW, 6150427 + 'a' + 'b' + 'c');
    EXPECT_TRUE(TblUsers->CheckPassword(u, "cab"));
    EXPECT_FALSE(TblUsers->CheckPassword(u, "abc"));
}

}  // namespace
}  // namespace pulpex
