// pulpex-admin: the administrator's tool for an installation directory, without windows.
//
//   pulpex-admin check MAINDIR                         the start-up table check
//   pulpex-admin counter MAINDIR NAME [--take | --set N]
//   pulpex-admin backup MAINDIR DEST                    a new backup folder under DEST
//   pulpex-admin restore MAINDIR SOURCE                 the data from the backup in SOURCE
//
// Exit codes: 0 success, 1 the work failed, 2 bad arguments.
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <climits>
#include <csignal>
#include <cstdio>
#include <exception>
#include <optional>

#include "core/backup.h"
#include "core/prompts.h"
#include "core/pulpex_system.h"
#include "core/utils.h"
#include "tables/am_diags.h"
#include "tables/catalogue.h"
#include "tables/engine/error.h"
#include "tables/globals.h"
#include "tables/id_gener.h"

namespace pulpex {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// TBID_RSC holds 25 characters; a longer name would be cut into another counter's name.
constexpr int kMaxCounterName = 25;
// The next number must still fit the counter's integer.
constexpr long long kMaxLastNumber = INT_MAX - 1LL;

const char* const kUsage =
    "Użycie:\n"
    "  pulpex-admin check KATALOG\n"
    "      Sprawdza tabele w KATALOG/BASES tak jak przy uruchomieniu programu: tworzy\n"
    "      brakujące, odbudowuje indeksy, przebudowuje tabele o innej strukturze.\n"
    "      Wypisuje po jednym wierszu na każdą czynność.\n"
    "  pulpex-admin counter KATALOG NAZWA [--take | --set N]\n"
    "      Wypisuje numer, który licznik NAZWA (np. {NZ}) wyda jako następny.\n"
    "      --take   pobiera kolejny numer licznika i go wypisuje\n"
    "      --set N  ustawia N jako ostatni wydany numer i wypisuje następny\n"
    "  pulpex-admin backup KATALOG MIEJSCE\n"
    "      Tworzy kopię bezpieczeństwa tabel w nowym folderze Pulpex-kopia-DATA_CZAS\n"
    "      w MIEJSCE (z listą plików i ich sum kontrolnych) i wypisuje jego nazwę.\n"
    "      Nic poza nowym folderem nie jest zmieniane ani usuwane.\n"
    "  pulpex-admin restore KATALOG ŹRÓDŁO\n"
    "      Odtwarza tabele z kopii w ŹRÓDŁO (folder kopii albo miejsce z kopiami:\n"
    "      wtedy z najnowszej). Dotychczasowe dane zostają w folderze\n"
    "      BASES-przed-odtworzeniem-DATA_CZAS obok katalogu danych.\n"
    "  pulpex-admin --help\n"
    "      Wypisuje ten opis.\n"
    "\n"
    "KATALOG to katalog instalacji (z plikiem PULPEX.INI i katalogiem BASES).\n"
    "Kody wyjścia: 0 - powodzenie, 1 - błąd, 2 - błędne argumenty.\n";

void out(const QString& line) {
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void err(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

int usageError(const QString& message) {
    err(QStringLiteral("pulpex-admin: ") + message);
    std::fprintf(stderr, "\n%s", kUsage);
    return kExitUsage;
}

struct Arguments {
    QString command;
    QString mainDir;
    QString place;  // backup and restore
    QString counter;
    bool take = false;
    std::optional<int> set;
};

// A non-negative decimal number the counter can hold, or nothing.
std::optional<int> parseLastNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    long long v = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    if (v > kMaxLastNumber) return std::nullopt;
    return static_cast<int>(v);
}

// Parses the arguments; on an error returns the exit code after printing the message.
std::optional<int> parse(const QStringList& args, Arguments& a) {
    for (const QString& s : args)
        if (s == QLatin1String("--help") || s == QLatin1String("-h")) {
            std::fprintf(stdout, "%s", kUsage);
            return kExitOk;
        }
    if (args.isEmpty()) return usageError(QStringLiteral("Nie podano polecenia."));

    a.command = args.front();
    if (a.command != QLatin1String("check") && a.command != QLatin1String("counter") &&
        a.command != QLatin1String("backup") && a.command != QLatin1String("restore"))
        return usageError(QStringLiteral("Nieznane polecenie: ") + a.command);
    const bool counter = a.command == QLatin1String("counter");
    const bool copy = a.command == QLatin1String("backup") || a.command == QLatin1String("restore");

    QStringList positional;
    bool setGiven = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& s = args[i];
        if (counter && s == QLatin1String("--take")) {
            if (a.take) return usageError(QStringLiteral("Opcja --take podana więcej niż raz."));
            a.take = true;
        } else if (counter && s == QLatin1String("--set")) {
            if (setGiven) return usageError(QStringLiteral("Opcja --set podana więcej niż raz."));
            setGiven = true;
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("Po opcji --set brakuje liczby."));
            const QString n = args[++i];
            a.set = parseLastNumber(n);
            if (!a.set)
                return usageError(QStringLiteral("Nieprawidłowa liczba po opcji --set: \"") + n +
                                  QStringLiteral("\" (dozwolona liczba całkowita od 0 do ") +
                                  QString::number(kMaxLastNumber) + QStringLiteral(")."));
        } else if (s.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("Nieznana opcja: ") + s);
        } else {
            positional << s;
        }
    }
    if (a.take && setGiven)
        return usageError(QStringLiteral("Opcji --take i --set nie można użyć razem."));

    const qsizetype wanted = counter || copy ? 2 : 1;
    if (positional.isEmpty() || positional.front().isEmpty())
        return usageError(QStringLiteral("Nie podano katalogu instalacji."));
    if (counter && (positional.size() < 2 || positional[1].isEmpty()))
        return usageError(QStringLiteral("Nie podano nazwy licznika."));
    if (copy && (positional.size() < 2 || positional[1].trimmed().isEmpty()))
        return usageError(a.command == QLatin1String("backup")
                              ? QStringLiteral("Nie podano miejsca składowania kopii.")
                              : QStringLiteral("Nie podano miejsca, z którego odtworzyć dane."));
    if (positional.size() > wanted)
        return usageError(QStringLiteral("Nadmiarowy argument: ") + positional[wanted]);

    a.mainDir = QFileInfo(positional.front()).absoluteFilePath();
    if (copy) a.place = QFileInfo(positional[1]).absoluteFilePath();
    if (counter) {
        a.counter = positional[1];
        if (a.counter.size() > kMaxCounterName)
            return usageError(QStringLiteral("Nazwa licznika może mieć najwyżej ") +
                              QString::number(kMaxCounterName) + QStringLiteral(" znaków."));
        // The table keeps names blank-padded: blanks at the ends would be lost.
        if (a.counter.trimmed() != a.counter)
            return usageError(
                QStringLiteral("Nazwa licznika nie może zaczynać się ani kończyć odstępem."));
    }
    return std::nullopt;
}

