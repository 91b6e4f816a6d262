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
#include "tables/globals.h"
#include "tables/tbase.h"
#include "tables/users.h"

namespace pulpex {

namespace {
TAM_System* gSystem = nullptr;

constexpr int kProbeFiles = 70;
constexpr int kProbeRequired = 65;
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

    // How many files the process may open: the tables need about seventy at once.
    std::vector<int> fds;
    std::vector<QByteArray> names;
    int first = kProbeFiles + 1;
    for (int n = 1; n <= kProbeFiles; ++n) {
        QByteArray name = QFile::encodeName(AddSlash(probeDir) + QStringLiteral("tmp_") +
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
            first = n;
            break;
        }
        fds.push_back(fd);
        if (made) names.push_back(std::move(name));
    }
    for (int fd : fds)
        ::close(fd);
    for (const auto& name : names)
        ::unlink(name.constData());
    if (first < kProbeRequired) {
        prompts().message(
            Severity::Warning,
            QStringLiteral("Zbyt mało plików !\r\n\rDostępnych : ") + QString::number(first) +
                QStringLiteral("\r\n") + QStringLiteral("Wymaganych : ") + QStringLiteral("70") +
                QStringLiteral("\r\n") +
                QStringLiteral("Program nie może otworzyć tylu plików ile jest mu potrzebne !!!") +
                QStringLiteral("\r\n\r\n") +
                QStringLiteral("Skontaktuj się z administratorem systemu"));
    }

    if (TableCount() == 0) BuildCatalogue();
    try {
        // Workstations starting at once on a new data directory would both create the tables;
        // the check runs under a lock of the directory, so the second one finds them made.
        const QByteArray lockName = QFile::encodeName(DataDir + QStringLiteral("PULPEX.LCK"));
        const int lockFd = ::open(lockName.constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (lockFd >= 0) ::flock(lockFd, LOCK_EX);
        struct Unlock {
            int fd;
            ~Unlock() {
                if (fd >= 0) ::close(fd);
            }
        } unlock{lockFd};
        return CheckCatalogue(catalogue_);
    } catch (const EDatabaseError& e) {
        prompts().message(Severity::Error, QString::fromStdString(e.what()));
        return false;
    }
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
