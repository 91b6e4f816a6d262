// SPRAWY: the cases, each grouping events of the register through REL_SZD.
#pragma once

#include <QString>

#include "tables/tbase.h"

namespace pulpex {

class TRec_Sprawy : public TOT_Record {
  public:
    int ID = 0;
    QString SP_NAZ;        // name
    QString SP_NUM;        // number (free text)
    TBin SP_OPI;           // description
    bool SP_ZAMK = false;  // closed

    void StoreFields(TOT_Table& table) override;
    void LoadFields(TOT_Table& table) override;
};

class TTbl_Sprawy : public TOT_Table {
  public:
    TTbl_Sprawy();

    // Deletes the case and its links to events (not its classes). Any failure is shown as
    // "Błąd podczas usuwania sprawy" and ends the deletion; what was removed stays removed.
    void UsunSprawe(int caseId);
    // Whether a case other than `exceptId` is named exactly `name` (letter case counts; the
    // blanks dBase pads a value with do not).
    bool IstniejeNazwa(const QString& name, int exceptId = 0);
};

}  // namespace pulpex
