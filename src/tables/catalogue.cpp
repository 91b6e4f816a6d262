#include "tables/catalogue.h"

#include <QFileInfo>
#include <filesystem>
#include <system_error>

#include "core/prompts.h"
#include "tables/am_diags.h"
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

void removeFiles(const QString& dir, const QString& stem) {
    for (const char* ext : kExtensions) {
        const QString f = existing(dir, stem + QLatin1String(ext));
        if (!f.isEmpty()) QFile::remove(f);
    }
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

bool copyRow(engine::Table& from, engine::Table& to, const TTableCreateInfo& schema) {
    to.insert();
    for (const auto& def : schema.Fields()) {
        const int src = from.fieldIndex(u8(def.name));
        if (src < 0 || !TOT_Table::FieldCompatible(from.fields()[src], def, true)) continue;
        const int dst = to.fieldNo(u8(def.name));
        try {
            if (from.isNull(src)) continue;
            if (def.type == TFieldType::Graphic) {
                const auto bytes = from.readBlob(src);
                to.writeBlob(dst, bytes);
            } else {
                to.setText(dst, from.asText(src));
            }
        } catch (const EDatabaseError&) {
            // A value the new field cannot hold stays blank; the row itself is kept.
        }
    }
    try {
        to.post();
        return true;
    } catch (const EDatabaseError&) {
        to.cancel();
        return false;
    }
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
        // The new files were all in place: only the old copy is left to remove.
        removeFiles(dir, backup);
        report(QStringLiteral("Usunięto starą kopię tabeli ") + stem +
               QStringLiteral(" po restrukturyzacji"));
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
    table.Close();
    try {
        // A left-over scratch table is only ever a partial copy: the old rows are still in the
        // table itself or in its RESTR_ copy.
        engine::Table::remove(u8(existing(dir, QStringLiteral("restr.dbf")).isEmpty()
                                     ? scratchPath
                                     : existing(dir, QStringLiteral("restr.dbf"))));
        engine::Table::create(u8(scratchPath), table.EngineFieldDefs(), {});
        {
            engine::Table::OpenOptions ex;
            ex.exclusive = true;
            auto fresh = engine::Table::open(u8(scratchPath), ex);
            for (const auto& d : table.EngineIndexDefs())
                fresh->addIndex(d);
            auto old = engine::Table::open(u8(table.TableFileName()), ex);
            int lost = 0;
            for (old->first(); !old->eof(); old->next())
                if (!copyRow(*old, *fresh, table.CreateInfo)) ++lost;
            if (lost)
                report(QStringLiteral("Restrukturyzacja ") + stem +
                       QStringLiteral(": nie skopiowano wierszy: ") + QString::number(lost));
        }
        renameFiles(dir, stem, backupStem(table));
        renameFiles(dir, scratch, stem);
        removeFiles(dir, backupStem(table));
    } catch (const EDatabaseError& e) {
        report(QStringLiteral("Restrukturyzacja ") + stem + QStringLiteral(": ") + qs(e.what()));
        try {
            RecoverRestructure(table);
            engine::Table::remove(u8(scratchPath));
        } catch (const EDatabaseError&) {
        }
        try {
            table.Open();
        } catch (const EDatabaseError&) {
        }
        return false;
    }
    table.Open();
    report(QStringLiteral("Przebudowano strukturę tabeli ") + stem);
    return true;
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
            prompts().message(ok ? Severity::Information : Severity::Error,
                              ok ? QStringLiteral("Restrukturyzacja :  OK")
                                 : QStringLiteral("Restrukturyzacja :  BŁĄD"));
            prompts().beep();
        }
    }
    for (const auto& [text, detail] : pending)
        LogDiag(text, detail);
    return true;
}

}  // namespace pulpex
