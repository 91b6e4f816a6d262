#include "core/backup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QThread>
#include <chrono>
#include <memory>

#include "core/system.h"
#include "core/utils.h"
#include "tables/engine/error.h"
#include "tables/engine/fileio.h"
#include "tables/engine/table.h"
#include "tables/tbase.h"

namespace pulpex {

namespace {

using engine::EDatabaseError;

const QString kJournal = QStringLiteral("RESTORE.JNL");
const QString kJournalMagic = QStringLiteral("PULPEX-ODTWARZANIE 1");
const QString kStagingPrefix = QStringLiteral("BASES-odtwarzanie-");
const QString kKeptPrefix = QStringLiteral("BASES-przed-odtworzeniem-");
const QString kUnchanged = QStringLiteral("Dane nie zostały zmienione.");
// The diagnostics log: a backup without it (as older programs made them) still restores, and
// the log of the data directory then stays.
const QString kOptionalTable = QStringLiteral("DIAGS");

constexpr qint64 kChunk = 1 << 20;
constexpr qint64 kSpareBytes = 16 << 20;
constexpr int kLockWaitSeconds = 60;

std::string u8(const QString& s) {
    return s.toStdString();
}
QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString clean(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString mb(qint64 bytes) {
    return QString::number((bytes + (1 << 20) - 1) >> 20) + QStringLiteral(" MB");
}

// The existing file `name` of `dir` in any letter case, or empty.
QString existing(const QString& dir, const QString& name) {
    const QString p = qs(engine::Table::resolve(u8(RemoveSlash(clean(dir))), u8(name)));
    return QFileInfo(p).isFile() ? p : QString();
}

void syncDir(const QString& dir) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool renameFile(const QString& from, const QString& to, QString& error) {
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    error = QStringLiteral("Nie można przenieść pliku %1 do %2: %3")
                .arg(from, to, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

// Writes `text` to `path` through a temporary file, so that the file is either whole or absent.
bool writeWhole(const QString& path, const QByteArray& text, QString& error) {
    const QString tmp = path + QStringLiteral(".tmp");
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size() ||
        !f.flush() || ::fsync(f.handle()) != 0) {
        error = QStringLiteral("Nie można zapisać pliku %1: %2").arg(tmp, f.errorString());
        f.close();
        QFile::remove(tmp);
        return false;
    }
    f.close();
    if (!renameFile(tmp, path, error)) {
        QFile::remove(tmp);
        return false;
    }
    syncDir(QFileInfo(path).absolutePath());
    return true;
}

// The data directory's lock, the one the start-up check takes: while it is held no workstation
// checks (and so creates or rebuilds) tables.
class DirLock {
  public:
    DirLock() = default;
    DirLock(const DirLock&) = delete;
    DirLock& operator=(const DirLock&) = delete;
    ~DirLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    // Waits up to `seconds` (forever when negative).
    bool acquire(const QString& dataDir, int seconds, QString& error) {
        const QByteArray name = QFile::encodeName(AddSlash(dataDir) + QStringLiteral("PULPEX.LCK"));
        fd_ = ::open(name.constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            error = QStringLiteral("Nie można otworzyć pliku blokady katalogu danych %1: %2")
                        .arg(QFile::decodeName(name), QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        if (seconds < 0) {
            while (::flock(fd_, LOCK_EX) != 0)
                if (errno != EINTR) break;
            return true;
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() > until) {
                error = QStringLiteral(
                    "Katalog danych jest zajęty: inne stanowisko właśnie sprawdza tabele albo "
                    "wykonuje kopię. Spróbuj ponownie za chwilę.");
                return false;
            }
            QThread::msleep(100);
        }
        return true;
    }

  private:
    int fd_ = -1;
};

// Every table file held as an exclusive open holds it: no other open of the table is possible.
class TableHolds {
  public:
    bool hold(const QString& path, const TBackupTable& t, QString& error) {
        try {
            engine::File f = engine::File::open(u8(path), engine::File::Mode::ReadWrite);
            if (!f.tryLock(engine::kOpenLockOffset, engine::File::LockKind::Exclusive)) {
                error = QStringLiteral(
                            "Tabela %1 (%2) jest otwarta na innym stanowisku lub w "
                            "innym programie. Zamknij program Pulpex na pozostałych "
                            "stanowiskach i powtórz operację.")
                            .arg(t.name, t.displayName);
                return false;
            }
            files_.push_back(std::move(f));
            return true;
        } catch (const EDatabaseError& e) {
            error = QString::fromUtf8(e.what());
            return false;
        }
    }
    void release() { files_.clear(); }

  private:
    std::vector<engine::File> files_;
};

bool holdAll(const QString& dataDir, const std::vector<TBackupTable>& tables, TableHolds& holds,
             QString& error, bool missingIsError) {
    for (const TBackupTable& t : tables) {
        const QString path = existing(dataDir, t.name + QStringLiteral(".DBF"));
        if (path.isEmpty()) {
            if (!missingIsError) continue;
            error = QStringLiteral(
                        "W katalogu danych brakuje tabeli %1 (%2). Uruchom program "
                        "(albo pulpex-admin check), aby ją utworzyć.")
                        .arg(t.name, t.displayName);
            return false;
        }
        if (!holds.hold(path, t, error)) return false;
    }
    return true;
}

struct Progress {
    const TBackupProgress& report;
    qint64 done = 0;
    qint64 total = 0;
    bool cancelled = false;
    bool step(qint64 n, const QString& what) {
        done += n;
        if (report && !report(done, total, what)) cancelled = true;
        return !cancelled;
    }
};

// Copies `from` to `to` (which must not exist) with its SHA-256 in hex; the copy is on disk
// when it returns true.
bool copyHashed(const QString& from, const QString& to, QByteArray& sha, Progress& progress,
                QString& error) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Nie można odczytać pliku %1: %2").arg(from, in.errorString());
        return false;
    }
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        error = QStringLiteral("Nie można utworzyć pliku %1: %2").arg(to, out.errorString());
        return false;
    }
    const QString what = QStringLiteral("Kopiowanie ") + QFileInfo(from).fileName();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buf;
    while (true) {
        buf = in.read(kChunk);
        if (buf.isEmpty()) {
            if (in.error() != QFileDevice::NoError) {
                error =
                    QStringLiteral("Nie można odczytać pliku %1: %2").arg(from, in.errorString());
                return false;
            }
            break;
        }
        hash.addData(buf);
        if (out.write(buf) != buf.size()) {
            error = QStringLiteral("Nie można zapisać pliku %1: %2").arg(to, out.errorString());
            return false;
        }
        if (!progress.step(buf.size(), what)) return false;
    }
    if (!out.flush() || ::fsync(out.handle()) != 0) {
        error = QStringLiteral("Nie można zapisać pliku %1: %2").arg(to, out.errorString());
        return false;
    }
    sha = hash.result().toHex();
    return true;
}

bool hashFile(const QString& path, QByteArray& sha, Progress& progress, QString& error) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Nie można odczytać pliku %1: %2").arg(path, in.errorString());
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QString what = QStringLiteral("Sprawdzanie ") + QFileInfo(path).fileName();
    QByteArray buf;
    while (!(buf = in.read(kChunk)).isEmpty()) {
        hash.addData(buf);
        progress.step(buf.size(), what);  // the old data are kept whole even when stopped
    }
    if (in.error() != QFileDevice::NoError) {
        error = QStringLiteral("Nie można odczytać pliku %1: %2").arg(path, in.errorString());
        return false;
    }
    sha = hash.result().toHex();
    return true;
}

struct ManifestEntry {
    QString name;
    QByteArray sha;
};

QByteArray manifestText(const QDateTime& at, const QString& source,
                        const std::vector<ManifestEntry>& entries) {
    QByteArray text = "# Pulpex: kopia bezpieczeństwa danych\n# utworzona: " +
                      at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8() +
                      "\n# katalog danych: " + source.toUtf8() + "\n";
    for (const ManifestEntry& e : entries)
        text += e.sha + "  " + QFile::encodeName(e.name) + "\n";
    return text;
}

struct Manifest {
    QDateTime at;
    std::vector<ManifestEntry> entries;
};

// A plain file name: nothing that could lead out of the backup folder.
bool plainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

bool readManifest(const QString& folder, Manifest& m, QString& error) {
    QFile f(AddSlash(folder) + kBackupManifest);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Nie można odczytać listy plików kopii %1: %2")
                    .arg(f.fileName(), f.errorString());
        return false;
    }
    int lineNo = 0;
    while (!f.atEnd()) {
        ++lineNo;
        QByteArray line = f.readLine();
        if (line.endsWith('\n')) line.chop(1);
        if (line.isEmpty()) continue;
        if (line.startsWith('#')) {
            const QByteArray key = "# utworzona: ";
            if (line.startsWith(key))
                m.at = QDateTime::fromString(QString::fromUtf8(line.mid(key.size())),
                                             QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            continue;
        }
        const QByteArray sha = line.left(64);
        bool hex = sha.size() == 64;
        for (char c : sha)
            hex = hex && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
        const QString name = QFile::decodeName(line.mid(66));
        if (!hex || line.size() < 67 || (line.mid(64, 2) != "  " && line.mid(64, 2) != " *") ||
            !plainName(name)) {
            error = QStringLiteral("Lista plików kopii %1 jest uszkodzona (wiersz %2).")
                        .arg(f.fileName())
                        .arg(lineNo);
            return false;
        }
        m.entries.push_back({name, sha});
    }
    return true;
}

// Removes what this program put into a folder of its own (table, memo and index files, its
// lists) and then the folder when nothing else is left in it.
void removeOwnFolder(const QString& folder) {
    const QDir d(folder);
    if (!d.exists()) return;
    const QStringList own = {QStringLiteral("*.dbf"), QStringLiteral("*.dbt"),
                             QStringLiteral("*.mdx"), QStringLiteral("*.tmp"), kBackupManifest};
    for (const QFileInfo& fi : d.entryInfoList(QDir::Files | QDir::Hidden)) {
        const QString n = fi.fileName();
        for (const QString& mask : own)
            if (QDir::match(mask, n) || n.compare(mask, Qt::CaseInsensitive) == 0) {
                QFile::remove(fi.absoluteFilePath());
                break;
            }
    }
    QDir().rmdir(folder);
}

// A new folder `prefix` + date and time in `parent` (with "-2", "-3" … when taken).
QString makeStampedFolder(const QString& parent, const QString& prefix, const QDateTime& at,
                          QString& error) {
    const QString base =
        AddSlash(parent) + prefix + at.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    for (int n = 1; n < 100; ++n) {
        const QString dir = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        if (::mkdir(QFile::encodeName(dir).constData(), 0777) == 0) return dir;
        if (errno != EEXIST) {
            error = QStringLiteral("Nie można utworzyć folderu %1: %2")
                        .arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
            return {};
        }
    }
    error = QStringLiteral("Nie można utworzyć folderu %1.").arg(base);
    return {};
}

bool enoughSpace(const QString& dir, qint64 needed, QString& error) {
    QStorageInfo s(dir);
    s.refresh();
    if (!s.isValid() || s.bytesAvailable() < 0 || s.bytesAvailable() >= needed + kSpareBytes)
        return true;
    error = QStringLiteral("Za mało miejsca na dysku w %1: potrzeba %2, wolne %3.")
                .arg(dir, mb(needed + kSpareBytes), mb(s.bytesAvailable()));
    return false;
}

QString parentOf(const QString& dataDir) {
    return QFileInfo(RemoveSlash(clean(dataDir))).absolutePath();
}

// --- The journal of a swap

struct Journal {
    QString staging;
    QString kept;
    QStringList oldNames;  // moved from the data directory to `kept`
    QStringList newNames;  // moved from `staging` into the data directory
};

QByteArray journalText(const Journal& j) {
    QByteArray t = kJournalMagic.toUtf8() + "\nstaging=" + QFile::encodeName(j.staging) +
                   "\nkept=" + QFile::encodeName(j.kept) + "\n";
    for (const QString& n : j.oldNames)
        t += "old=" + QFile::encodeName(n) + "\n";
    for (const QString& n : j.newNames)
        t += "new=" + QFile::encodeName(n) + "\n";
    return t;
}

bool readJournal(const QString& path, Journal& j) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QList<QByteArray> lines = f.readAll().split('\n');
    if (lines.isEmpty() || QString::fromUtf8(lines.front()) != kJournalMagic) return false;
    for (const QByteArray& line : lines) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) continue;
        const QByteArray key = line.left(eq);
        const QString value = QFile::decodeName(line.mid(eq + 1));
        if (key == "staging")
            j.staging = value;
        else if (key == "kept")
            j.kept = value;
        else if (key == "old" && plainName(value))
            j.oldNames << value;
        else if (key == "new" && plainName(value))
            j.newNames << value;
    }
    return !j.staging.isEmpty() && !j.kept.isEmpty();
}

