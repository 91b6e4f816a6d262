// pulpex-admin backup and restore run as subprocesses, killed in the middle, and refused while
// another process holds a table.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <map>

#include "core/backup.h"
#include "tables/engine/table.h"
#include "tables/engine/value.h"
#include "tools/admin/admin_process.h"

namespace pulpex {
namespace {

using Dump = std::map<std::string, std::string>;

const char* const kTables[] = {"USERS", "TBLID", "ZDARZ",  "SPRAWY",  "REL_SZD", "REL_SK",
                               "PISMA", "NOTKI", "KORESP", "KLSPRAW", "ALARM",   "ADRESY"};

class AdminBackup : public ::testing::Test {
  protected:
    QProcessEnvironment environment() const { return test::AdminEnvironment(tmp.path()); }
    using Outcome = test::AdminOutcome;
    Outcome admin(const QStringList& args, const QString& killAt = {}) {
        return test::RunAdmin(args, tmp.path(),
                              killAt.isEmpty()
                                  ? QStringList{}
                                  : QStringList{"PULPEX_ADMIN_TEST_KILL_AT_SWAP_STEP=" + killAt});
    }
    QString mainDir() const { return tmp.path() + QStringLiteral("/pulpex"); }
    std::string table(const char* name) const {
        return engine::Table::resolve(QFile::encodeName(mainDir() + "/BASES").toStdString(),
                                      std::string(name) + ".DBF");
    }
    void addEvent(int id, const std::string& content) {
        auto t = engine::Table::open(table("ZDARZ"));
        t->append();
        t->setInteger("ID", id);
        t->setString("ZD_NMR", "P/" + std::to_string(id));
        t->writeBlob("ZD_TRE", std::as_bytes(std::span(content)));
        t->post();
    }
    void addAddress(int id) {
        auto t = engine::Table::open(table("ADRESY"));
        t->append();
        t->setInteger("ID", id);
        t->post();
    }
    Dump dump() {
        Dump d;
        for (const char* name : kTables) {
            auto t = engine::Table::open(table(name), {.readOnly = true});
            std::string& s = d[name];
            for (t->first(); !t->eof(); t->next()) {
                for (int i = 0; i < static_cast<int>(t->fields().size()); ++i)
                    s += t->asText(i) + '|';
                s += '\n';
            }
        }
        return d;
    }
    void setUpData() {
        ASSERT_EQ(admin({"check", mainDir()}).code, 0);
        // Large enough for the copy to take a moment.
        addEvent(1, std::string(4 << 20, 'a'));
        addAddress(1);
        ASSERT_EQ(admin({"counter", mainDir(), "{NZ}", "--take"}).code, 0);
    }

    QTemporaryDir tmp;
};

TEST_F(AdminBackup, BackupAndRestoreFromTheCommandLine) {
    for (const QStringList& args : std::vector<QStringList>{
             {"backup", mainDir()},
             {"backup", mainDir(), ""},
             {"backup", mainDir(), "a", "b"},
             {"restore", mainDir()},
             {"restore", mainDir(), "a", "b"},
         }) {
        SCOPED_TRACE(args.join(u'|').toStdString());
        const auto r = admin(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("pulpex-admin: ")));
    }
    setUpData();
    const QString dest = tmp.path() + QStringLiteral("/kopie");
    const auto b = admin({"backup", mainDir(), dest});
    ASSERT_EQ(b.code, 0) << b.err.toStdString();
    const QString folder = b.out.trimmed();
    EXPECT_TRUE(QFileInfo(folder + u'/' + kBackupManifest).isFile()) << folder.toStdString();
    EXPECT_EQ(QFileInfo(folder).absolutePath(), QFileInfo(dest).absoluteFilePath());
    const Dump atBackup = dump();

    addEvent(2, "później");
    ASSERT_EQ(admin({"counter", mainDir(), "{NZ}", "--take"}).out.trimmed(), QStringLiteral("2"));
    const auto r = admin({"restore", mainDir(), dest});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(dump(), atBackup);
    EXPECT_EQ(admin({"counter", mainDir(), "{NZ}"}).out.trimmed(), QStringLiteral("2"));

