#include "core/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include "core/prompts.h"
#include "core/utils.h"
#include "tables/am_diags.h"
#include "tables/catalogue.h"
#include "tables/engine/fileio.h"
#include "tables/globals.h"
#include "tables/tbase.h"
#include "tables/users.h"

namespace pulpex {

namespace {
TAM_System* gSystem = nullptr;

constexpr int kProbeFiles = 70;
constexpr int kProbeRequired = 65;

// Opens "tmp_1.HAH" … "tmp_70.HAH" in `dir` and removes what it made. `first` is the number of
// the first file that could not be opened (kProbeFiles + 1 when all could), `error` its errno.
struct ProbeResult {
    int first = kProbeFiles + 1;
    int error = 0;
};
ProbeResult probeFiles(const QString& dir) {
    ProbeResult r;
    std::vector<int> fds;
    std::vector<QByteArray> names;
    for (int n = 1; n <= kProbeFiles; ++n) {
        QByteArray name = QFile::encodeName(AddSlash(dir) + QStringLiteral("tmp_") +
                                            QString::number(n) + QStringLiteral(".HAH"));
        // A file of that name that was there already (another start-up probing the same
        // directory) still takes a descriptor, but is not ours to delete.
        bool made = true;
        int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST) {
            made = false;
            fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        }
        if (fd < 0) {
            r = {n, errno};
            break;
        }
        fds.push_back(fd);
        if (made) names.push_back(std::move(name));
    }
    for (int fd : fds)
        ::close(fd);
    for (const auto& name : names)
        ::unlink(name.constData());
    return r;
}

bool isFileLimit(int error) {
    return error == EMFILE || error == ENFILE;
}

// Keeps the message boxes of the catalogue check (and its beeps) until the directory's lock is
// released: a box waiting for a click must not hold every other workstation's start. What needs
// an answer cannot wait and goes to the prompts in use at once.
class DeferredPrompts final : public Prompts {
  public:
    DeferredPrompts() : previous_(setPrompts(this)) {}
    ~DeferredPrompts() override { release(); }
    DeferredPrompts(const DeferredPrompts&) = delete;
    DeferredPrompts& operator=(const DeferredPrompts&) = delete;

    Answer message(Severity severity, const QString& text, Buttons buttons,
                   const QString& caption) override {
        if (buttons != Buttons::Ok) return target().message(severity, text, buttons, caption);
        held_.push_back({severity, text, caption, false});
        return Answer::Ok;
    }
    bool inputBox(const QString& caption, const QString& prompt, QString& value) override {
        return target().inputBox(caption, prompt, value);
    }
    QString openFileName(const QString& caption, const QString& filter,
                         const QString& dir) override {
        return target().openFileName(caption, filter, dir);
    }
    QString saveFileName(const QString& caption, const QString& filter, const QString& dir,
                         const QString& defaultSuffix) override {
        return target().saveFileName(caption, filter, dir, defaultSuffix);
    }
    bool chooseFont(QFont& font) override { return target().chooseFont(font); }
    bool printerSetup() override { return target().printerSetup(); }
    void beep() override { held_.push_back({Severity::Information, {}, {}, true}); }
    void quitApplication() override { target().quitApplication(); }

    // Puts the previous prompts back and shows what was held, in order.
    void release() {
        if (released_) return;
        released_ = true;
        setPrompts(previous_);
        auto held = std::move(held_);
        for (const auto& h : held) {
            if (h.beep)
                prompts().beep();
            else
                prompts().message(h.severity, h.text, Buttons::Ok, h.caption);
        }
    }

  private:
    struct Held {
        Severity severity;
        QString text, caption;
        bool beep;
    };
    Prompts& target() {
        static ConsolePrompts console;  // what prompts() gives when nothing is installed
        return previous_ ? *previous_ : console;
    }

    Prompts* previous_;
    std::vector<Held> held_;
    bool released_ = false;
};
}  // namespace

TAM_System* System() {
    return gSystem;
}

