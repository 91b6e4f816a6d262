// Restructuring old files of the real tables at the start-up check: every value must arrive
// exactly (binary memos as bytes, texts in the old code page, wide fields wide), or the
// restructure must fail with the table untouched and the reason told; the old files are kept in
// the archive directory.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cstdio>
#include <cstring>
#include <memory>
#include <tuple>

#include "addresses/adresy.h"
#include "documents/pisma.h"
#include "support/testenv.h"
#include "tables/am_diags.h"
#include "tables/catalogue.h"
#include "tables/engine/codepage.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using Bytes = std::vector<std::byte>;

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Runs a helper script of tests/scripts with /usr/bin/python3; fails the test when it fails.
void runScript(const QString& script, const QStringList& args) {
    QString cmd = QStringLiteral("/usr/bin/python3 '") + QStringLiteral(PULPEX_TEST_SCRIPTS) +
                  QLatin1Char('/') + script + QLatin1Char('\'');
    for (QString a : args)
        cmd += QStringLiteral(" '") + a.replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
               QLatin1Char('\'');
    const int status = std::system(QFile::encodeName(cmd).constData());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd.toStdString();
}

// An OLE stream with every byte value, those CP1250 leaves undefined among them.
Bytes oleBytes(int seed) {
    Bytes b;
    for (unsigned char c : {0xD0, 0xCF, 0x11, 0xE0, 0x81, 0x83, 0x88, 0x90, 0x98, 0x00, 0x1A})
        b.push_back(std::byte{c});
    for (int i = 0; i < 3000; ++i)
        b.push_back(std::byte(static_cast<unsigned char>((i * 7 + seed) % 256)));
    return b;
}

// The directories of the archive holding an earlier copy of `stem`.
QStringList archived(const QString& archiveDir, const QString& stem) {
    QStringList out;
    for (const QString& d : QDir(archiveDir).entryList({stem + QStringLiteral("-*")}, QDir::Dirs))
        out << archiveDir + d + QLatin1Char('/');
    return out;
}

// Every field of every row of `before` has the same value in `after`: character fields the same
// bytes (blank-padded when the field grew), memos and pictures the same bytes, others the same
// stored bytes.
void expectSameRows(const std::string& before, const std::string& after) {
    auto a = engine::Table::open(before, {.readOnly = true});
    auto b = engine::Table::open(after, {.readOnly = true});
    ASSERT_EQ(a->recordCount(), b->recordCount());
    b->first();
    for (a->first(); !a->eof(); a->next(), b->next()) {
        for (std::size_t i = 0; i < a->fields().size(); ++i) {
            const engine::FieldInfo& f = a->fields()[i];
            SCOPED_TRACE(f.name + " row " + std::to_string(a->recno()));
            const int j = b->fieldIndex(f.name);
            ASSERT_GE(j, 0) << "field dropped";
            const engine::FieldInfo& g = b->fields()[static_cast<std::size_t>(j)];
            if (f.dbfType == 'M' || f.dbfType == 'B' || f.dbfType == 'G') {
                EXPECT_EQ(a->readBlob(static_cast<int>(i)), b->readBlob(j));
                continue;
            }
            EXPECT_EQ(f.dbfType, g.dbfType);
            const auto x = a->rawField(static_cast<int>(i));
            const auto y = b->rawField(j);
            ASSERT_GE(y.size(), x.size());
            EXPECT_TRUE(std::equal(x.begin(), x.end(), y.begin()));
            for (std::size_t k = x.size(); k < y.size(); ++k)
                EXPECT_EQ(y[k], std::byte{' '});
        }
    }
}

class RestructureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetCatalogueActionLog([this](const QString& line) { actions << line; });
        ASSERT_TRUE(diags.CreateTableSelf());
        diags.Open();
    }
    void TearDown() override { SetCatalogueActionLog({}); }
    QString path(const QString& name) const { return env.dataDir() + name; }

    // The start-up check over one table, which stays open in the result.
    std::vector<TCatalogueEntry> check(std::unique_ptr<TOT_Table> table, const QString& name) {
        std::vector<TCatalogueEntry> entries;
        entries.push_back({std::move(table), name});
        EXPECT_TRUE(CheckCatalogue(entries));
        return entries;
    }

    test::TestSystem env;
    QStringList actions;
    TTbl_Diags diags;
    test::GlobalRef<TTbl_Diags> diagsRef{TblDiags, &diags};
};

// An old PISMA without PIS_REY, its embedded documents holding bytes CP1250 does not define: the
// first start adds the field and every document arrives byte for byte.
TEST_F(RestructureTest, OldPismaKeepsItsOleBytes) {
    {
        TTbl_Pisma schema;
        auto defs = schema.EngineFieldDefs();
        std::erase_if(defs, [](const engine::FieldDef& d) { return d.name == "PIS_REY"; });
        defs.push_back({"PIS_STARE", engine::FieldType::String, 8});  // unknown to the schema
        engine::Table::create(u8(path("PISMA.DBF")), defs, schema.EngineIndexDefs());
        auto t = engine::Table::open(u8(path("PISMA.DBF")));
        for (int id = 1; id <= 3; ++id) {
            t->append();
            t->setInteger("ID", id);
            t->setInteger("ZDARZ_ID", 10 + id);
            t->writeBlob("PIS_OLE", oleBytes(id));
            t->writeBlob("RYSUNEK", oleBytes(100 + id));
            t->setString("PIS_IDX", "Treść rozpoznana: Łódź, żółw");
            t->setInteger("PIS_REX", 300);
            t->setString("PIS_STARE", "stare");
            t->post();
        }
    }
    const QByteArray oldTable = fileBytes(path("PISMA.DBF"));
    const QByteArray oldMemo = fileBytes(path("PISMA.DBT"));

    auto entries = check(std::make_unique<TTbl_Pisma>(), "Pisma");
    const QStringList texts = env.prompts.texts();
    ASSERT_EQ(texts.size(), 2) << texts.join('\n').toStdString();
    EXPECT_EQ(texts[0], "Błędna struktura bazy : PISMA");
    EXPECT_EQ(texts[1], "Restrukturyzacja :  OK");

    TOT_Table& t = *entries[0].table;
    EXPECT_TRUE(t.CheckStructure());
    ASSERT_EQ(t.T().recordCount(), 3u);
    for (int id = 1; id <= 3; ++id) {
        ASSERT_TRUE(t.LocateID(id));
        const auto ole = t.T().readBlob("PIS_OLE");
        EXPECT_EQ(ole, oleBytes(id)) << "PIS_OLE of " << id;
        EXPECT_EQ(t.T().readBlob("RYSUNEK"), oleBytes(100 + id));
        EXPECT_EQ(fieldString(t.T(), "PIS_IDX"), "Treść rozpoznana: Łódź, żółw");
        EXPECT_EQ(fieldString(t.T(), "PIS_STARE"), "stare");
        EXPECT_TRUE(t.T().isNull("PIS_REY"));
    }

    // The files as they were before are in the archive, until the administrator removes them.
    const QStringList arc = archived(env.sys->ArchiveDir, QStringLiteral("PISMA"));
    ASSERT_EQ(arc.size(), 1);
    EXPECT_EQ(fileBytes(arc[0] + "PISMA.DBF"), oldTable);
    EXPECT_EQ(fileBytes(arc[0] + "PISMA.DBT"), oldMemo);
    EXPECT_TRUE(QFileInfo::exists(arc[0] + "PISMA.MDX"));
    // The diagnostics table tells the administrator where they are.
    ASSERT_EQ(diags.T().recordCount(), 1u);
    diags.T().first();
    EXPECT_EQ(fieldString(diags.T(), "OPIS1"), "Restrukturyzacja tabeli PISMA: OK");
    EXPECT_TRUE(fieldString(diags.T(), "OPIS2").contains(arc[0]))
        << fieldString(diags.T(), "OPIS2").toStdString();
    t.Close();
    expectSameRows(u8(arc[0] + "PISMA.DBF"), u8(path("PISMA.DBF")));
}

