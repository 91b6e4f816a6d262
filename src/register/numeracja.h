// The number of a new register entry, fixed when the entry is accepted.
#pragma once

#include <QString>

namespace pulpex {

struct TNadanyNumer {
    QString Numer;           // the number the event holds now
    bool Zmieniony = false;  // it differs from the one the event held before (typed or suggested)
};

// Gives the event `eventId` its final number. When the pattern of the event's kind yields a
// number, the counters are taken now and that number replaces whatever the row held, so that two
// workstations accepting at once never share a number; with an empty pattern the row keeps the
// number it holds. The row is locked before a counter is taken, so that no number is used up for
// a row that cannot be written. Throws EDatabaseError with a Polish message: the event is missing,
// its row is locked at another workstation (the engine's message), a counter could not be taken.
TNadanyNumer NadajNumerZdarzenia(int eventId);

}  // namespace pulpex
