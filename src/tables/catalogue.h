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

// Rewrites the table's files in the layout of its schema, keeping its rows (fields copied by
// name through their text). Crash-safe: the new files are built beside the old ones in
// "restr.dbf" and swapped in only when complete; the old files are kept as "RESTR_<name>" until
// the swap is done, and RecoverRestructure puts them back after a crash in between.
// False (the table as it was) when it failed; the reason goes to the action log.
bool Restructure(TOT_Table& table);
// Finishes or rolls back a restructure that a crash interrupted; true when it changed files.
bool RecoverRestructure(TOT_Table& table);

// One line per action of the catalogue check ("Utworzono tabelę ...") for tools; none by default.
void SetCatalogueActionLog(std::function<void(const QString&)> log);

// Sets every global table reference to nullptr (before the catalogue's objects are freed).
void ClearCatalogueReferences();

}  // namespace pulpex