// An ADRESY of another program: CP852 (language driver 0x1F), an AD_NAZF wider than the schema's,
// box-drawing characters CP1250 cannot hold, and fields missing. The new table stays CP852 and
// wide, and every text keeps its bytes.
TEST_F(RestructureTest, Cp852AdresyWithAWideFieldKeepsEveryText) {
    const QString nazwa =
        QStringLiteral("Przedsiębiorstwo Wielobranżowe \"Łąka\" ─ Zakład Produkcyjny 2");
    ASSERT_EQ(nazwa.size(), 60);
    runScript("dbf_make.py",
              {path("adresy.dbf"), "cp852",
               "ID N(11,0); AD_NAZF C(60); AD_NAZW C(25); AD_ULIC C(25); AD_MIAS C(25); "
               "AD_PRYW L; AD_OPIS M; AD_OLE M",
               QStringLiteral("[[1, \"%1\", \"Kowalski\", \"ul. Długa ─ 5\", \"Łódź\", true, "
                              "\"Uwagi ┌─┐ └─┘\", null], [2, \"Krótka\", null, null, null, false, "
                              "null, null]]")
                   .arg(QString(nazwa).replace('"', QStringLiteral("\\\"")))});
    // A dBase III memo ends at 0x1A, which its binary contents therefore lack.
    Bytes dBase3Ole = oleBytes(7);
    std::erase(dBase3Ole, std::byte{0x1A});
    {
        auto t = engine::Table::open(u8(path("adresy.dbf")));
        ASSERT_EQ(t->languageDriver(), 0x1F);
        t->first();
        t->edit();
        t->writeBlob("AD_OLE", dBase3Ole);
        t->post();
    }
    const QByteArray oldTable = fileBytes(path("adresy.dbf"));
    const QByteArray oldMemo = fileBytes(path("adresy.dbt"));

    auto entries = check(std::make_unique<TTbl_Adresy>(), "Adresy");
    const QStringList texts = env.prompts.texts();
    ASSERT_GE(texts.size(), 2);
    EXPECT_EQ(texts[1], "Restrukturyzacja :  OK") << texts.join('\n').toStdString();

    TOT_Table& t = *entries[0].table;
    ASSERT_TRUE(t.Active());
    EXPECT_TRUE(t.CheckStructure());
    EXPECT_EQ(t.T().languageDriver(), 0x1F);
    EXPECT_EQ(t.T().codePage().number(), 852);
    EXPECT_EQ(t.T().fields()[static_cast<std::size_t>(t.T().fieldNo("AD_NAZF"))].size, 60);
    ASSERT_TRUE(t.LocateID(1));
    EXPECT_EQ(fieldString(t.T(), "AD_NAZF"), nazwa);
    EXPECT_EQ(fieldString(t.T(), "AD_ULIC"), "ul. Długa ─ 5");
    EXPECT_EQ(fieldString(t.T(), "AD_MIAS"), "Łódź");
    EXPECT_EQ(fieldString(t.T(), "AD_OPIS"), "Uwagi ┌─┐ └─┘");
    EXPECT_TRUE(fieldBool(t.T(), "AD_PRYW"));
    EXPECT_EQ(t.T().readBlob("AD_OLE"), dBase3Ole);
    ASSERT_TRUE(t.LocateID(2));
    EXPECT_EQ(fieldString(t.T(), "AD_NAZF"), "Krótka");

    const QStringList arc = archived(env.sys->ArchiveDir, QStringLiteral("ADRESY"));
    ASSERT_EQ(arc.size(), 1);
    // The check gave the old file its index (byte 28) before restructuring it; nothing else.
    QByteArray indexed = oldTable;
    indexed[28] = 1;
    EXPECT_EQ(fileBytes(arc[0] + "ADRESY.DBF"), indexed);
    EXPECT_EQ(fileBytes(arc[0] + "ADRESY.DBT"), oldMemo);
    t.Close();
    expectSameRows(u8(arc[0] + "ADRESY.DBF"), u8(path("adresy.dbf")));

    // A second start finds the structure sound: the wide field is compatible.
    env.prompts.clear();
    check(std::make_unique<TTbl_Adresy>(), "Adresy");
    EXPECT_TRUE(env.prompts.texts().isEmpty()) << env.prompts.texts().join('\n').toStdString();
}