    // Onto a new machine: an installation directory without data.
    const QString fresh = tmp.path() + QStringLiteral("/nowy");
    const auto onto = admin({"restore", fresh, dest});
    ASSERT_EQ(onto.code, 0) << onto.err.toStdString();
    EXPECT_EQ(admin({"counter", fresh, "{NZ}"}).out.trimmed(), QStringLiteral("2"));

    QDir().mkpath(tmp.path() + QStringLiteral("/pusty"));
    const auto empty = admin({"restore", mainDir(), tmp.path() + QStringLiteral("/pusty")});
    EXPECT_EQ(empty.code, 1);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("nie ma kopii"))) << empty.err.toStdString();
}

TEST_F(AdminBackup, BackupRefusesWhileAnotherProcessWritesATable) {
    setUpData();
    const QString dest = tmp.path() + QStringLiteral("/kopie");
    QDir().mkpath(dest);
    QFile mine(dest + QStringLiteral("/moje.txt"));
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.write("moje");
    mine.close();

    {
        // This process is the other workstation, in the middle of editing an event.
        auto writer = engine::Table::open(table("ZDARZ"));
        writer->first();
        writer->edit();
        writer->setString("ZD_NMR", "zmieniane");
        const auto r = admin({"backup", mainDir(), dest});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("ZDARZ"))) << r.err.toStdString();
        EXPECT_EQ(QDir(dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("moje.txt")});
        const auto restore = admin({"restore", mainDir(), dest});
        EXPECT_EQ(restore.code, 1);
        writer->cancel();
    }
    const auto r = admin({"backup", mainDir(), dest});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
}

// Killed before any rename of the swap, or at any moment of the copy: the next start finds the
// old data or the backup's, all of one or all of the other.
TEST_F(AdminBackup, ARestoreKilledInTheMiddleLeavesOldDataOrTheBackup) {
    setUpData();
    const QString dest = tmp.path() + QStringLiteral("/kopie");
    ASSERT_EQ(admin({"backup", mainDir(), dest}).code, 0);
    const Dump atBackup = dump();
    addEvent(2, std::string(1 << 20, 'b'));
    addAddress(2);
    ASSERT_EQ(admin({"counter", mainDir(), "{NZ}", "--take"}).code, 0);
    const Dump old = dump();

    for (const char* step : {"0", "1", "7", "20", "30"}) {
        SCOPED_TRACE(step);
        const auto r = admin({"restore", mainDir(), dest}, QString::fromLatin1(step));
        EXPECT_TRUE(r.crashed) << r.err.toStdString();
        ASSERT_EQ(admin({"check", mainDir()}).code, 0);  // the next start
        EXPECT_EQ(dump(), old);
        EXPECT_FALSE(QFileInfo::exists(mainDir() + QStringLiteral("/BASES/RESTORE.JNL")));
    }

    // A real kill -9 while the tool copies: wait for its folder beside the data.
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral(PULPEX_ADMIN_BIN), {"restore", mainDir(), dest});
        ASSERT_TRUE(p.waitForStarted(10000));
        bool seen = false;
        for (int i = 0; i < 2000 && !seen && p.state() == QProcess::Running; ++i) {
            seen = !QDir(mainDir()).entryList({"BASES-odtwarzanie-*"}, QDir::Dirs).isEmpty();
            if (!seen) QThread::msleep(5);
        }
        QThread::msleep(static_cast<unsigned long>(attempt * 20));
        p.kill();
        p.waitForFinished();
        ASSERT_EQ(admin({"check", mainDir()}).code, 0);
        const Dump now = dump();
        EXPECT_TRUE(now == old || now == atBackup);
        if (now == atBackup) break;  // it got through before the kill
    }

    const auto done = admin({"restore", mainDir(), dest});
    ASSERT_EQ(done.code, 0) << done.err.toStdString();
    EXPECT_EQ(dump(), atBackup);
}

}  // namespace
}  // namespace pulpex
