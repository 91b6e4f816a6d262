// The event search of the register ("Szuka&j"): which events hold a text in their own fields or
// in one of their documents, over the whole table at once.
#pragma once

#include <QSet>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace pulpex {

// The IDs of the events of `dataDir` that pass the event match test for `text` (the same answer
// as TRec_Zdarzenia::CzyPasuje for every row of ZDARZ). Opens its own read-only cursors on
// ZDARZ and PISMA, so it may run on any thread while the windows use the catalogue's tables.
// `progress` is called now and then with the rows done and the rows in all; when it returns
// false the search stops and the result is std::nullopt. Engine errors (a missing or damaged
// table) are thrown as EDatabaseError.
std::optional<QSet<int>> SzukajZdarzen(
    const QString& dataDir, const QString& text,
    const std::function<bool(qint64 done, qint64 total)>& progress = {});

}  // namespace pulpex
