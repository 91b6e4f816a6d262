// REL_SZD: the links between cases and events, many to many. A pair (case, event) is linked by at
// most one row; nothing checks that either side exists.
#pragma once

#include "tables/tbase.h"

namespace pulpex {

class TRec_RelSprZd : public TOT_Record {
  public:
    int ID = 0;
    int RSZ_IDS = 0;  // case identifier (SPRAWY.ID)
    int ESZ_ZD = 0;   // event identifier (ZDARZ.ID)

    void StoreFields(TOT_Table& table) override;
    void LoadFields(TOT_Table& table) override;
};

class TTbl_RelSprZd : public TOT_Table {
  public:
    TTbl_RelSprZd();

    // Links the event to the case unless the pair is linked already. The look-up and the append
    // run under the table's append lock, so two workstations linking the same pair at once still
    // leave one row.
    void DodajPowiazanie(int caseId, int eventId);
    // Removes every link of the case.
    void usunPowiazaniaSprawy(int caseId);
    // Removes every link of the event.
    void UsunPowiazaniaZdarzenia(int eventId);
    // Whether the pair is linked.
    bool CzyPowiazane(int caseId, int eventId);

  private:
    // Deletes, one after another, every row whose `field` equals `value`, found through `tag`.
    void deleteAll(const QString& tag, const QString& field, int value);
};

}  // namespace pulpex