// A value that cannot be carried over (a PIS_TYP of text where the schema wants a number) stops
// the restructure: "BŁĄD" with table, row and field shown and logged, and the files untouched.
TEST_F(RestructureTest, ValueThatCannotBeCarriedOverLeavesTheTableAsItWas) {
    {
        TTbl_Pisma schema;
        auto defs = schema.EngineFieldDefs();
        for (auto& d : defs)
            if (d.name == "PIS_TYP") d = {"PIS_TYP", engine::FieldType::String, 5};
        engine::Table::create(u8(path("PISMA.DBF")), defs, schema.EngineIndexDefs());
        auto t = engine::Table::open(u8(path("PISMA.DBF")));
        int id = 0;
        for (const char* typ : {"1", "skan", "2"}) {
            t->append();
            t->setInteger("ID", ++id);
            t->setString("PIS_TYP", typ);
            t->writeBlob("PIS_OLE", oleBytes(id));
            t->post();
        }
    }
    const QStringList files = {"PISMA.DBF", "PISMA.DBT", "PISMA.MDX"};
    std::vector<QByteArray> before;
    for (const QString& f : files)
        before.push_back(fileBytes(path(f)));

    auto entries = check(std::make_unique<TTbl_Pisma>(), "Pisma");
    const QStringList texts = env.prompts.texts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[1].startsWith("Restrukturyzacja :  BŁĄD\n\n")) << texts[1].toStdString();
    for (const char* part : {"PISMA", "wiersz 2", "PIS_TYP"})
        EXPECT_TRUE(texts[1].contains(QLatin1String(part))) << texts[1].toStdString();

    entries[0].table->Close();
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(fileBytes(path(files[static_cast<int>(i)])), before[i]) << files[i].toStdString();
    EXPECT_FALSE(QFileInfo::exists(path("RESTR.DBF")));
    EXPECT_TRUE(archived(env.sys->ArchiveDir, QStringLiteral("PISMA")).isEmpty());

    // The reason is in the diagnostics table.
    ASSERT_EQ(diags.T().recordCount(), 1u);
    diags.T().first();
    EXPECT_EQ(fieldString(diags.T(), "OPIS1"), "Restrukturyzacja tabeli PISMA: BŁĄD");
    EXPECT_TRUE(fieldString(diags.T(), "OPIS2").contains("PIS_TYP"));
}

// A dBase 7 table: I, O and @ fields have no dBase IV letter, so the new table holds their values
// as N and C(30); each must read back the same.
class TTbl_Stara : public TOT_Table {
  public:
    TTbl_Stara() : TOT_Table(QStringLiteral("STARA")) {
        IDIndexName = QStringLiteral("STARA_ID");
        HousekeepingOn = false;
        CreateInfo.SetDefinitions({{"ID", TFieldType::Integer},
                                   {"KIEDY", TFieldType::DateTime},
                                   {"KWOTA", TFieldType::Float},
                                   {"NAZWA", TFieldType::String, 20},
                                   {"NOWE", TFieldType::String, 5}},
                                  {{"STARA_ID", "ID", "", ixPrimary}});
    }
};