bool exists(const QString& dir, const QString& name) {
    return QFileInfo::exists(AddSlash(dir) + name);
}

// Puts the data directory back as it was before the swap the journal describes. The caller
// holds the directory lock.
bool rollBack(const QString& dataDir, const Journal& j, QString& error) {
    const QString data = RemoveSlash(clean(dataDir));
    // Every new file is either still in the staging folder or already in the data directory.
    for (const QString& n : j.newNames)
        if (!exists(j.staging, n) && exists(data, n) &&
            !renameFile(data + QLatin1Char('/') + n, AddSlash(j.staging) + n, error))
            return false;
    for (const QString& n : j.oldNames)
        if (exists(j.kept, n)) {
            if (exists(data, n)) {
                error = QStringLiteral(
                            "Nie można przywrócić pliku %1: w katalogu danych jest "
                            "plik o tej nazwie.")
                            .arg(n);
                return false;
            }
            if (!renameFile(AddSlash(j.kept) + n, data + QLatin1Char('/') + n, error)) return false;
        }
    syncDir(data);
    syncDir(j.staging);
    syncDir(j.kept);
    return true;
}

// Rolls back an interrupted swap and removes leftovers of interrupted restores. The caller
// holds the directory lock.
bool recoverLocked(const QString& dataDir) {
    bool changed = false;
    const QString journal = AddSlash(dataDir) + kJournal;
    if (QFileInfo::exists(journal)) {
        Journal j;
        if (!readJournal(journal, j))
            throw EDatabaseError(u8(
                QStringLiteral(
                    "Przerwane odtwarzanie danych z kopii: dziennik %1 jest nieczytelny. Tabel nie "
                    "otwarto, aby nie użyć danych pomieszanych z dwóch kopii; skontaktuj się z "
                    "administratorem.")
                    .arg(journal)));
        QString error;
        if (!rollBack(dataDir, j, error))
            throw EDatabaseError(
                u8(QStringLiteral("Nie udało się cofnąć przerwanego odtwarzania danych z kopii: "
                                  "%1 Tabel nie otwarto; skontaktuj się z administratorem.")
                       .arg(error)));
        QFile::remove(journal);
        syncDir(RemoveSlash(clean(dataDir)));
        removeOwnFolder(j.staging);
        QDir().rmdir(j.kept);  // only when empty
        changed = true;
    }
    // Folders of restores that ended before their swap began.
    const QDir parent(parentOf(dataDir));
    for (const QString& n : parent.entryList({kStagingPrefix + QLatin1Char('*')}, QDir::Dirs)) {
        removeOwnFolder(parent.absoluteFilePath(n));
        changed = true;
    }
    for (const QString& n : parent.entryList({kKeptPrefix + QLatin1Char('*')}, QDir::Dirs))
        if (QDir(parent.absoluteFilePath(n)).isEmpty()) QDir().rmdir(parent.absoluteFilePath(n));
    return changed;
}

