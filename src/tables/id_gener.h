// TBLID: named counters shared by every workstation on the data directory. The numbering
// patterns take their running numbers from here ("{NZ}", "{NP}", "{NK}").
#pragma once

#include <QString>

#include "tables/tbase.h"

namespace pulpex {

class TTbl_ID : public TOT_Table {
  public:
    TTbl_ID();

    // Takes the next number of the counter (1 for a new one); 0 when the counter row stayed
    // locked by others through every attempt, or could not be made.
    int GenerateID(const QString& name);
    // What GenerateID would give now, without taking it; 1 for an unknown counter (no row made).
    int ConsultnextID(const QString& name);
    // Raises the counter to at least the last identifier of `table`.
    void CheckTableID(TOT_Table& table, const QString& name);
    // Makes `last` the last number handed out (an office continuing an old register).
    void SetLastID(const QString& name, int last);

    // Time between attempts, in units of milliseconds times 1, 2 or 3 (1000 in the program).
    int retryUnitMs = 1000;
    static constexpr int kAttempts = 5;
};

}  // namespace pulpex