// The level 7 file STARA.DBF in CP852 (driver 0x64) with ID I, KIEDY @, KWOTA O, NAZWA C(20).
QByteArray level7Table(const std::vector<std::tuple<int, QByteArray, double, QByteArray>>& rows) {
    const struct {
        const char* name;
        char type;
        int size;
    } fields[] = {{"ID", 'I', 4}, {"KIEDY", '@', 8}, {"KWOTA", 'O', 8}, {"NAZWA", 'C', 20}};
    const int hlen = 68 + 48 * 4 + 1 + 16, rlen = 1 + 4 + 8 + 8 + 20;
    QByteArray b(hlen, '\0');
    b[0] = 0x04;
    qToLittleEndian<quint32>(static_cast<quint32>(rows.size()), b.data() + 4);
    qToLittleEndian<quint16>(hlen, b.data() + 8);
    qToLittleEndian<quint16>(rlen, b.data() + 10);
    b[29] = 0x64;
    for (int i = 0; i < 4; ++i) {
        char* d = b.data() + 68 + 48 * i;
        std::memcpy(d, fields[i].name, std::strlen(fields[i].name));
        d[32] = fields[i].type;
        d[33] = static_cast<char>(fields[i].size);
    }
    b[68 + 48 * 4] = 0x0D;
    char* props = b.data() + 68 + 48 * 4 + 1;
    for (int at : {2, 6, 10, 12, 14})
        qToLittleEndian<quint16>(16, props + at);
    for (const auto& [id, stamp, amount, name] : rows) {
        QByteArray r(1, ' ');
        char n[4];
        qToBigEndian<quint32>(static_cast<quint32>(id) ^ 0x80000000u, n);
        r.append(n, 4);
        r.append(stamp);
        quint64 bits;
        std::memcpy(&bits, &amount, 8);
        bits = (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
        char o[8];
        qToBigEndian<quint64>(bits, o);
        r.append(o, 8);
        r.append(name.leftJustified(20, ' '));
        b.append(r);
    }
    b.append('\x1A');
    return b;
}

TEST_F(RestructureTest, Level7ValuesAreConvertedOnlyWhenTheyReadBackTheSame) {
    const QByteArray stamp = QByteArray::fromHex("42CCE1EC41FB6400");  // 2013-08-27 19:12:13
    const QByteArray lodz = QByteArray::fromHex("9DA264AB");           // "Łódź" in CP852
    auto write = [&](const QByteArray& bytes) {
        QFile f(path("STARA.DBF"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };

    // 0.123456 has no exact N(20,4) form: the restructure stops and the file stays as it was.
    write(level7Table({{1, stamp, 1234.5, lodz}, {2, QByteArray(8, '\0'), 0.123456, "B"}}));
    {
        TTbl_Stara t;
        EXPECT_FALSE(Restructure(t));
        EXPECT_TRUE(RestructureFailureReason().contains("wiersz 2"))
            << RestructureFailureReason().toStdString();
        EXPECT_TRUE(RestructureFailureReason().contains("KWOTA"));
        t.Close();
        QByteArray now = fileBytes(path("STARA.DBF"));
        ASSERT_GT(now.size(), 28);
        EXPECT_EQ(now,
                  level7Table({{1, stamp, 1234.5, lodz}, {2, QByteArray(8, '\0'), 0.123456, "B"}}));
    }

    write(level7Table({{1, stamp, 1234.5, lodz}, {-7, QByteArray(8, '\0'), -2.25, "B"}}));
    auto entries = check(std::make_unique<TTbl_Stara>(), "Stara");
    EXPECT_EQ(env.prompts.texts().value(1), "Restrukturyzacja :  OK");
    TOT_Table& t = *entries[0].table;
    EXPECT_EQ(t.T().version(), 0x03);
    EXPECT_EQ(t.T().languageDriver(), 0x64);
    ASSERT_TRUE(t.LocateID(1));
    EXPECT_EQ(fieldDateTime(t.T(), "KIEDY"), QDateTime(QDate(2013, 8, 27), QTime(19, 12, 13)));
    EXPECT_EQ(t.T().asFloat("KWOTA"), 1234.5);
    EXPECT_EQ(fieldString(t.T(), "NAZWA"), "Łódź");
    ASSERT_TRUE(t.LocateID(-7));
    EXPECT_TRUE(t.T().isNull("KIEDY"));
    EXPECT_EQ(t.T().asFloat("KWOTA"), -2.25);
}

}  // namespace
}  // namespace pulpex