TBackupResult failed(TBackupResult r, const QString& message) {
    r.ok = false;
    r.message = message;
    return r;
}

}  // namespace

std::vector<TBackupTable> CatalogueTables(TAM_System& sys) {
    if (sys.TableCount() == 0) sys.BuildCatalogue();
    std::vector<TBackupTable> out;
    for (const TCatalogueEntry& e : sys.Catalogue())
        if (e.table) out.push_back({e.table->TableName.toUpper(), e.displayName});
    return out;
}

TBackupResult MakeBackup(const QString& dataDir, const std::vector<TBackupTable>& tables,
                         const QString& place, const TBackupProgress& progress) {
    TBackupResult r;
    if (place.trimmed().isEmpty())
        return failed(r, QStringLiteral("Nie podano miejsca składowania kopii."));
    const QString target = clean(place.trimmed());
    const QString data = RemoveSlash(clean(dataDir));
    if (target == data || target.startsWith(data + QLatin1Char('/')))
        return failed(r, QStringLiteral("Kopii nie można składować w katalogu danych programu "
                                        "(%1). Podaj inne miejsce.")
                             .arg(data));

    DirLock lock;
    QString error;
    if (!lock.acquire(data, kLockWaitSeconds, error)) return failed(r, error);
    TableHolds holds;
    if (!holdAll(data, tables, holds, error, true))
        return failed(r, error + QLatin1Char('\n') + kUnchanged);

    struct Source {
        QString path;
        QString name;
    };
    std::vector<Source> sources;
    Progress p{progress};
    for (const TBackupTable& t : tables)
        for (const QString& ext : {QStringLiteral(".DBF"), QStringLiteral(".DBT")}) {
            const QString path = existing(data, t.name + ext);
            if (path.isEmpty()) continue;
            sources.push_back({path, t.name + ext});
            p.total += QFileInfo(path).size();
        }

    if (!ForceDirs(target))
        return failed(r, QStringLiteral("Nie można utworzyć folderu %1.").arg(target));
    if (!enoughSpace(target, p.total, error)) return failed(r, error);
    const QDateTime at = QDateTime::currentDateTime();
    const QString folder = makeStampedFolder(target, kBackupFolderPrefix, at, error);
    if (folder.isEmpty()) return failed(r, error);

    std::vector<ManifestEntry> entries;
    for (const Source& s : sources) {
        QByteArray sha;
        if (!copyHashed(s.path, AddSlash(folder) + s.name, sha, p, error)) {
            removeOwnFolder(folder);
            r.cancelled = p.cancelled;
            return failed(r, p.cancelled ? QStringLiteral("Tworzenie kopii przerwano.") : error);
        }
        entries.push_back({s.name, sha});
    }
    syncDir(folder);
    if (!writeWhole(AddSlash(folder) + kBackupManifest, manifestText(at, AddSlash(data), entries),
                    error)) {
        removeOwnFolder(folder);
        return failed(r, error);
    }
    r.ok = true;
    r.folder = folder;
    r.madeAt = at;
    return r;
}

