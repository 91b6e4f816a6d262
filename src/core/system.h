// The system object: installation paths, the current user and the catalogue of table objects.
// One exists while the program runs (created with the main window, or by a tool); System()
// reaches it from everywhere. It owns the catalogue's table objects from BuildCatalogue to
// ShutdownTables and the record of the current user.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace pulpex {

class TOT_Table;
class TRec_Users;

struct TCatalogueEntry {
    std::unique_ptr<TOT_Table> table;
    QString displayName;
};

class TAM_System {
  public:
    static constexpr int kCatalogueCapacity = 30;

    // Paths come from the App Paths stand-in (app-paths.ini); `mainDir` given overrides it (the
    // administrator's tool and tests name the installation directory themselves).
    explicit TAM_System(const QString& mainDir = {});
    virtual ~TAM_System();
    TAM_System(const TAM_System&) = delete;
    TAM_System& operator=(const TAM_System&) = delete;

    QString MainDir;     // ends in "/"
    QString DataDir;     // MainDir + "BASES/"
    QString ArchiveDir;  // MainDir + "BASES/arc/"
    QString IniFile;     // MainDir + "PULPEX.INI"

    TRec_Users& CurrentUser() { return *currentUser_; }
    int TableCount() const { return static_cast<int>(catalogue_.size()); }
    std::vector<TCatalogueEntry>& Catalogue() { return catalogue_; }
    // Adds a table object to the catalogue (BuildCatalogue); false when it is full.
    bool AddToCatalogue(std::unique_ptr<TOT_Table> table, const QString& displayName);

    virtual void BuildCatalogue() {}
    // Picks and verifies the user; the windows layer sets the handler.
    virtual bool Login();
    std::function<bool(TAM_System&)> loginHandler;
    // Told true before and false after the table check of StartSystem (which can take long on
    // years of data), so that the windows layer can show that the program is busy.
    std::function<void(bool)> busyHandler;
    // Told true when another workstation is checking the data directory and this one waits for
    // it (within the busy time), false when the wait is over.
    std::function<void(bool)> lockWaitHandler;

    int CurrentUserID() const;
    bool CurrentUserIsAdmin() const;
    QString CurrentUserName() const;
    // Name of a user (empty for 0 or when the users table is not there).
    QString UserName(int id) const;
    // DataDir + "TMP/" + current user identifier + "/", created when missing.
    QString UserTempDir();

    bool StartSystem();
    bool CheckTables();
    void ShutdownTables();

    // Where the start-up file-handle probe makes its files (the current directory).
    QString probeDir = QStringLiteral(".");

  private:
    std::unique_ptr<TRec_Users> currentUser_;
    std::vector<TCatalogueEntry> catalogue_;
};

// The system object in use, or nullptr.
TAM_System* System();
// The data directory of the system object in use; empty when there is none.
QString CurrentDataDir();
// True when a user is logged in and is an administrator.
bool LoggedInIsAdmin();

// The installation path read from the App Paths stand-in, or empty when no file names one.
// Looked up in $PULPEX_APP_PATHS, then $XDG_CONFIG_HOME/pulpex/app-paths.ini, then
// /etc/pulpex/app-paths.ini (section [Pulpex.exe], key Path).
QString AppPathsInstallPath();

}  // namespace pulpex