QString CurrentDataDir() {
    return gSystem ? gSystem->DataDir : QString();
}

bool LoggedInIsAdmin() {
    return gSystem && gSystem->CurrentUserID() != 0 && gSystem->CurrentUserIsAdmin();
}

QString AppPathsInstallPath() {
    QStringList candidates;
    const QString env = qEnvironmentVariable("PULPEX_APP_PATHS");
    if (!env.isEmpty()) {
        candidates << env;
    } else {
        QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
        candidates << config + QStringLiteral("/pulpex/app-paths.ini")
                   << QStringLiteral("/etc/pulpex/app-paths.ini");
    }
    for (const QString& file : candidates) {
        if (!QFileInfo(file).isFile()) continue;
        const QString path =
            IniReadString(QStringLiteral("Pulpex.exe"), QStringLiteral("Path"), {}, file);
        if (!path.trimmed().isEmpty()) return path.trimmed();
    }
    return {};
}

TAM_System::TAM_System(const QString& mainDir) : currentUser_(std::make_unique<TRec_Users>()) {
    QString path = mainDir;
    if (path.isEmpty()) {
        path = AppPathsInstallPath();
        if (path.isEmpty()) {
            prompts().message(Severity::Error, QStringLiteral("błąd podczas otwierania rejestru"));
            path = QDir::homePath() + QStringLiteral("/pulpex");
        }
        path = RemoveSlash(path);
        WinIniWrite(QStringLiteral("PULPEX"), QStringLiteral("BASE_MAIN"), path);
    } else {
        path = RemoveSlash(path);
    }
    MainDir = path + QLatin1Char('/');
    IniFile = MainDir + QStringLiteral("PULPEX.INI");
    DataDir = path + QStringLiteral("/BASES/");
    ArchiveDir = path + QStringLiteral("/BASES/arc/");
    gSystem = this;
}

TAM_System::~TAM_System() {
    // The catalogue goes first: its tables may still log to the diagnostics table.
    ClearCatalogueReferences();
    while (!catalogue_.empty())
        catalogue_.pop_back();
    if (gSystem == this) gSystem = nullptr;
}

bool TAM_System::AddToCatalogue(std::unique_ptr<TOT_Table> table, const QString& displayName) {
    if (catalogue_.size() >= kCatalogueCapacity) return false;
    catalogue_.push_back({std::move(table), displayName});
    return true;
}

bool TAM_System::Login() {
    return loginHandler ? loginHandler(*this) : false;
}

int TAM_System::CurrentUserID() const {
    return currentUser_->ID;
}
bool TAM_System::CurrentUserIsAdmin() const {
    return currentUser_->USER_ISA;
}

QString TAM_System::CurrentUserName() const {
    return UserName(currentUser_->ID);
}

QString TAM_System::UserName(int id) const {
    QString name;
    if (id == 0 || !TblUsers) return name;
    TblUsers->GetUserName_Silent(id, name);
    return name;
}

QString TAM_System::UserTempDir() {
    const QString dir =
        DataDir + QStringLiteral("TMP/") + QString::number(CurrentUserID()) + QLatin1Char('/');
    ForceDirs(dir);
    return dir;
}

bool TAM_System::StartSystem() {
    for (auto& e : catalogue_)
        if (e.table) e.table->Close();
    if (busyHandler) busyHandler(true);
    bool checked = false;
    try {
        checked = CheckTables();
    } catch (...) {
        if (busyHandler) busyHandler(false);
        throw;
    }
    if (busyHandler) busyHandler(false);
    if (!checked) return false;
    if (!Login()) return false;
    LogDiag(QStringLiteral("Logowanie do systemu."), CurrentUserName());
    return true;
}

