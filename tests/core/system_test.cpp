// The system object: paths from the App Paths stand-in, the release check, the file-handle
// probe, the user's scratch directory, start and shutdown.
#include "core/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/utils.h"
#include "support/testenv.h"
#include "tables/tbase.h"

namespace pulpex {
namespace {

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

class SystemPaths : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + "/config"));
        qputenv("HOME", QFile::encodeName(dir.path() + "/home"));
        qunsetenv("PULPEX_APP_PATHS");
    }
    void TearDown() override {
        qunsetenv("PULPEX_APP_PATHS");
        if (!home.isEmpty()) qputenv("HOME", home);
    }
    QByteArray home = qgetenv("HOME");
    QTemporaryDir dir;
    ScriptedPrompts prompts;
};

TEST_F(SystemPaths, InstallPathFromTheAppPathsFile) {
    writeFile(dir.path() + "/config/pulpex/app-paths.ini",
              "[Pulpex.exe]\nPath=" + QFile::encodeName(dir.path()) + "/biuro/\n");
    TAM_System sys;
    EXPECT_TRUE(prompts.shown().empty());
    EXPECT_EQ(sys.MainDir, dir.path() + "/biuro/");
    EXPECT_EQ(sys.DataDir, dir.path() + "/biuro/BASES/");
    EXPECT_EQ(sys.ArchiveDir, dir.path() + "/biuro/BASES/arc/");
    EXPECT_EQ(sys.IniFile, dir.path() + "/biuro/PULPEX.INI");
    // The path goes to WIN.INI without its trailing separator.
    EXPECT_EQ(IniReadString("PULPEX", "BASE_MAIN", "", WinIniPath()), dir.path() + "/biuro");
    EXPECT_EQ(System(), &sys);
}

TEST_F(SystemPaths, EnvironmentNamesAnotherFile) {
    writeFile(dir.path() + "/inny.ini", "[pulpex.exe]\npath=/srv/pulpex\n");
    qputenv("PULPEX_APP_PATHS", QFile::encodeName(dir.path() + "/inny.ini"));
    TAM_System sys;
    EXPECT_EQ(sys.MainDir, "/srv/pulpex/");
}

TEST_F(SystemPaths, WithoutTheFileTheMessageIsShownOnceAndHomeIsUsed) {
    TAM_System sys;
    EXPECT_EQ(prompts.texts(), QStringList{"błąd podczas otwierania rejestru"});
    EXPECT_EQ(sys.MainDir, dir.path() + "/home/pulpex/");
}

class SystemStart : public ::testing::Test {
  protected:
    test::TestSystem env;
    TAM_System& sys() { return *env.sys; }
    void SetUp() override { sys().probeDir = env.dir.path(); }
};

TEST_F(SystemStart, ReleaseCheck) {
    ASSERT_TRUE(sys().CheckTables());
    EXPECT_EQ(IniReadString("CONFIG", "RELEASE", "", sys().IniFile), "3");
    EXPECT_TRUE(QFileInfo(sys().ArchiveDir).isDir());

    IniWriteString("CONFIG", "RELEASE", "4", sys().IniFile);
    EXPECT_FALSE(sys().CheckTables());
    ASSERT_EQ(env.prompts.texts().size(), 1);
    EXPECT_EQ(env.prompts.texts()[0],
              "Błędna wersja systemu !\r\n\rPróba zainstalowania wersji starszej niż ostatnio "
              "uruchamiana !!!");

    IniWriteString("CONFIG", "RELEASE", "trzy", sys().IniFile);
    env.prompts.clear();
    EXPECT_FALSE(sys().CheckTables());
    EXPECT_EQ(env.prompts.texts().size(), 1);
}

TEST_F(SystemStart, DataDirectoryThatCannotBeMadeFailsQuietly) {
    writeFile(env.dir.path() + "/plik", "x");
    TAM_System other(env.dir.path() + "/plik/pulpex");
    EXPECT_FALSE(other.CheckTables());
    EXPECT_TRUE(env.prompts.shown().empty());
}

// How many more files the process can open now.
int freeDescriptors() {
    std::vector<int> fds;
    for (;;) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) break;
        fds.push_back(fd);
    }
    for (int fd : fds)
        ::close(fd);
    return static_cast<int>(fds.size());
}

// Run in a child process, since it lowers the process's open-file limit.
TEST_F(SystemStart, FileProbeReportsTheFirstFileThatCouldNotBeMade) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        rlimit rl{};
        getrlimit(RLIMIT_NOFILE, &rl);
        rl.rlim_cur = std::min<rlim_t>(rl.rlim_cur, 1024);
        if (setrlimit(RLIMIT_NOFILE, &rl) != 0) _exit(10);
        // Descriptors in use above the limit do not count against it: step down until exactly
        // sixty more files can be opened.
        for (int free = freeDescriptors(); free != 60; free = freeDescriptors()) {
            if (free < 60) _exit(11);
            rl.rlim_cur -= static_cast<rlim_t>(std::max(1, (free - 60) / 2));
            if (setrlimit(RLIMIT_NOFILE, &rl) != 0) _exit(11);
        }
        const bool ok = sys().CheckTables();
        const QStringList texts = env.prompts.texts();
        const bool shown = texts.size() == 1 && texts[0].startsWith(
                                                    "Zbyt mało plików !\r\n\rDostępnych : 61\r\n"
                                                    "Wymaganych : 70\r\n");
        const bool cleaned = QDir(env.dir.path()).entryList({"tmp_*.HAH"}, QDir::Files).isEmpty();
        _exit(ok ? (shown ? (cleaned ? 0 : 3) : 2) : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // With the ordinary limit there is no message and no probe file is left.
    ASSERT_TRUE(sys().CheckTables());
    EXPECT_TRUE(env.prompts.shown().empty());
    EXPECT_TRUE(QDir(env.dir.path()).entryList({"tmp_*.HAH"}, QDir::Files).isEmpty());
}

