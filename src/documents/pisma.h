// PISMA: the documents of events — page images (the picture field Rysunek, written only by the
// documents window's image control) and embedded OLE documents (PIS_OLE), with the text recognised
// in an image (PIS_IDX).
#pragma once

#include <QString>

#include "tables/tbase.h"

namespace pulpex {

class TRec_Pisma : public TOT_Record {
  public:
    int ID = 0;
    int ZDARZ_ID = 0;  // the owning event
    int PIS_TYP = 0;
    int PIS_REX = 0;  // resolution in dots per inch; 0 or 1 = unknown
    int PIS_REY = 0;
    TBin PIS_OLE;  // the embedded object's stream, bytes as stored
    TBin PIS_IDX;  // recognised text

    void StoreFields(TOT_Table& table) override;
    void LoadFields(TOT_Table& table) override;

    // Whether the recognised text (ignoring Polish diacritics, which recognition tends to lose)
    // or the OLE object's text holds `text`, cut to the search's 254 characters.
    bool CzyPasuje(const QString& text) const;
};

class TTbl_Pisma : public TOT_Table {
  public:
    TTbl_Pisma();

    // Adds a page to event `eventId`: its stored picture (see pictures.h) and resolutions, in one
    // new row written whole. The new document's ID; throws EDatabaseError, leaving no row.
    int DodajStrone(int eventId, const QByteArray& picture, int rex = 0, int rey = 0);
    // Adds an embedded document (see embedded.h) to event `eventId`; the new document's ID.
    int DodajObiekt(int eventId, const QByteArray& object);
    // Deletes every document of the event.
    void UsunPisma(int eventId);
    // Whether any document of the event holds `text` (see TRec_Pisma::CzyPasuje).
    bool CzyPasuje(int eventId, const QString& text);
};

}  // namespace pulpex