QString FindBackup(const QString& place) {
    if (place.trimmed().isEmpty()) return {};
    const QString dir = clean(place.trimmed());
    if (!QFileInfo(dir).isDir()) return {};
    if (QFileInfo(AddSlash(dir) + kBackupManifest).isFile()) return dir;
    const QDir d(dir);
    QStringList found;
    for (const QString& n :
         d.entryList({kBackupFolderPrefix + QLatin1Char('*')}, QDir::Dirs, QDir::Name))
        if (QFileInfo(d.absoluteFilePath(n) + QLatin1Char('/') + kBackupManifest).isFile())
            found << n;
    if (!found.isEmpty()) return d.absoluteFilePath(found.back());
    if (!FilesByMask(AddSlash(dir) + QStringLiteral("*.dbf")).isEmpty()) return dir;
    return {};
}

QDateTime BackupTime(const QString& folder) {
    Manifest m;
    QString error;
    if (!readManifest(folder, m, error)) return {};
    return m.at;
}

TBackupResult RestoreBackup(const QString& dataDir, const std::vector<TBackupTable>& tables,
                            const QString& place, const TBackupProgress& progress,
                            const TRestoreOptions& options) {
    TBackupResult r;
    if (place.trimmed().isEmpty())
        return failed(r, QStringLiteral("Nie podano miejsca składowania kopii."));
    const QString data = RemoveSlash(clean(dataDir));
    const QString folder = FindBackup(place);
    if (folder.isEmpty()) {
        if (!QFileInfo(clean(place.trimmed())).isDir())
            return failed(
                r,
                QStringLiteral("Nie ma folderu %1.\n%2").arg(clean(place.trimmed()), kUnchanged));
        return failed(r, QStringLiteral("W folderze %1 nie ma kopii bezpieczeństwa programu "
                                        "Pulpex.\n%2")
                             .arg(clean(place.trimmed()), kUnchanged));
    }
    r.folder = folder;
    if (folder == data)
        return failed(r, QStringLiteral("Podany folder jest katalogiem danych programu."));

    // What the backup must hold, before anything is touched.
    QString error;
    Manifest m;
    const bool listed = QFileInfo(AddSlash(folder) + kBackupManifest).isFile();
    if (listed && !readManifest(folder, m, error)) return failed(r, error + u'\n' + kUnchanged);
    r.madeAt = m.at;
    struct Staged {
        QString from;
        QString name;  // in the data directory
        QByteArray sha;
    };
    std::vector<Staged> files;
    std::vector<TBackupTable> replaced;
    QStringList missing, unreadable;
    Progress p{progress};
    for (const TBackupTable& t : tables) {
        bool haveTable = false;
        for (const QString& ext : {QStringLiteral(".DBF"), QStringLiteral(".DBT")}) {
            const QString name = t.name + ext;
            QString path;
            QByteArray sha;
            if (listed) {
                for (const ManifestEntry& e : m.entries)
                    if (e.name.compare(name, Qt::CaseInsensitive) == 0) {
                        path = AddSlash(folder) + e.name;
                        sha = e.sha;
                    }
                if (path.isEmpty()) continue;
                if (!QFileInfo(path).isFile()) {
                    missing << name;
                    continue;
                }
            } else {
                path = existing(folder, name);
                if (path.isEmpty()) continue;
            }
            if (!QFileInfo(path).isReadable()) {
                unreadable << name;
                continue;
            }
            if (ext == QLatin1String(".DBF")) haveTable = true;
            files.push_back({path, name, sha});
            p.total += QFileInfo(path).size();
        }
        if (haveTable)
            replaced.push_back(t);
        else if (t.name != kOptionalTable && !missing.contains(t.name + QStringLiteral(".DBF")))
            missing << t.name + QStringLiteral(".DBF");
    }
    if (!missing.isEmpty() || !unreadable.isEmpty()) {
        QString text = QStringLiteral("Kopia w folderze %1 jest niepełna.").arg(folder);
        if (!missing.isEmpty()) text += QStringLiteral("\nBrakuje plików: ") + missing.join(", ");
        if (!unreadable.isEmpty())
            text += QStringLiteral("\nNie można odczytać plików: ") + unreadable.join(", ");
        return failed(r, text + u'\n' + kUnchanged);
    }

    DirLock lock;
    if (!lock.acquire(data, kLockWaitSeconds, error)) return failed(r, error);
    recoverLocked(data);
    TableHolds holds;
    if (!holdAll(data, tables, holds, error, false)) return failed(r, error + u'\n' + kUnchanged);

    // The files to move out of the data directory: every file of the tables replaced.
    QStringList oldNames;
    for (const TBackupTable& t : replaced)
        for (const QString& ext :
             {QStringLiteral(".DBF"), QStringLiteral(".DBT"), QStringLiteral(".MDX")}) {
            const QString path = existing(data, t.name + ext);
            if (path.isEmpty()) continue;
            oldNames << QFileInfo(path).fileName();
            if (!ext.endsWith(QLatin1String("MDX"))) p.total += QFileInfo(path).size();
        }

    const QString parent = parentOf(data);
    if (!enoughSpace(parent, p.total, error)) return failed(r, error + u'\n' + kUnchanged);
    const QDateTime at = QDateTime::currentDateTime();
    const QString staging = makeStampedFolder(parent, kStagingPrefix, at, error);
    if (staging.isEmpty()) return failed(r, error + u'\n' + kUnchanged);
    auto abandon = [&](const QString& why) {
        removeOwnFolder(staging);
        return failed(r, why + u'\n' + kUnchanged);
    };

    for (const Staged& f : files) {
        QByteArray sha;
        if (!copyHashed(f.from, AddSlash(staging) + f.name, sha, p, error)) {
            r.cancelled = p.cancelled;
            return abandon(p.cancelled ? QStringLiteral("Odtwarzanie danych przerwano.") : error);
        }
        if (listed && sha != f.sha)
            return abandon(QStringLiteral("Plik %1 w kopii %2 jest uszkodzony: jego suma "
                                          "kontrolna nie zgadza się z listą plików kopii.")
                               .arg(QFileInfo(f.from).fileName(), folder));
    }
    // Every table must open; a copy without a list must also pass the table check.
    for (const TBackupTable& t : replaced) {
        const QString path = AddSlash(staging) + t.name + QStringLiteral(".DBF");
        try {
            auto table = engine::Table::open(
                u8(path), {.exclusive = true, .repairIndex = true, .dropUnreadableIndex = true});
            if (!listed) {
                const auto report = table->check(false);
                if (!report.problems.empty())
                    return abandon(QStringLiteral("Tabela %1 (%2) w kopii jest uszkodzona: %3")
                                       .arg(t.name, t.displayName, qs(report.problems.front())));
            }
        } catch (const EDatabaseError& e) {
            return abandon(QStringLiteral("Tabeli %1 (%2) z kopii nie można odczytać: %3")
                               .arg(t.name, t.displayName, QString::fromUtf8(e.what())));
        }
        if (p.report && !p.report(p.done, p.total, QStringLiteral("Sprawdzanie ") + t.name)) {
            r.cancelled = true;
            return abandon(QStringLiteral("Odtwarzanie danych przerwano."));
        }
    }
    syncDir(staging);

    const QString kept = makeStampedFolder(parent, kKeptPrefix, at, error);
    if (kept.isEmpty()) return abandon(error);
    Journal j;
    j.staging = staging;
    j.kept = kept;
    j.oldNames = oldNames;
    for (const Staged& f : files)
        j.newNames << f.name;
    const QString journal = data + QLatin1Char('/') + kJournal;
    if (!writeWhole(journal, journalText(j), error)) {
        QDir().rmdir(kept);
        return abandon(error);
    }

    // The swap: from here on the journal puts things back should the process die.
    int step = 0;
    bool swapped = true;
    for (const QString& n : j.oldNames) {
        if (options.swapStep) options.swapStep(step++);
        if (!renameFile(data + QLatin1Char('/') + n, AddSlash(kept) + n, error)) {
            swapped = false;
            break;
        }
    }
    for (qsizetype i = 0; swapped && i < j.newNames.size(); ++i) {
        if (options.swapStep) options.swapStep(step++);
        const QString& n = j.newNames[i];
        if (!renameFile(AddSlash(staging) + n, data + QLatin1Char('/') + n, error)) swapped = false;
    }
    if (!swapped) {
        QString back;
        if (!rollBack(data, j, back))
            return failed(r, error + u'\n' + back +
                                 QStringLiteral("\nDziennik odtwarzania został w katalogu danych; "
                                                "program cofnie zmiany przy następnym "
                                                "uruchomieniu."));
        QFile::remove(journal);
        syncDir(data);
        QDir().rmdir(kept);
        return abandon(error);
    }
    syncDir(data);
    syncDir(kept);
    QFile::remove(journal);  // the restore is done from here on
    syncDir(data);
    holds.release();

    // The data as they were become a backup of their own: table and memo files with their list.
    removeOwnFolder(staging);
    std::vector<ManifestEntry> keptEntries;
    bool allHashed = true;
    for (const QString& n : j.oldNames) {
        const QString path = AddSlash(kept) + n;
        if (n.endsWith(QLatin1String(".MDX"), Qt::CaseInsensitive)) {
            QFile::remove(path);
            continue;
        }
        QByteArray sha;
        if (hashFile(path, sha, p, error))
            keptEntries.push_back({n, sha});
        else
            allHashed = false;
    }
    // Without its list the folder still restores, as a plain copy checked table by table.
    if (allHashed)
        writeWhole(AddSlash(kept) + kBackupManifest, manifestText(at, AddSlash(data), keptEntries),
                   error);
    r.ok = true;
    r.keptData = kept;
    return r;
}

bool RecoverInterruptedRestore(const QString& dataDir) {
    const QString data = RemoveSlash(clean(dataDir));
    if (!QFileInfo(data).isDir()) return false;
    // Cheap when there is nothing to do: no journal and no folder of an interrupted restore.
    const QDir parent(parentOf(data));
    if (!QFileInfo::exists(data + QLatin1Char('/') + kJournal) &&
        parent.entryList({kStagingPrefix + QLatin1Char('*')}, QDir::Dirs).isEmpty())
        return false;
    DirLock lock;
    QString error;
    if (!lock.acquire(data, -1, error)) throw EDatabaseError(u8(error));
    return recoverLocked(data);
}

}  // namespace pulpex