TEST_F(SystemStart, FileProbeWhereNothingCanBeWrittenDoesNotBlameTheFileLimit) {
    // The probe's directory cannot take files (here: a path through a plain file, since tests
    // may run with every right); the temporary directory can.
    writeFile(env.dir.path() + "/plik", "x");
    sys().probeDir = env.dir.path() + "/plik/katalog";
    ASSERT_TRUE(sys().CheckTables());
    EXPECT_TRUE(env.prompts.shown().empty()) << env.prompts.texts().join("|").toStdString();

    // Neither can: the message says why, not that files are too few.
    const QByteArray tmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(env.dir.path() + "/plik/tmp"));
    const bool ok = sys().CheckTables();
    if (tmp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", tmp);
    EXPECT_TRUE(ok);
    const QStringList texts = env.prompts.texts();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_FALSE(texts[0].contains("Zbyt mało plików")) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("nie można utworzyć pliku w katalogu")) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("część ścieżki nie jest katalogiem")) << texts[0].toStdString();
}

// A table whose creation has something to say, as the restructuring of the check has.
class TalkativeTable : public TOT_Table {
  public:
    TalkativeTable() : TOT_Table(QStringLiteral("GADUA")) {
        CreateInfo.SetFieldDefs({{QStringLiteral("ID"), TFieldType::Integer}});
    }
    bool CreateTableSelf() override {
        prompts().message(Severity::Warning, QStringLiteral("Utworzono tabelę GADUA"));
        prompts().beep();
        return TOT_Table::CreateTableSelf();
    }
};

class TalkativeSystem : public TAM_System {
  public:
    using TAM_System::TAM_System;
    void BuildCatalogue() override {
        auto t = std::make_unique<TalkativeTable>();
        t->DatabaseName = DataDir;
        AddToCatalogue(std::move(t), QStringLiteral("Gadua"));
    }
};

// Records, for each message, whether the data directory's lock was free when it was shown.
class LockProbingPrompts : public ScriptedPrompts {
  public:
    explicit LockProbingPrompts(const QString& dataDir) : lock_(dataDir + "PULPEX.LCK") {}
    Answer message(Severity severity, const QString& text, Buttons buttons,
                   const QString& caption) override {
        lockFree << lockIsFree();
        return ScriptedPrompts::message(severity, text, buttons, caption);
    }
    void beep() override {
        lockFree << lockIsFree();
        ScriptedPrompts::beep();
    }
    QList<bool> lockFree;

  private:
    bool lockIsFree() const {
        const int fd = ::open(QFile::encodeName(lock_).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return true;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    }
    QString lock_;
};

TEST_F(SystemStart, StartUpMessagesAreShownAfterTheDirectoryLockIsReleased) {
    TalkativeSystem talkative(env.mainDir());
    talkative.probeDir = env.dir.path();
    LockProbingPrompts shown(talkative.DataDir);
    ASSERT_TRUE(talkative.CheckTables());
    EXPECT_EQ(shown.texts(), QStringList{"Utworzono tabelę GADUA"});
    EXPECT_EQ(shown.beeps, 1);
    EXPECT_EQ(shown.lockFree, (QList<bool>{true, true}));
}

TEST_F(SystemStart, WaitForAnotherWorkstationsCheckIsAnnounced) {
    QStringList events;
    sys().lockWaitHandler = [&](bool waiting) { events << (waiting ? "czeka" : "koniec"); };
    ASSERT_TRUE(sys().CheckTables());
    EXPECT_TRUE(events.isEmpty());

    // Another workstation holds the lock; it finishes while this one waits.
    int other = ::open(QFile::encodeName(sys().DataDir + "PULPEX.LCK").constData(),
                       O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    sys().lockWaitHandler = [&](bool waiting) {
        events << (waiting ? "czeka" : "koniec");
        if (waiting) {
            ::close(other);
            other = -1;
        }
    };
    ASSERT_TRUE(sys().CheckTables());
    EXPECT_EQ(events, (QStringList{"czeka", "koniec"}));
    if (other >= 0) ::close(other);
}

TEST_F(SystemStart, StartNeedsALoginAndScratchDirectoryIsPerUser) {
    EXPECT_FALSE(sys().StartSystem());  // nobody to log in
    int calls = 0;
    QStringList events;
    sys().busyHandler = [&](bool busy) { events << (busy ? "busy" : "done"); };
    sys().loginHandler = [&](TAM_System&) {
        events << "login";
        return ++calls > 0;
    };
    EXPECT_TRUE(sys().StartSystem());
    EXPECT_EQ(calls, 1);
    // The busy notice covers the table check only, never the login dialogs.
    EXPECT_EQ(events, (QStringList{"busy", "done", "login"}));
    const QString tmp = sys().UserTempDir();
    EXPECT_EQ(tmp, sys().DataDir + "TMP/0/");
    EXPECT_TRUE(QFileInfo(tmp).isDir());
}

}  // namespace
}  // namespace pulpex
