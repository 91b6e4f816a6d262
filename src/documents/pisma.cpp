#include "documents/pisma.h"

#include "documents/ocr/textsearch.h"
#include "tables/fieldio.h"

namespace pulpex {

namespace {

const QString kTagEvent = QStringLiteral("ZDARZ_ID");

bool found(const QByteArray& utf8, const ocr::TSearchBlock& block) {
    return ocr::OT_FindTextInString(utf8.constData(), static_cast<int>(utf8.size()), &block) == 0;
}

// A page row: the picture goes in with the other fields, so that no row is ever seen without it
// (it would pass for an empty embedded object).
class PageRecord : public TRec_Pisma {
  public:
    QByteArray picture;
    void StoreFields(TOT_Table& table) override {
        TRec_Pisma::StoreFields(table);
        setFieldBytes(table.T(), QStringLiteral("Rysunek"), picture);
    }
};

}  // namespace

void TRec_Pisma::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldInt(t, QStringLiteral("ID"), ID);
    setFieldInt(t, QStringLiteral("ZDARZ_ID"), ZDARZ_ID);
    setFieldInt(t, QStringLiteral("PIS_TYP"), PIS_TYP);
    setFieldInt(t, QStringLiteral("PIS_REX"), PIS_REX);
    setFieldInt(t, QStringLiteral("PIS_REY"), PIS_REY);
    PIS_OLE.SaveToBlob(table, QStringLiteral("PIS_OLE"));
    PIS_IDX.SaveTextToBlob(table, QStringLiteral("PIS_IDX"));
    TOT_Record::StoreFields(table);
}

void TRec_Pisma::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    ID = fieldInt(t, QStringLiteral("ID"));
    ZDARZ_ID = fieldInt(t, QStringLiteral("ZDARZ_ID"));
    PIS_TYP = fieldInt(t, QStringLiteral("PIS_TYP"));
    PIS_REX = fieldInt(t, QStringLiteral("PIS_REX"));
    PIS_REY = fieldInt(t, QStringLiteral("PIS_REY"));
    PIS_OLE.LoadFromBlob(table, QStringLiteral("PIS_OLE"));
    PIS_IDX.LoadTextFromBlob(table, QStringLiteral("PIS_IDX"));
    TOT_Record::LoadFields(table);
}

bool TRec_Pisma::CzyPasuje(const QString& text) const {
    ocr::TSearchBlock block = ocr::TSearchBlock::make(text, true);
    // The buffer holds the text with its terminating zero; the search stops at the zero.
    if (found(PIS_IDX.Bytes(), block)) return true;
    block.flag4 = 0;
    return found(ocr::OleSearchText(PIS_OLE.Bytes()).toUtf8(), block);
}

TTbl_Pisma::TTbl_Pisma() : TOT_Table(QStringLiteral("PISMA")) {
    IDIndexName = QStringLiteral("PISM_ID");
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {
            {QStringLiteral("ID"), TFieldType::Integer},
            {QStringLiteral("ZDARZ_ID"), TFieldType::Integer},
            {QStringLiteral("Rysunek"), TFieldType::Graphic, 10},
            {QStringLiteral("PIS_OLE"), TFieldType::Memo, 10},
            {QStringLiteral("PIS_TYP"), TFieldType::Integer},
            {QStringLiteral("PIS_IDX"), TFieldType::Memo, 10},
            {QStringLiteral("PIS_REX"), TFieldType::Integer},
            {QStringLiteral("PIS_REY"), TFieldType::Integer},
        },
        {
            {QStringLiteral("PISM_ID"), QStringLiteral("ID"), QString(), ixPrimary},
            {kTagEvent, QStringLiteral("ZDARZ_ID"), QStringLiteral("ZDARZ_ID"), 0},
        });
}

int TTbl_Pisma::DodajStrone(int eventId, const QByteArray& picture, int rex, int rey) {
    PageRecord rec;
    rec.ZDARZ_ID = eventId;
    rec.PIS_REX = rex;
    rec.PIS_REY = rey;
    rec.picture = picture;
    int id = 0;
    OT_AddNew(id, rec);
    return id;
}

int TTbl_Pisma::DodajObiekt(int eventId, const QByteArray& object) {
    TRec_Pisma rec;
    rec.ZDARZ_ID = eventId;
    rec.PIS_OLE.SetBytes(object);
    int id = 0;
    OT_AddNew(id, rec);
    return id;
}

void TTbl_Pisma::UsunPisma(int eventId) {
    engine::Table& t = T();
    SetIndex(kTagEvent);
    // Every deletion changes the tag, so each row is looked up afresh.
    while (t.findKey(engine::Value{std::int64_t{eventId}})) {
        if (fieldInt(t, QStringLiteral("ZDARZ_ID")) != eventId) break;
        t.deleteRecord();
    }
}

bool TTbl_Pisma::CzyPasuje(int eventId, const QString& text) {
    engine::Table& t = T();
    // In ZDARZ_ID order the event's documents stand together, whatever their identifiers.
    SetIndex(kTagEvent);
    if (!t.findKey(engine::Value{std::int64_t{eventId}})) return false;
    TRec_Pisma rec;
    for (; !t.eof(); t.next()) {
        if (fieldInt(t, QStringLiteral("ZDARZ_ID")) != eventId) break;
        rec.LoadFields(*this);
        if (rec.CzyPasuje(text)) return true;
    }
    return false;
}

}  // namespace pulpex