bool TAM_System::CheckTables() {
    if (!ForceDirs(DataDir) || !ForceDirs(ArchiveDir) || !ForceDirs(MainDir)) return false;

    int release = 3;
    try {
        release = IniReadInt(QStringLiteral("CONFIG"), QStringLiteral("RELEASE"), 3, IniFile);
    } catch (const EConvertError& e) {
        prompts().message(Severity::Error, QString::fromUtf8(e.what()));
        return false;
    }
    if (release <= 3) {
        IniWriteString(QStringLiteral("CONFIG"), QStringLiteral("RELEASE"), QStringLiteral("3"),
                       IniFile);
    } else {
        prompts().message(Severity::Error,
                          QStringLiteral("Błędna wersja systemu !\r\n\rPróba zainstalowania "
                                         "wersji starszej niż ostatnio uruchamiana !!!"));
        return false;
    }

    // How many files the process may open: the tables need about seventy at once. Where no file
    // can be made at all (no right to write there), that says nothing about the limit: the probe
    // goes to the temporary directory instead.
    QString probedIn = probeDir;
    ProbeResult probe = probeFiles(probeDir);
    if (probe.first == 1 && !isFileLimit(probe.error) && !QDir::tempPath().isEmpty()) {
        const ProbeResult inTemp = probeFiles(QDir::tempPath());
        if (inTemp.first > 1 || isFileLimit(inTemp.error)) {
            probedIn = QDir::tempPath();
            probe = inTemp;
        }
    }
    if (probe.first < kProbeRequired && isFileLimit(probe.error)) {
        prompts().message(
            Severity::Warning,
            QStringLiteral("Zbyt mało plików !\r\n\rDostępnych : ") + QString::number(probe.first) +
                QStringLiteral("\r\n") + QStringLiteral("Wymaganych : ") + QStringLiteral("70") +
                QStringLiteral("\r\n") +
                QStringLiteral("Program nie może otworzyć tylu plików ile jest mu potrzebne !!!") +
                QStringLiteral("\r\n\r\n") +
                QStringLiteral("Skontaktuj się z administratorem systemu"));
    } else if (probe.first < kProbeRequired) {
        prompts().message(
            Severity::Warning,
            QStringLiteral("Nie można sprawdzić, ile plików program może otworzyć: nie można "
                           "utworzyć pliku w katalogu ") +
                QDir::toNativeSeparators(probedIn) + QStringLiteral(" (") +
                QString::fromStdString(engine::systemErrorText(probe.error)) +
                QStringLiteral(").\r\n\r\nSkontaktuj się z administratorem systemu"));
    }

    if (TableCount() == 0) BuildCatalogue();
    bool checked = false;
    {
        DeferredPrompts held;
        try {
            // Workstations starting at once on a new data directory would both create the
            // tables; the check runs under a lock of the directory, so the second one finds them
            // made.
            const QByteArray lockName = QFile::encodeName(DataDir + QStringLiteral("PULPEX.LCK"));
            const int lockFd = ::open(lockName.constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
            struct Unlock {
                int fd;
                ~Unlock() {
                    if (fd >= 0) ::close(fd);
                }
            } unlock{lockFd};
            if (lockFd >= 0 && ::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
                if (lockWaitHandler) lockWaitHandler(true);
                while (::flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
                }
                if (lockWaitHandler) lockWaitHandler(false);
            }
            checked = CheckCatalogue(catalogue_);
        } catch (const EDatabaseError& e) {
            prompts().message(Severity::Error, QString::fromStdString(e.what()));
            checked = false;
        }
    }  // the lock is released, then what the check had to say is shown
    return checked;
}

void TAM_System::ShutdownTables() {
    LogDiag(QStringLiteral("Zamknięcie systemu"), CurrentUserName());
    ClearCatalogueReferences();
    // Freed in catalogue order; a failure stops the freeing where it happened.
    while (!catalogue_.empty()) {
        try {
            catalogue_.front().table.reset();
        } catch (...) {
            NotImplemented(true, QStringLiteral("Shut down handling"));
            break;
        }
        catalogue_.erase(catalogue_.begin());
    }
    catalogue_.clear();
}

}  // namespace pulpex
