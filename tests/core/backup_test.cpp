// Backup and restore of the data directory on real tables in temporary directories.
#include "core/backup.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <stdexcept>

#include "core/pulpex_system.h"
#include "core/utils.h"
#include "register/zdarzen.h"
#include "support/testenv.h"
#include "tables/am_diags.h"
#include "tables/engine/table.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using Dump = std::map<QString, std::string>;

QString sha256(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return QString::fromLatin1(h.result().toHex());
}

QStringList fileNames(const QString& dir) {
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    return names;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class BackupRestore : public ::testing::Test {
  protected:
    void SetUp() override {
        sys = std::make_unique<TPulpex_System>(env.mainDir());
        sys->probeDir = env.mainDir();
        ASSERT_TRUE(sys->CheckTables());
        tables = CatalogueTables(*sys);
        ASSERT_EQ(tables.size(), 13u);
    }

    int addEvent(const QString& number, const QString& content) {
        TRec_Zdarzenia r;
        r.ZD_NMR = number;
        r.ZD_TRE.SetText(content);
        int id = 0;
        TblZdarzenia->OT_AddNew(id, r);
        return id;
    }
    QString eventNumber(int id) {
        TRec_Zdarzenia r;
        return TblZdarzenia->ReadRecordByID(id, r) ? r.ZD_NMR : QString();
    }

    // Every row of every table but the diagnostics log, field by field (the tables are closed
    // and checked again first, as the next start would).
    Dump dump() {
        Dump d;
        for (const TBackupTable& t : tables) {
            if (t.name == QLatin1String("DIAGS")) continue;
            auto table = engine::Table::open(
                engine::Table::resolve(QFile::encodeName(RemoveSlash(sys->DataDir)).toStdString(),
                                       (t.name + QStringLiteral(".DBF")).toStdString()));
            std::string& s = d[t.name];
            for (table->first(); !table->eof(); table->next()) {
                for (int i = 0; i < static_cast<int>(table->fields().size()); ++i)
                    s += table->asText(i) + '|';
                s += '\n';
            }
        }
        return d;
    }

    // Whether a row of the diagnostics log holds `text`.
    bool logHolds(const std::string& text) {
        auto diags = engine::Table::open(engine::Table::resolve(
            QFile::encodeName(RemoveSlash(sys->DataDir)).toStdString(), "DIAGS.DBF"));
        for (diags->first(); !diags->eof(); diags->next())
            for (int i = 0; i < static_cast<int>(diags->fields().size()); ++i)
                if (diags->asText(i).find(text) != std::string::npos) return true;
        return false;
    }

    TBackupResult backup(const QString& place, const TBackupProgress& progress = {}) {
        sys->ShutdownTables();
        TBackupResult r = MakeBackup(sys->DataDir, tables, place, progress);
        EXPECT_TRUE(sys->CheckTables());
        return r;
    }
    TBackupResult restore(const QString& place, const TBackupProgress& progress = {},
                          const TRestoreOptions& options = {}) {
        sys->ShutdownTables();
        TBackupResult r = RestoreBackup(sys->DataDir, tables, place, progress, options);
        EXPECT_TRUE(sys->CheckTables());
        return r;
    }
    QString place() const { return env.dir.path() + QStringLiteral("/kopie"); }
    // Folders beside the data directory other than the data directory itself.
    QStringList besideData() const {
        QStringList l = QDir(env.mainDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        l.removeAll(QStringLiteral("BASES"));
        return l;
    }

    test::TestSystem env{false};
    std::unique_ptr<TPulpex_System> sys;
    std::vector<TBackupTable> tables;
};

TEST_F(BackupRestore, BackupHoldsExactlyTheTableAndMemoFilesAndLeavesEverythingElse) {
    addEvent(QStringLiteral("P/2024/3/1"), QStringLiteral("Zażółć gęślą jaźń"));
    LogDiag(QStringLiteral("Wpis przed kopią"), {});
    // The place already holds the user's own files, one with a table's name.
    writeFile(place() + QStringLiteral("/notatki.txt"), "moje notatki");
    writeFile(place() + QStringLiteral("/ZDARZ.DBF"), "nie tabela");
    writeFile(place() + QStringLiteral("/zdjęcia/lato.jpg"), "JPEG");

    const TBackupResult first = backup(place());
    ASSERT_TRUE(first.ok) << first.message.toStdString();
    EXPECT_EQ(readFile(place() + QStringLiteral("/notatki.txt")), "moje notatki");
    EXPECT_EQ(readFile(place() + QStringLiteral("/ZDARZ.DBF")), "nie tabela");
    EXPECT_EQ(readFile(place() + QStringLiteral("/zdjęcia/lato.jpg")), "JPEG");
    EXPECT_EQ(QFileInfo(first.folder).absolutePath(), QFileInfo(place()).absoluteFilePath());
    EXPECT_TRUE(QFileInfo(first.folder).fileName().startsWith(kBackupFolderPrefix));

    // Exactly the .DBF and .DBT files of the data directory, and the list.
    QStringList expected;
    for (const QString& n : fileNames(sys->DataDir))
        if (n.endsWith(QLatin1String(".DBF"), Qt::CaseInsensitive) ||
            n.endsWith(QLatin1String(".DBT"), Qt::CaseInsensitive))
            expected << n.toUpper();
    ASSERT_GE(expected.size(), 13);
    QStringList got = fileNames(first.folder);
    ASSERT_TRUE(got.removeOne(kBackupManifest));
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);

    // The list names each file once with its right checksum.
    const QString manifest = QString::fromUtf8(readFile(first.folder + u'/' + kBackupManifest));
    QStringList listed;
    for (const QString& line : manifest.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'#')) continue;
        const QString name = line.mid(66);
        listed << name;
        EXPECT_EQ(line.left(64), sha256(first.folder + u'/' + name)) << name.toStdString();
        // …and the copy is the data file byte for byte.
        EXPECT_EQ(
            readFile(first.folder + u'/' + name),
            readFile(QString::fromStdString(engine::Table::resolve(
                QFile::encodeName(RemoveSlash(sys->DataDir)).toStdString(), name.toStdString()))));
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
    EXPECT_TRUE(BackupTime(first.folder).isValid());

    // The diagnostics log keeps its rows.
    EXPECT_TRUE(logHolds("Wpis przed kopią"));

    // A second backup is a new folder; the first stays.
    const TBackupResult second = backup(place());
    ASSERT_TRUE(second.ok) << second.message.toStdString();
    EXPECT_NE(second.folder, first.folder);
    EXPECT_TRUE(QFileInfo(first.folder + u'/' + kBackupManifest).isFile());
    EXPECT_EQ(FindBackup(place()), second.folder);
}

