// REL_SK: the links between cases and case classes. The table has no ID column: its RSK_ID tag
// is keyed on the pair, so the identifier operations of the base find nothing here instead of
// taking a case identifier for a row identifier.
#pragma once

#include "tables/tbase.h"

namespace pulpex {

class TTbl_RelSprKlasa : public TOT_Table {
  public:
    TTbl_RelSprKlasa();

    // No identifier: nothing is ever found (so DeleteByID and ReadRecordByID touch no row) and
    // no identifier can be taken (OT_AddNew raises its error).
    bool LocateID(int id) override;
    int AppendNewID() override;
};

}  // namespace pulpex
