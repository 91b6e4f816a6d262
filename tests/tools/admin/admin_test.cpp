// pulpex-admin run as a subprocess on installation directories in temporary directories.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "core/utils.h"
#include "tables/engine/table.h"
#include "tables/engine/value.h"
#include "tools/admin/admin_process.h"

namespace pulpex {
namespace {

using Outcome = test::AdminOutcome;

class AdminTool : public ::testing::Test {
  protected:
    Outcome admin(const QStringList& args) { return test::RunAdmin(args, tmp.path()); }
    QString mainDir() const { return tmp.path() + QStringLiteral("/pulpex"); }

    QTemporaryDir tmp;
};

TEST_F(AdminTool, BadArgumentsDoNothingAndExitTwo) {
    const QString d = mainDir();
    const QString n = QStringLiteral("{NZ}");
    const std::vector<QStringList> cases = {
        {},
        {"frob", d},
        {"check"},
        {"check", ""},
        {"check", d, "extra"},
        {"check", d, "--take"},
        {"counter"},
        {"counter", d},
        {"counter", "", n},
        {"counter", d, n, "extra"},
        {"counter", d, n, "--set"},
        {"counter", d, n, "--set", "abc"},
        {"counter", d, n, "--set", "-5"},
        {"counter", d, n, "--set", "12x"},
        {"counter", d, n, "--set", "2147483647"},
        {"counter", d, n, "--set", "99999999999999999999"},
        {"counter", d, n, "--take", "--set", "3"},
        {"counter", d, n, "--set", "3", "--take"},
        {"counter", d, n, "--take", "--take"},
        {"counter", d, n, "--set", "1", "--set", "2"},
        {"counter", d, n, "--wez"},
        {"counter", d, "{NAZWA-DLUZSZA-NIZ-25-ZNAKOW}"},
        {"counter", d, " {NZ}"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(QLatin1Char('|')).toStdString());
        const Outcome r = admin(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("pulpex-admin: "))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Użycie:")));
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_FALSE(QFileInfo::exists(d));
    }
    EXPECT_TRUE(admin({"counter", d, n, "--set", "x"})
                    .err.contains(QStringLiteral("Nieprawidłowa liczba po opcji --set")));
    EXPECT_TRUE(admin({"counter", d, n, "--take", "--set", "1"})
                    .err.contains(QStringLiteral("--take i --set")));
    EXPECT_TRUE(admin({"check", d, "x"}).err.contains(QStringLiteral("Nadmiarowy argument: x")));
}

TEST_F(AdminTool, HelpPrintsTheUsage) {
    for (const QStringList& args : {QStringList{"--help"}, QStringList{"counter", "--help"}}) {
        const Outcome r = admin(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_TRUE(r.out.startsWith(QStringLiteral("Użycie:"))) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("--set N")));
        EXPECT_TRUE(r.err.isEmpty());
    }
}

TEST_F(AdminTool, CounterLooksTakesAndSets) {
    const QString d = mainDir();
    Outcome r = admin({"counter", d, "{NZ}"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "1\n");

    r = admin({"counter", d, "{NZ}", "--set", "41"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "42\n");
    r = admin({"counter", d, "{NZ}", "--take"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "42\n");
    EXPECT_EQ(admin({"counter", d, "--take", "{NZ}"}).out, "43\n");
    EXPECT_EQ(admin({"counter", d, "{NZ}"}).out, "44\n");
    EXPECT_EQ(admin({"counter", d, "{NP}"}).out, "1\n");

    // Going back is allowed, with a warning that numbers may repeat.
    r = admin({"counter", d, "{NZ}", "--set", "10"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "11\n");
    EXPECT_TRUE(r.err.contains(QStringLiteral("numery od 11 do 43 mogą się powtórzyć")))
        << r.err.toStdString();
    r = admin({"counter", d, "{NZ}", "--set", "0"});
    EXPECT_EQ(r.out, "1\n");

    // Relative directories are the same installation.
    r = admin({"counter", "pulpex", "{NZ}", "--take"});
    EXPECT_EQ(r.out, "1\n");
}

TEST_F(AdminTool, CounterHeldByAnotherWorkstation) {
    const QString d = mainDir();
    ASSERT_EQ(admin({"counter", d, "{NZ}", "--set", "5"}).code, 0);

    auto other = engine::Table::open(
        engine::Table::resolve(QFile::encodeName(d + "/BASES/").toStdString(), "TBLID.DBF"));
    ASSERT_TRUE(other->locate("TBID_RSC", engine::Value(std::string("{NZ}"))));
    other->edit();
    Outcome r = admin({"counter", d, "{NZ}", "--take"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Nie można pobrać kolejnego numeru licznika {NZ}")))
        << r.err.toStdString();
    other->cancel();

    r = admin({"counter", d, "{NZ}", "--take"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "6\n");
}

TEST_F(AdminTool, CheckCreatesThenFindsNothingToDo) {
    const QString d = mainDir();
    Outcome r = admin({"check", d});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral("Utworzono tabelę ")), 13) << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("Sprawdzono tabel: 13\n")));
    EXPECT_TRUE(QFileInfo(d + "/BASES/arc").isDir());
    // The open-file probe cleans up after itself, wherever it ran.
    EXPECT_TRUE(QDir(d).entryList({"tmp_*"}, QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(tmp.path()).entryList({"tmp_*"}, QDir::Files).isEmpty());

    r = admin({"check", d});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Sprawdzono tabel: 13\n");
    // A lost index file is rebuilt and said so.
    ASSERT_TRUE(QFile::remove(d + "/BASES/ZDARZ.MDX"));
    r = admin({"check", d});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Odbudowano indeks tabeli ZDARZ\nSprawdzono tabel: 13\n");
    EXPECT_TRUE(QFileInfo::exists(d + "/BASES/ZDARZ.MDX"));
}

TEST_F(AdminTool, CheckFailures) {
    // A directory that cannot be made: a file stands in the way.
    QFile blocker(tmp.path() + "/plik");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QString& cmd : {QStringLiteral("check"), QStringLiteral("counter")}) {
        QStringList args{cmd, tmp.path() + "/plik/pulpex"};
        if (cmd == QLatin1String("counter")) args << "{NZ}";
        const Outcome r = admin(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("Nie można utworzyć katalogu: ") + tmp.path() +
                                   "/plik/pulpex"))
            << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }

    // Data of a newer release are not touched.
    ASSERT_TRUE(QDir().mkpath(mainDir()));
    ASSERT_TRUE(IniWriteString("CONFIG", "RELEASE", "4", mainDir() + "/PULPEX.INI"));
    Outcome r = admin({"check", mainDir()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Błędna wersja systemu !"))) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("Utworzono")));
    EXPECT_FALSE(QFileInfo::exists(mainDir() + "/BASES/TBLID.DBF"));
    r = admin({"counter", mainDir(), "{NZ}"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty());
}

}  // namespace
}  // namespace pulpex