TEST_F(BackupRestore, BackupRefusesPlacesItMustNotWriteAndStopsWhenAsked) {
    TBackupResult r = backup(sys->DataDir + QStringLiteral("kopia"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.contains(QStringLiteral("katalogu danych"))) << r.message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(sys->DataDir + QStringLiteral("kopia")));

    r = backup(place(), [](qint64 done, qint64, const QString&) { return done == 0; });
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.cancelled);
    // A stopped backup leaves no half folder behind.
    EXPECT_TRUE(QDir(place()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(BackupRestore, RestoreBringsBackTheBackupAndKeepsTheDataAsTheyWere) {
    const int kept = addEvent(QStringLiteral("P/2024/3/1"), QStringLiteral("Pismo z urzędu"));
    addEvent(QStringLiteral("P/2024/3/2"), QStringLiteral("Drugie"));
    const TBackupResult b = backup(place());
    ASSERT_TRUE(b.ok) << b.message.toStdString();
    const Dump atBackup = dump();

    ASSERT_TRUE(TblZdarzenia->DeleteByID(kept));
    const int later = addEvent(QStringLiteral("P/2024/3/3"), QStringLiteral("Późniejsze"));
    ASSERT_NE(later, kept);
    const Dump before = dump();
    ASSERT_NE(before, atBackup);

    std::vector<qint64> steps;
    const TBackupResult r = restore(place(), [&](qint64 done, qint64 total, const QString&) {
        EXPECT_LE(done, total);
        steps.push_back(done);
        return true;
    });
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.folder, b.folder);
    EXPECT_FALSE(steps.empty());
    EXPECT_EQ(dump(), atBackup);
    // The indexes were built again by the check: the rows are found through them.
    EXPECT_EQ(eventNumber(kept), QStringLiteral("P/2024/3/1"));
    EXPECT_EQ(eventNumber(later), QString());
    EXPECT_TRUE(QFileInfo(sys->DataDir + QStringLiteral("ZDARZ.MDX")).isFile());

    // The data as they were are a backup of their own beside the data directory.
    ASSERT_FALSE(r.keptData.isEmpty());
    EXPECT_EQ(QFileInfo(r.keptData).absolutePath() + u'/', QDir::cleanPath(env.mainDir()) + u'/');
    EXPECT_TRUE(QFileInfo(r.keptData + u'/' + kBackupManifest).isFile());
    EXPECT_TRUE(besideData().contains(QFileInfo(r.keptData).fileName()));
    EXPECT_EQ(besideData().size(), 1);  // nothing of the restore's own work is left
    EXPECT_FALSE(QFileInfo::exists(sys->DataDir + QStringLiteral("RESTORE.JNL")));

    const TBackupResult back = restore(r.keptData);
    ASSERT_TRUE(back.ok) << back.message.toStdString();
    EXPECT_EQ(dump(), before);
}

TEST_F(BackupRestore, RestoreFromNothingUsableChangesNothing) {
    addEvent(QStringLiteral("P/2024/3/1"), QStringLiteral("treść"));
    const TBackupResult b = backup(place());
    ASSERT_TRUE(b.ok) << b.message.toStdString();
    addEvent(QStringLiteral("P/2024/3/2"), QStringLiteral("później"));
    const Dump before = dump();
    const QStringList dataFiles = fileNames(sys->DataDir);

    auto expectUnchanged = [&](const TBackupResult& r, const QString& words) {
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.message.contains(words)) << r.message.toStdString();
        EXPECT_TRUE(r.message.contains(QStringLiteral("Dane nie zostały zmienione.")));
        EXPECT_EQ(dump(), before);
        EXPECT_EQ(fileNames(sys->DataDir), dataFiles);  // the index files too
        EXPECT_TRUE(besideData().isEmpty()) << besideData().join(',').toStdString();
    };

    {
        SCOPED_TRACE("an empty folder");
        QDir().mkpath(env.dir.path() + QStringLiteral("/pusty"));
        expectUnchanged(restore(env.dir.path() + QStringLiteral("/pusty")),
                        QStringLiteral("nie ma kopii bezpieczeństwa"));
    }
    {
        SCOPED_TRACE("a folder that is not there");
        expectUnchanged(restore(env.dir.path() + QStringLiteral("/brak")),
                        QStringLiteral("Nie ma folderu"));
    }
    {
        SCOPED_TRACE("one file damaged");
        QFile f(b.folder + QStringLiteral("/ZDARZ.DBT"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        bytes[bytes.size() - 3] = static_cast<char>(bytes[bytes.size() - 3] ^ 0x55);
        f.seek(0);
        f.write(bytes);
        f.close();
        expectUnchanged(restore(place()), QStringLiteral("ZDARZ.DBT"));
        f.open(QIODevice::ReadWrite);
        bytes[bytes.size() - 3] = static_cast<char>(bytes[bytes.size() - 3] ^ 0x55);
        f.write(bytes);
    }
    {
        SCOPED_TRACE("one table missing");
        ASSERT_TRUE(QFile::remove(b.folder + QStringLiteral("/ADRESY.DBF")));
        expectUnchanged(restore(b.folder), QStringLiteral("ADRESY.DBF"));
    }
    {
        SCOPED_TRACE("a list leading out of the folder");
        QByteArray list = readFile(b.folder + u'/' + kBackupManifest);
        list += QByteArray(64, 'a') + "  ../../pulpex/BASES/ZDARZ.DBF\n";
        writeFile(b.folder + u'/' + kBackupManifest, list);
        expectUnchanged(restore(b.folder), QStringLiteral("uszkodzona"));
    }
}

TEST_F(BackupRestore, RestoreStopsWhileAnotherWorkstationHasATableOpen) {
    const int id = addEvent(QStringLiteral("P/2024/3/1"), QStringLiteral("treść"));
    ASSERT_TRUE(backup(place()).ok);
    ASSERT_TRUE(TblZdarzenia->DeleteByID(id));
    const Dump before = dump();
    auto other = engine::Table::open(engine::Table::resolve(
        QFile::encodeName(RemoveSlash(sys->DataDir)).toStdString(), "ADRESY.DBF"));
    const TBackupResult r = restore(place());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.contains(QStringLiteral("ADRESY"))) << r.message.toStdString();
    other.reset();
    EXPECT_EQ(dump(), before);
    EXPECT_TRUE(besideData().isEmpty());
}

TEST_F(BackupRestore, AStoppedRestoreChangesNothing) {
    addEvent(QStringLiteral("P/2024/3/1"), QStringLiteral("treść"));
    ASSERT_TRUE(backup(place()).ok);
    addEvent(QStringLiteral("P/2024/3/2"), QStringLiteral("później"));
    const Dump before = dump();
    const TBackupResult r =
        restore(place(), [](qint64 done, qint64, const QString&) { return done == 0; });
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(dump(), before);
    EXPECT_TRUE(besideData().isEmpty());
}

// The process dies (here: an exception) before each rename of the swap in turn; the next start
// finds the data exactly as they were.
TEST_F(BackupRestore, ASwapCutAnywhereIsRolledBackByTheNextStart) {
    addEvent(QStringLiteral("P/2024/3/1"), QStringLiteral("treść"));
    ASSERT_TRUE(backup(place()).ok);
    const Dump atBackup = dump();
    addEvent(QStringLiteral("P/2024/3/2"), QStringLiteral("później"));
    const Dump before = dump();

    struct Cut {};
    int renames = 0;
    for (int cut = 0;; ++cut) {
        SCOPED_TRACE(cut);
        sys->ShutdownTables();
        TRestoreOptions o;
        bool wasCut = false;
        o.swapStep = [&](int step) {
            renames = std::max(renames, step + 1);
            if (step == cut) {
                wasCut = true;
                throw Cut{};
            }
        };
        try {
            RestoreBackup(sys->DataDir, tables, place(), {}, o);
        } catch (const Cut&) {
        }
        if (!wasCut) break;
        EXPECT_TRUE(QFileInfo::exists(sys->DataDir + QStringLiteral("RESTORE.JNL")));
        // The next start: the catalogue build rolls the swap back before any table opens.
        sys.reset();
        sys = std::make_unique<TPulpex_System>(env.mainDir());
        sys->probeDir = env.mainDir();
        ASSERT_TRUE(sys->CheckTables());
        EXPECT_FALSE(QFileInfo::exists(sys->DataDir + QStringLiteral("RESTORE.JNL")));
        EXPECT_EQ(dump(), before);
        EXPECT_TRUE(besideData().isEmpty()) << besideData().join(',').toStdString();
    }
    EXPECT_GT(renames, 20);  // 13 tables with memo and index files out, then in
    // The last run went through.
    ASSERT_TRUE(sys->CheckTables());
    EXPECT_EQ(dump(), atBackup);
}

TEST_F(BackupRestore, APlainCopyWithoutTheLogRestoresAndKeepsTheLog) {
    const int id = addEvent(QStringLiteral("P/2024/3/1"), QStringLiteral("treść"));
    LogDiag(QStringLiteral("Wpis dziennika"), {});
    sys->ShutdownTables();
    // What older programs left: the table and memo files, the log deleted, no list.
    const QString plain = env.dir.path() + QStringLiteral("/stara-kopia");
    QDir().mkpath(plain);
    for (const QString& f : FilesByMask(sys->DataDir + QStringLiteral("*.dbf")) +
                                FilesByMask(sys->DataDir + QStringLiteral("*.dbt"))) {
        if (!QFileInfo(f).fileName().startsWith(QLatin1String("DIAGS"), Qt::CaseInsensitive)) {
            ASSERT_TRUE(QFile::copy(f, plain + u'/' + QFileInfo(f).fileName().toLower()));
        }
    }
    ASSERT_TRUE(sys->CheckTables());
    const Dump atCopy = dump();
    ASSERT_TRUE(TblZdarzenia->DeleteByID(id));

    const TBackupResult r = restore(plain);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(dump(), atCopy);
    EXPECT_TRUE(logHolds("Wpis dziennika"));
    EXPECT_FALSE(r.madeAt.isValid());

    // A plain copy with a damaged table is refused: here its header length is zero.
    QFile f(plain + QStringLiteral("/zdarz.dbf"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(8));
    f.write(QByteArray(2, '\0'));
    f.close();
    const Dump now = dump();
    EXPECT_FALSE(restore(plain).ok);
    EXPECT_EQ(dump(), now);
}

}  // namespace
}  // namespace pulpex
