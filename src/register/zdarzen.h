// ZDARZ: the register of correspondence. Every incoming letter, outgoing letter and other noted
// occurrence is one event; its case links (REL_SZD) and documents (PISMA) hang from its ID.
#pragma once

#include <QDateTime>
#include <QString>

#include "tables/tbase.h"

namespace pulpex {

// Event kinds (ZD_TYP).
enum TRodzajZdarzenia : int {
    zdPrzychodzace = 1,  // incoming letter
    zdWychodzace = 2,    // outgoing letter
    zdInne = 3,          // other, without a correspondent
};

class TRec_Zdarzenia : public TOT_Record {
  public:
    int ID = 0;
    QString ZD_NMR;                                   // entry number
    QString ZD_SMB;                                   // symbol of an incoming letter
    QDateTime ZD_DAT = QDateTime::currentDateTime();  // the table keeps the date
    QString ZD_ODB;                                   // recipient inside the office
    bool ZD_POL = false;                              // registered mail
    int ZD_DOP = 0;  // the incoming event an outgoing letter answers
    int ZD_ADR = 0;  // the correspondent (ADRESY.ID)
    TBin ZD_TRE;     // content
    TBin ZD_OPIS;    // description
    int ZD_TYP = zdPrzychodzace;

    void StoreFields(TOT_Table& table) override;
    void LoadFields(TOT_Table& table) override;

    // Whether the event's own texts (number, symbol, recipient, content, description) hold
    // `text`, cut to the search's 254 characters; failing that, whether one of its documents
    // does. Needs the catalogue's documents table.
    bool CzyPasuje(const QString& text) const;
};

class TTbl_Zdarzenia : public TOT_Table {
  public:
    TTbl_Zdarzenia();

    // Deletes the event's case links and documents, then the event row when there is one.
    // Needs the catalogue's REL_SZD and PISMA tables.
    void UsunZdarzenie(int eventId);
};

}  // namespace pulpex