// The directories CheckTables makes, made here first so that a failure can be named.
bool makeDirectories(const TAM_System& sys) {
    for (const QString& dir : {sys.MainDir, sys.DataDir, sys.ArchiveDir}) {
        if (!ForceDirs(dir)) {
            err(QStringLiteral("Nie można utworzyć katalogu: ") + RemoveSlash(dir));
            return false;
        }
    }
    return true;
}

// Messages and catalogue actions printed for the length of one command.
class ConsoleSession {
  public:
    explicit ConsoleSession(bool toStdout) : console_(toStdout), previous_(setPrompts(&console_)) {
        if (toStdout)
            SetCatalogueActionLog([](const QString& line) { out(line); });
        else
            SetCatalogueActionLog([](const QString& line) { err(line); });
    }
    ~ConsoleSession() {
        SetCatalogueActionLog({});
        setPrompts(previous_);
    }
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

  private:
    ConsolePrompts console_;
    Prompts* previous_;
};

int runCheck(const Arguments& a) {
    ConsoleSession session(true);
    int rc = kExitFailed;
    {
        TPulpex_System sys(a.mainDir);
        // The open-file probe writes its files where the data are, not wherever we were started.
        sys.probeDir = sys.MainDir;
        if (makeDirectories(sys)) {
            if (sys.CheckTables()) {
                out(QStringLiteral("Sprawdzono tabel: ") + QString::number(sys.TableCount()));
                rc = kExitOk;
            } else {
                err(QStringLiteral("Sprawdzenie tabel nie powiodło się."));
            }
        }
    }
    return rc;
}

int runCounter(const Arguments& a) {
    // Standard output carries only the number; everything else goes to standard error.
    ConsoleSession session(false);
    int rc = kExitFailed;
    {
        TPulpex_System sys(a.mainDir);
        sys.probeDir = sys.MainDir;
        if (!makeDirectories(sys)) {
        } else if (!sys.CheckTables()) {
            err(QStringLiteral(
                "Sprawdzenie tabel nie powiodło się; licznik nie został odczytany."));
        } else if (!TblID) {
            err(QStringLiteral("Brak tabeli liczników w katalogu danych."));
        } else if (a.take) {
            const int n = TblID->GenerateID(a.counter);
            if (n == 0) {
                err(QStringLiteral("Nie można pobrać kolejnego numeru licznika ") + a.counter +
                    QStringLiteral(": licznik jest zablokowany przez inne stanowisko lub nie "
                                   "można go zapisać."));
            } else {
                out(QString::number(n));
                rc = kExitOk;
            }
        } else if (a.set) {
            const int before = TblID->ConsultnextID(a.counter) - 1;
            TblID->SetLastID(a.counter, *a.set);
            const int next = TblID->ConsultnextID(a.counter);
            if (next != *a.set + 1) {
                err(QStringLiteral("Nie udało się ustawić licznika ") + a.counter +
                    QStringLiteral(" (następny numer to nadal ") + QString::number(next) +
                    QStringLiteral(")."));
            } else {
                if (*a.set < before)
                    err(QStringLiteral("Uwaga: licznik ") + a.counter +
                        QStringLiteral(" cofnięto z ") + QString::number(before) +
                        QStringLiteral(" na ") + QString::number(*a.set) +
                        QStringLiteral("; numery od ") + QString::number(*a.set + 1) +
                        QStringLiteral(" do ") + QString::number(before) +
                        QStringLiteral(" mogą się powtórzyć."));
                out(QString::number(next));
                rc = kExitOk;
            }
        } else {
            out(QString::number(TblID->ConsultnextID(a.counter)));
            rc = kExitOk;
        }
    }
    return rc;
}

