// The start-up walk over the catalogue: missing tables are created, missing or damaged index
// files rebuilt, and tables whose fields differ from their schema restructured with their rows.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "core/system.h"

namespace pulpex {

class TOT_Table;

// Walks the entries in order; false when a table could not be created. Every table is left
// open. Each action taken is reported to the action log (see SetCatalogueActionLog).
bool CheckCatalogue(std::vector<TCatalogueEntry>& entries);

// Rewrites the table's files in the layout of its schema, keeping every row exactly: fields the
// old file has in a compatible form keep their layout (a wider string stays wide) and their bytes,
// memos and pictures are copied as bytes, the language driver stays, fields the schema does not
// know are kept, and a value that must be converted has to read back the same. Crash-safe: the
// new files are built beside the old ones in "restr.dbf" and swapped in only when complete; the
// old files are kept as "RESTR_<name>" during the swap and then moved to a directory of their
// own in the archive directory, where they stay until the administrator removes them.
// RecoverRestructure finishes the work after a crash in between. False (the table exactly as it
// was) when any value could not be carried over; RestructureFailureReason tells which.
bool Restructure(TOT_Table& table);
// Why the last Restructure failed (table, row and field where it applies); empty after success.
QString RestructureFailureReason();
// Where the last successful Restructure put the table's old files.
QString RestructureOldFiles();
// Finishes or rolls back a restructure that a crash interrupted; true when it changed files.
bool RecoverRestructure(TOT_Table& table);

// One line per action of the catalogue check ("Utworzono tabelę ...") for tools; none by default.
void SetCatalogueActionLog(std::function<void(const QString&)> log);

// Sets every global table reference to nullptr (before the catalogue's objects are freed).
void ClearCatalogueReferences();

}  // namespace pulpex
