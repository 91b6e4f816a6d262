// Backup and restore of the data directory's table and memo files.
//
// A backup is a new folder "Pulpex-kopia-YYYY-MM-DD_HH-MM-SS" under the place the user names,
// holding the .DBF and .DBT files of every catalogue table and the list "PULPEX-KOPIA.SHA256"
// (the format of sha256sum, so that `sha256sum -c` checks it too). The list is written last: a
// folder without it is not a finished backup. Nothing outside the new folder is touched, and
// older backups stay.
//
// While the files are copied nobody writes: the data directory's lock (the one the start-up
// check takes) is held, and every table file is held exclusively, as an exclusive open holds it.
// A table open on another workstation stops the work before anything changed, naming the table.
//
// A restore checks the backup first (every table there, the checksums right, every table
// readable), copies it into a new folder beside the data directory and only then swaps the files
// in. The files it replaces move to "BASES-przed-odtworzeniem-..." beside the data directory, a
// backup of their own. The swap is journalled in the data directory ("RESTORE.JNL"): a restore
// that was killed in the middle is rolled back by RecoverInterruptedRestore (which the catalogue
// build runs before any table is opened), so the data are the old ones or the backup's, never a
// mix. Index files are never copied; the start-up check builds them again.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <vector>

namespace pulpex {

class TAM_System;

// One table of the catalogue: its file name without extension ("ZDARZ") and the name shown to
// the user ("Zdarzenia").
struct TBackupTable {
    QString name;
    QString displayName;
};

// The catalogue's tables (the catalogue is built first when it is empty).
std::vector<TBackupTable> CatalogueTables(TAM_System& sys);

// Told how far the work is (bytes of `total`) and what it does now; false asks it to stop.
// Called from the thread that does the work.
using TBackupProgress = std::function<bool(qint64 done, qint64 total, const QString& what)>;

struct TBackupResult {
    bool ok = false;
    bool cancelled = false;  // stopped on request; nothing was changed
    QString folder;          // the backup made, or the backup restored from
    QString keptData;        // restore: where the data as they were are kept now
    QDateTime madeAt;        // restore: when the backup was made (invalid when unknown)
    QString message;         // why it failed, in Polish (may hold several lines)
};

struct TRestoreOptions {
    // Called before each rename of the swap with its number (0, 1, ...): tests stop the
    // process there to prove that an interrupted swap is rolled back.
    std::function<void(int step)> swapStep;
};

inline const QString kBackupManifest = QStringLiteral("PULPEX-KOPIA.SHA256");
inline const QString kBackupFolderPrefix = QStringLiteral("Pulpex-kopia-");

// Makes a new backup folder under `place` (created when missing). `dataDir` ends in "/".
TBackupResult MakeBackup(const QString& dataDir, const std::vector<TBackupTable>& tables,
                         const QString& place, const TBackupProgress& progress = {});

// The backup folder a restore from `place` uses: `place` itself when it holds a backup list,
// else the newest finished backup folder in it, else `place` when it holds table files without
// a list (a plain copy, as older programs made them); empty when there is nothing to restore.
QString FindBackup(const QString& place);
// When the backup in `folder` was made, read from its list (invalid when unknown).
QDateTime BackupTime(const QString& folder);

// Replaces the tables of `dataDir` with those of the backup found in `place`.
TBackupResult RestoreBackup(const QString& dataDir, const std::vector<TBackupTable>& tables,
                            const QString& place, const TBackupProgress& progress = {},
                            const TRestoreOptions& options = {});

// Rolls back a restore that was interrupted during its swap and removes what an interrupted
// restore left beside the data directory. Waits for the data directory's lock. Returns true when
// it changed anything. Throws engine::EDatabaseError when the files cannot be put back: the
// tables must not be opened then.
bool RecoverInterruptedRestore(const QString& dataDir);

}  // namespace pulpex
