#include "register/zdarzen.h"

#include "cases/rel_s_z.h"
#include "documents/ocr/textsearch.h"
#include "documents/pisma.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

template <class T>
T& catalogueTable(T* table, const char* name) {
    if (table == nullptr) throw EDatabaseError(std::string("Brak tabeli ") + name + " w katalogu");
    return *table;
}

bool found(const QByteArray& utf8, const ocr::TSearchBlock& block) {
    return ocr::OT_FindTextInString(utf8.constData(), static_cast<int>(utf8.size()), &block) == 0;
}

}  // namespace

void TRec_Zdarzenia::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldInt(t, QStringLiteral("ID"), ID);
    setFieldString(t, QStringLiteral("ZD_NMR"), ZD_NMR);
    setFieldString(t, QStringLiteral("ZD_SMB"), ZD_SMB);
    setFieldDate(t, QStringLiteral("ZD_DAT"), ZD_DAT.date());
    setFieldString(t, QStringLiteral("ZD_ODB"), ZD_ODB);
    setFieldBool(t, QStringLiteral("ZD_POL"), ZD_POL);
    setFieldInt(t, QStringLiteral("ZD_DOP"), ZD_DOP);
    setFieldInt(t, QStringLiteral("ZD_ADR"), ZD_ADR);
    setFieldInt(t, QStringLiteral("ZD_TYP"), ZD_TYP);
    ZD_TRE.SaveTextToBlob(table, QStringLiteral("ZD_TRE"));
    ZD_OPIS.SaveTextToBlob(table, QStringLiteral("ZD_OPIS"));
    TOT_Record::StoreFields(table);
}

void TRec_Zdarzenia::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    ID = fieldInt(t, QStringLiteral("ID"));
    ZD_NMR = fieldString(t, QStringLiteral("ZD_NMR"));
    ZD_SMB = fieldString(t, QStringLiteral("ZD_SMB"));
    const QDate date = fieldDate(t, QStringLiteral("ZD_DAT"));
    ZD_DAT = date.isValid() ? QDateTime(date, QTime(0, 0)) : QDateTime();
    ZD_ODB = fieldString(t, QStringLiteral("ZD_ODB"));
    ZD_POL = fieldBool(t, QStringLiteral("ZD_POL"));
    ZD_DOP = fieldInt(t, QStringLiteral("ZD_DOP"));
    ZD_ADR = fieldInt(t, QStringLiteral("ZD_ADR"));
    ZD_TYP = fieldInt(t, QStringLiteral("ZD_TYP"));
    ZD_TRE.LoadTextFromBlob(table, QStringLiteral("ZD_TRE"));
    ZD_OPIS.LoadTextFromBlob(table, QStringLiteral("ZD_OPIS"));
    TOT_Record::LoadFields(table);
}

bool TRec_Zdarzenia::CzyPasuje(const QString& text) const {
    const ocr::TSearchBlock block = ocr::TSearchBlock::make(text, false);
    // Memo buffers hold their text with a terminating zero; the search stops at the zero.
    if (found(ZD_NMR.toUtf8(), block) || found(ZD_SMB.toUtf8(), block) ||
        found(ZD_ODB.toUtf8(), block) || found(ZD_TRE.Bytes(), block) ||
        found(ZD_OPIS.Bytes(), block))
        return true;
    return catalogueTable(TblPisma, "PISMA").CzyPasuje(ID, text);
}

TTbl_Zdarzenia::TTbl_Zdarzenia() : TOT_Table(QStringLiteral("ZDARZ")) {
    IDIndexName = QStringLiteral("ZDARZ_ID");
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {
            {QStringLiteral("ID"), TFieldType::Integer},
            {QStringLiteral("ZD_NMR"), TFieldType::String, 25},
            {QStringLiteral("ZD_SMB"), TFieldType::String, 25},
            {QStringLiteral("ZD_ODB"), TFieldType::String, 25},
            {QStringLiteral("ZD_DAT"), TFieldType::Date},
            {QStringLiteral("ZD_POL"), TFieldType::Boolean},
            {QStringLiteral("ZD_DOP"), TFieldType::Integer},
            {QStringLiteral("ZD_ADR"), TFieldType::Integer},
            {QStringLiteral("ZD_TRE"), TFieldType::Memo, 10},
            {QStringLiteral("ZD_OPIS"), TFieldType::Memo, 10},
            {QStringLiteral("ZD_TYP"), TFieldType::Integer},
        },
        {
            {QStringLiteral("ZDARZ_ID"), QStringLiteral("ID"), QString(), ixPrimary},
        });
}

void TTbl_Zdarzenia::UsunZdarzenie(int eventId) {
    // Both tables are needed before anything goes, so that no event loses half of what hangs
    // from it.
    TTbl_RelSprZd& links = catalogueTable(TblRelSprZd, "REL_SZD");
    TTbl_Pisma& documents = catalogueTable(TblPisma, "PISMA");
    links.UsunPowiazaniaZdarzenia(eventId);
    documents.UsunPisma(eventId);
    DeleteByID(eventId);
}

}  // namespace pulpex