// Percentages on a terminal; nothing when run from cron or a script.
TBackupProgress consoleProgress() {
    if (!::isatty(STDERR_FILENO)) return {};
    return [last = -1](qint64 done, qint64 total, const QString& what) mutable {
        const int pct = total > 0 ? static_cast<int>(done * 100 / total) : 0;
        if (pct != last) {
            last = pct;
            std::fprintf(stderr, "\r%3d%% %-60s", pct, what.left(60).toUtf8().constData());
            std::fflush(stderr);
        }
        return true;
    };
}

void endProgressLine() {
    if (::isatty(STDERR_FILENO)) std::fprintf(stderr, "\n");
}

void printLines(const QString& text) {
    for (const QString& line : text.split(QLatin1Char('\n')))
        err(line);
}

bool dataDirExists(const TAM_System& sys) {
    if (QFileInfo(sys.DataDir).isDir()) return true;
    err(QStringLiteral("Nie ma katalogu danych: ") + RemoveSlash(sys.DataDir));
    return false;
}

int runBackup(const Arguments& a) {
    // Standard output carries only the folder made.
    ConsoleSession session(false);
    TPulpex_System sys(a.mainDir);
    if (!dataDirExists(sys)) return kExitFailed;
    const TBackupResult r =
        MakeBackup(sys.DataDir, CatalogueTables(sys), a.place, consoleProgress());
    endProgressLine();
    if (!r.ok) {
        printLines(r.message);
        return kExitFailed;
    }
    out(r.folder);
    return kExitOk;
}

int runRestore(const Arguments& a) {
    ConsoleSession session(false);
    TPulpex_System sys(a.mainDir);
    sys.probeDir = sys.MainDir;
    // A new machine's installation may have no data yet: the restore brings them.
    if (!makeDirectories(sys)) return kExitFailed;
    TRestoreOptions options;
    // Tests stop the tool in the middle of the swap, as a power cut would.
    bool ok = false;
    const int killAt = qEnvironmentVariableIntValue("PULPEX_ADMIN_TEST_KILL_AT_SWAP_STEP", &ok);
    if (ok)
        options.swapStep = [killAt](int step) {
            if (step == killAt) std::raise(SIGKILL);
        };
    const TBackupResult r =
        RestoreBackup(sys.DataDir, CatalogueTables(sys), a.place, consoleProgress(), options);
    endProgressLine();
    if (!r.ok) {
        printLines(r.message);
        return kExitFailed;
    }
    err(QStringLiteral("Odtworzono dane z kopii: ") + r.folder);
    if (!r.keptData.isEmpty()) err(QStringLiteral("Dotychczasowe dane zachowano w: ") + r.keptData);
    // The catalogue built for the names goes; the check builds it again and the indexes too.
    sys.ShutdownTables();
    if (!sys.CheckTables()) {
        err(QStringLiteral("Dane odtworzono, ale sprawdzenie tabel nie powiodło się."));
        return kExitFailed;
    }
    LogDiag(QStringLiteral("Odtworzenie danych z kopii"), r.folder);
    return kExitOk;
}

int run(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    Arguments a;
    if (auto rc = parse(args, a)) return *rc;
    try {
        if (a.command == QLatin1String("backup")) return runBackup(a);
        if (a.command == QLatin1String("restore")) return runRestore(a);
        return a.command == QLatin1String("check") ? runCheck(a) : runCounter(a);
    } catch (const engine::EDatabaseError& e) {
        err(QStringLiteral("Błąd bazy danych: ") + QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        err(QStringLiteral("Błąd: ") + QString::fromUtf8(e.what()));
    }
    return kExitFailed;
}

}  // namespace
}  // namespace pulpex

int main(int argc, char** argv) {
    return pulpex::run(argc, argv);
}
