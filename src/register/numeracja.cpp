#include "register/numeracja.h"

#include "core/config.h"
#include "register/zdarzen.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {

TNadanyNumer NadajNumerZdarzenia(int eventId) {
    if (!TblZdarzenia) throw EDatabaseError("Brak tabeli ZDARZ w katalogu");
    TTbl_Zdarzenia& events = *TblZdarzenia;
    OpenForCall open(events);
    engine::Table& t = events.T();
    if (t.state() != engine::Table::State::Browse) t.post();
    if (!events.LocateID(eventId))
        throw EDatabaseError("Nie znaleziono zdarzenia o identyfikatorze " +
                             std::to_string(eventId));
    // edit() locks the row and reads it afresh: the kind and number are what was last posted.
    t.edit();
    try {
        TNadanyNumer result;
        result.Numer = fieldString(t, QStringLiteral("ZD_NMR"));
        const int kind = fieldInt(t, QStringLiteral("ZD_TYP"));
        if (PatternForType(kind).isEmpty()) {
            t.cancel();
            return result;
        }
        QString number, error;
        if (!ExpandPatternChecked(kind, number, &error)) throw EDatabaseError(u8(error));
        setFieldString(t, QStringLiteral("ZD_NMR"), number);
        t.post();
        result.Zmieniony = number != result.Numer;
        result.Numer = number;
        return result;
    } catch (...) {
        try {
            if (t.state() != engine::Table::State::Browse) t.cancel();
        } catch (const EDatabaseError&) {
        }
        throw;
    }
}

}  // namespace pulpex
