#include "tables/catalogue.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

#include "core/prompts.h"
#include "tables/am_diags.h"
#include "tables/engine/codepage.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/tbase.h"

namespace pulpex {

namespace {

std::function<void(const QString&)>& actionLog() {
    static std::function<void(const QString&)> log;
    return log;
}

void report(const QString& line) {
    if (actionLog()) actionLog()(line);
}

const char* const kExtensions[] = {".DBF", ".DBT", ".MDX"};

// The existing file of that name in the directory, whatever its case, or empty.
QString existing(const QString& dir, const QString& name) {
    const QString p = qs(engine::Table::resolve(u8(dir), u8(name)));
    return QFileInfo(p).isFile() ? p : QString();
}

QString dirOf(const TOT_Table& t) {
    return QFileInfo(t.TableFileName()).path() + QLatin1Char('/');
}
QString stemOf(const TOT_Table& t) {
    return QFileInfo(t.TableFileName()).completeBaseName();
}
QString backupStem(const TOT_Table& t) {
    return QStringLiteral("RESTR_") + stemOf(t);
}

// Renames stem.* to newStem.* (overwriting), companions first and the table file last, so that a
// table file under the new name means all its companions are there too.
void renameFiles(const QString& dir, const QString& stem, const QString& newStem) {
    for (const char* ext : {".DBT", ".MDX", ".DBF"}) {
        const QString from = existing(dir, stem + QLatin1String(ext));
        if (from.isEmpty()) continue;
        std::error_code ec;
        std::filesystem::rename(QFile::encodeName(from).toStdString(),
                                QFile::encodeName(dir + newStem + QLatin1String(ext)).toStdString(),
                                ec);
        if (ec)
            throw EDatabaseError("Nie można zmienić nazwy pliku " + u8(from) + ": " + ec.message());
    }
}

// Why a restructure stopped: table, row and field where a value could not be carried over.
struct RestructureFailure {
    QString reason;
};

bool isBlob(char t) {
    return t == 'M' || t == 'B' || t == 'G';
}
// Letters a dBase IV header can hold; level 7's binary numbers and time stamps cannot.
bool dBase4Letter(char t) {
    return t == 'C' || t == 'N' || t == 'F' || t == 'L' || t == 'D' || isBlob(t);
}

engine::FieldDef keepLayout(const engine::FieldInfo& f) {
    engine::FieldDef d{f.name, f.type, f.size};
    d.dbfType = f.dbfType;
    d.decimals = f.decimals;
    return d;
}

// The new table's fields. A field of the schema that the old file has in a compatible form keeps
// the old layout (a wider string stays wide), so that its bytes move unchanged; a missing or
// incompatible one takes the schema's. Fields of the old file the schema does not know follow,
// so that nothing is dropped.
std::vector<engine::FieldDef> newLayout(const engine::Table& old, const TOT_Table& table) {
    std::vector<engine::FieldDef> out;
    std::vector<bool> used(old.fields().size(), false);
    for (const auto& def : table.EngineFieldDefs()) {
        const int src = old.fieldIndex(def.name);
        if (src < 0) {
            out.push_back(def);
            continue;
        }
        used[static_cast<std::size_t>(src)] = true;
        const engine::FieldInfo& f = old.fields()[static_cast<std::size_t>(src)];
        const TFieldDefinition schema{qs(def.name), def.type, def.size};
        const bool narrower = f.type == TFieldType::String && f.size < def.size;
        if (dBase4Letter(f.dbfType) && !narrower && TOT_Table::FieldCompatible(f, schema, true)) {
            engine::FieldDef kept = keepLayout(f);
            kept.name = def.name;
            kept.type = def.type;  // a time or date-time in C(11) / C(30) stays marked as one
            out.push_back(kept);
        } else {
            out.push_back(def);
        }
    }
    for (std::size_t i = 0; i < old.fields().size(); ++i) {
        if (used[i]) continue;
        const engine::FieldInfo& f = old.fields()[i];
        if (dBase4Letter(f.dbfType))
            out.push_back(keepLayout(f));
        else
            out.push_back(
                {f.name, f.type == TFieldType::AutoInc ? TFieldType::Integer : f.type, 0});
    }
    return out;
}

// How one field of the new table is filled from the old one.
struct FieldCopy {
    int dst = -1;
    int src = -1;  // -1: no such field in the old table
    enum class Mode { Bytes, Blob, Value } mode = Mode::Value;
};

std::vector<FieldCopy> copyPlan(engine::Table& old, engine::Table& fresh) {
    std::vector<FieldCopy> plan;
    for (std::size_t i = 0; i < fresh.fields().size(); ++i) {
        const engine::FieldInfo& to = fresh.fields()[i];
        FieldCopy c;
        c.dst = static_cast<int>(i);
        c.src = old.fieldIndex(to.name);
        if (c.src >= 0) {
            const engine::FieldInfo& from = old.fields()[static_cast<std::size_t>(c.src)];
            if (isBlob(from.dbfType) && isBlob(to.dbfType))
                c.mode = FieldCopy::Mode::Blob;
            else if (from.dbfType == to.dbfType && from.decimals == to.decimals &&
                     (from.size == to.size || (to.dbfType == 'C' && from.size < to.size)))
                c.mode = FieldCopy::Mode::Bytes;
        }
        plan.push_back(c);
    }
    return plan;
}

QString rowName(engine::Table& old) {
    QString s = QStringLiteral("wiersz ") + QString::number(old.recno());
    const int id = old.fieldIndex("ID");
    if (id >= 0 && !old.isNull(id)) s += QStringLiteral(" (ID ") + qs(old.asText(id)) + ')';
    return s;
}

// Copies the current row of `old` into a new row of `fresh`. Bytes, memos and pictures move as
// they are; a value that needs converting must read back the same, or the restructure stops.
void copyRow(engine::Table& old, engine::Table& fresh, const std::vector<FieldCopy>& plan,
             const QString& table) {
    fresh.insert();
    for (const auto& c : plan) {
        if (c.src < 0) continue;
        const QString where = QStringLiteral("Tabela ") + table + QStringLiteral(", ") +
                              rowName(old) + QStringLiteral(", pole ") +
                              qs(old.fields()[static_cast<std::size_t>(c.src)].name) +
                              QStringLiteral(": ");
        try {
            switch (c.mode) {
                case FieldCopy::Mode::Bytes:
                    fresh.setRawField(c.dst, old.rawField(c.src));
                    break;
                case FieldCopy::Mode::Blob: {
                    const auto bytes = old.readBlob(c.src);
                    if (!bytes.empty()) fresh.writeBlob(c.dst, bytes);
                    break;
                }
                case FieldCopy::Mode::Value: {
                    if (old.isNull(c.src)) break;
                    const std::string text = old.asText(c.src);
                    fresh.setText(c.dst, text);
                    const std::string back = fresh.asText(c.dst);
                    if (back != text)
                        throw RestructureFailure{where + QStringLiteral("wartość „") + qs(text) +
                                                 QStringLiteral("” zmieniłaby się na „") +
                                                 qs(back) + QStringLiteral("”")};
                    break;
                }
            }
        } catch (const EDatabaseError& e) {
            fresh.cancel();
            throw RestructureFailure{where + qs(e.what())};
        } catch (const RestructureFailure&) {
            fresh.cancel();
            throw;
        }
    }
    try {
        fresh.post();
    } catch (const EDatabaseError& e) {
        fresh.cancel();
        throw RestructureFailure{QStringLiteral("Tabela ") + table + QStringLiteral(", ") +
                                 rowName(old) + QStringLiteral(": ") + qs(e.what())};
    }
}

// The language driver of the new table: the old one's, so that its texts need no conversion
// (a level 7 file whose name, not byte, told the code page gets the page's own byte).
std::uint8_t keptLanguageDriver(const engine::Table& old) {
    const std::uint8_t driver = old.languageDriver();
    try {
        if (&engine::CodePage::forLanguageDriver(driver) == &old.codePage()) return driver;
    } catch (const EDatabaseError&) {
    }
    return old.codePage().languageDriver();
}

// Where the files of a table before its restructure are kept: the system's archive directory
// when the table lives in its data directory, else "arc/" beside the table.
QString archiveRoot(const TOT_Table& t) {
    const QString dir = dirOf(t);
    if (TAM_System* sys = System())
        if (QFileInfo(sys->DataDir).canonicalFilePath() == QFileInfo(dir).canonicalFilePath())
            return sys->ArchiveDir;
    return dir + QStringLiteral("arc/");
}

// A new directory in the archive for one table's old files: STEM-yyyyMMdd-HHmmss[-n]/.
QString makeArchiveDir(const TOT_Table& t) {
    const QString root = archiveRoot(t);
    const QString base = root + stemOf(t) + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString dir = base;
    for (int n = 2; QFileInfo::exists(dir); ++n)
        dir = base + QLatin1Char('-') + QString::number(n);
    if (!QDir().mkpath(dir))
        throw EDatabaseError("Nie można utworzyć katalogu archiwum " + u8(dir));
    return dir + QLatin1Char('/');
}

// Moves stem.* of `dir` into `archive` under the table's own name (copied when a rename cannot
// cross file systems).
void archiveFiles(const QString& dir, const QString& stem, const QString& archive,
                  const QString& tableStem) {
    for (const char* ext : {".DBT", ".MDX", ".DBF"}) {
        const QString from = existing(dir, stem + QLatin1String(ext));
        if (from.isEmpty()) continue;
        const std::string src = QFile::encodeName(from).toStdString();
        const std::string dst =
            QFile::encodeName(archive + tableStem + QLatin1String(ext)).toStdString();
        std::error_code ec;
        std::filesystem::rename(src, dst, ec);
        if (ec) {
            ec.clear();
            std::filesystem::copy_file(src, dst, std::filesystem::copy_options::overwrite_existing,
                                       ec);
            if (!ec) std::filesystem::remove(src, ec);
        }
        if (ec)
            throw EDatabaseError("Nie można przenieść pliku " + u8(from) + " do archiwum " +
                                 u8(archive) + ": " + ec.message());
    }
}

// What the last Restructure left to tell: why it failed, or where the old files went.
struct Outcome {
    QString failure;
    QString oldFiles;
};
Outcome& lastOutcome() {
    static Outcome o;
    return o;
}
QString& lastFailure() {
    return lastOutcome().failure;
}

}  // namespace

void SetCatalogueActionLog(std::function<void(const QString&)> log) {
    actionLog() = std::move(log);
}

void ClearCatalogueReferences() {
    TblUsers = nullptr;
    TblID = nullptr;
    TblDiags = nullptr;
    TblZdarzenia = nullptr;
    TblSprawy = nullptr;
    TblRelSprZd = nullptr;
    TblRelSprKlasa = nullptr;
    TblPisma = nullptr;
    TblNotatki = nullptr;
    TblKorespondencja = nullptr;
    TblKlasaSpraw = nullptr;
    TblAlarmy = nullptr;
    TblAdresy = nullptr;
}

bool RecoverRestructure(TOT_Table& table) {
    const QString dir = dirOf(table);
    const QString stem = stemOf(table);
    const QString backup = backupStem(table);
    bool any = false;
    for (const char* ext : kExtensions)
        if (!existing(dir, backup + QLatin1String(ext)).isEmpty()) any = true;
    if (!any) return false;
    table.Close();
    const bool backupTable = !existing(dir, backup + QStringLiteral(".DBF")).isEmpty();
    const bool liveTable = !existing(dir, stem + QStringLiteral(".DBF")).isEmpty();
    if (backupTable && liveTable) {
        // The new files were all in place: the old copy goes to the archive. Where it cannot
        // go, it stays beside the table for the next start: the table itself is sound.
        try {
            const QString archive = makeArchiveDir(table);
            archiveFiles(dir, backup, archive, stem);
            report(QStringLiteral("Przeniesiono do archiwum ") + archive +
                   QStringLiteral(" starą kopię tabeli ") + stem +
                   QStringLiteral(" po restrukturyzacji"));
        } catch (const EDatabaseError& e) {
            report(QStringLiteral("Stara kopia tabeli ") + stem +
                   QStringLiteral(" pozostaje w katalogu danych: ") + qs(e.what()));
        }
    } else {
        // The swap was interrupted: the old files go back and the check restructures again.
        renameFiles(dir, backup, stem);
        report(QStringLiteral("Przywrócono tabelę ") + stem +
               QStringLiteral(" sprzed przerwanej restrukturyzacji"));
    }
    return true;
}

bool Restructure(TOT_Table& table) {
    const QString dir = dirOf(table);
    const QString stem = stemOf(table);
    const QString scratch = QStringLiteral("RESTR");
    const QString scratchPath = dir + scratch + QStringLiteral(".DBF");
    lastOutcome() = {};
    table.Close();
    QString archive;
    try {
        // A left-over scratch table is only ever a partial copy: the old rows are still in the
        // table itself or in its RESTR_ copy.
        engine::Table::remove(u8(existing(dir, QStringLiteral("restr.dbf")).isEmpty()
                                     ? scratchPath
                                     : existing(dir, QStringLiteral("restr.dbf"))));
        {
            engine::Table::OpenOptions ex;
            ex.exclusive = true;
            auto old = engine::Table::open(u8(table.TableFileName()), ex);
            engine::Table::create(u8(scratchPath), newLayout(*old, table), {},
                                  keptLanguageDriver(*old));
            auto fresh = engine::Table::open(u8(scratchPath), ex);
            for (const auto& d : table.EngineIndexDefs())
                fresh->addIndex(d);
            const auto plan = copyPlan(*old, *fresh);
            std::uint64_t rows = 0;
            for (old->first(); !old->eof(); old->next()) {
                copyRow(*old, *fresh, plan, stem);
                ++rows;
            }
            if (fresh->recordCount() != rows || old->recordCount() != rows)
                throw RestructureFailure{
                    QStringLiteral("Tabela ") + stem + QStringLiteral(": skopiowano ") +
                    QString::number(rows) + QStringLiteral(" z ") +
                    QString::number(old->recordCount()) + QStringLiteral(" wierszy")};
        }
        // Made before anything is moved: a table whose old files have nowhere to go stays as
        // it is.
        archive = makeArchiveDir(table);
        renameFiles(dir, stem, backupStem(table));
        renameFiles(dir, scratch, stem);
    } catch (const RestructureFailure& f) {
        lastFailure() = f.reason;
    } catch (const EDatabaseError& e) {
        lastFailure() = QStringLiteral("Tabela ") + stem + QStringLiteral(": ") + qs(e.what());
    }
    if (!lastFailure().isEmpty()) {
        report(QStringLiteral("Restrukturyzacja ") + stem + QStringLiteral(": ") + lastFailure());
        try {
            RecoverRestructure(table);
            engine::Table::remove(u8(scratchPath));
        } catch (const EDatabaseError&) {
        }
        if (!archive.isEmpty()) QDir(archive).rmdir(archive);
        try {
            table.Open();
        } catch (const EDatabaseError&) {
        }
        return false;
    }
    try {
        archiveFiles(dir, backupStem(table), archive, stem);
        lastOutcome().oldFiles = QStringLiteral("Poprzednie pliki tabeli w ") + archive;
    } catch (const EDatabaseError& e) {
        // The new table is complete; the old copy stays beside it and the next start moves it.
        lastOutcome().oldFiles = QStringLiteral("Poprzednie pliki tabeli jako ") +
                                 backupStem(table) + QStringLiteral(" w ") + dir +
                                 QStringLiteral(": ") + qs(e.what());
    }
    report(QStringLiteral("Przebudowano strukturę tabeli ") + stem + QStringLiteral("; ") +
           lastOutcome().oldFiles);
    table.Open();
    return true;
}

QString RestructureFailureReason() {
    return lastOutcome().failure;
}

QString RestructureOldFiles() {
    return lastOutcome().oldFiles;
}

bool CheckCatalogue(std::vector<TCatalogueEntry>& entries) {
    // Repairs found before the diagnostics table is open are logged once it is.
    std::vector<std::pair<QString, QString>> pending;
    auto diag = [&](const QString& text, const QString& detail) {
        if (TblDiags && TblDiags->Active())
            LogDiag(text, detail);
        else
            pending.emplace_back(text, detail);
    };

    for (auto& entry : entries) {
        TOT_Table& t = *entry.table;
        const QString name = stemOf(t);
        if (t.StartupChecked) RecoverRestructure(t);

        if (t.StartupChecked && !t.TableFileExists()) {
            if (!t.CreateTableSelf()) return false;
            t.Close();
            report(QStringLiteral("Utworzono tabelę ") + name + QStringLiteral(" (") +
                   entry.displayName + QStringLiteral(")"));
        }

        if (t.StartupChecked) {
            bool repair = false;
            try {
                t.Close();
                t.Open();
                // A tag of the schema missing from the index file is as bad as no index.
                std::vector<engine::TagInfo> tags = t.T().tags();
                for (const auto& def : t.CreateInfo.Indexes()) {
                    bool found = false;
                    for (const auto& tag : tags)
                        if (qs(tag.name).compare(def.name, Qt::CaseInsensitive) == 0) found = true;
                    if (!found) repair = true;
                }
                t.Close();
            } catch (const EDatabaseError& e) {
                t.Close();
                // A table another workstation holds is not ours to repair.
                if (e.reason() != EDatabaseError::Reason::Locked &&
                    (!t.IndexStateConsistent() || e.reason() == EDatabaseError::Reason::Damaged))
                    repair = true;
            }
            if (repair) {
                diag(QStringLiteral("Brak indeksu."), entry.displayName);
                t.DropProductionIndex();
                t.CheckTableStruct(true);
                t.Close();
                report(QStringLiteral("Odbudowano indeks tabeli ") + name);
            }
        }

        t.CheckTableStruct(false);

        if (!t.CheckStructure()) {
            prompts().message(Severity::Warning,
                              QStringLiteral("Błędna struktura bazy : ") + t.TableName);
            const bool ok = Restructure(t);
            if (ok) {
                diag(QStringLiteral("Restrukturyzacja tabeli ") + name + QStringLiteral(": OK"),
                     RestructureOldFiles());
                prompts().message(Severity::Information, QStringLiteral("Restrukturyzacja :  OK"));
            } else {
                const QString reason = RestructureFailureReason();
                diag(QStringLiteral("Restrukturyzacja tabeli ") + name + QStringLiteral(": BŁĄD"),
                     reason);
                prompts().message(Severity::Error,
                                  QStringLiteral("Restrukturyzacja :  BŁĄD\n\n") + reason);
            }
            prompts().beep();
        }
    }
    for (const auto& [text, detail] : pending)
        LogDiag(text, detail);
    return true;
}

}  // namespace pulpex
