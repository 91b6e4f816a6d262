#include "cases/sprawy.h"

#include <exception>

#include "cases/rel_s_z.h"
#include "core/prompts.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {

void TRec_Sprawy::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldInt(t, QStringLiteral("ID"), ID);
    setFieldString(t, QStringLiteral("SP_NAZ"), SP_NAZ);
    setFieldString(t, QStringLiteral("SP_NUM"), SP_NUM);
    setFieldBool(t, QStringLiteral("SP_ZAMK"), SP_ZAMK);
    SP_OPI.SaveTextToBlob(table, QStringLiteral("SP_OPI"));
    TOT_Record::StoreFields(table);
}

void TRec_Sprawy::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    ID = fieldInt(t, QStringLiteral("ID"));
    SP_NAZ = fieldString(t, QStringLiteral("SP_NAZ"));
    SP_NUM = fieldString(t, QStringLiteral("SP_NUM"));
    SP_ZAMK = fieldBool(t, QStringLiteral("SP_ZAMK"));
    SP_OPI.LoadTextFromBlob(table, QStringLiteral("SP_OPI"));
    TOT_Record::LoadFields(table);
}

TTbl_Sprawy::TTbl_Sprawy() : TOT_Table(QStringLiteral("SPRAWY")) {
    IDIndexName = QStringLiteral("SPRAW_ID");
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {
            {QStringLiteral("ID"), TFieldType::Integer},
            {QStringLiteral("SP_NAZ"), TFieldType::String, 50},
            {QStringLiteral("SP_NUM"), TFieldType::String, 25},
            {QStringLiteral("SP_OPI"), TFieldType::Memo, 10},
            {QStringLiteral("SP_ZAMK"), TFieldType::Boolean},
        },
        {
            {QStringLiteral("SPRAW_ID"), QStringLiteral("ID"), QString(), ixPrimary},
        });
}

void TTbl_Sprawy::UsunSprawe(int caseId) {
    try {
        if (TblRelSprZd == nullptr) throw EDatabaseError("Brak tabeli REL_SZD w katalogu");
        TblRelSprZd->usunPowiazaniaSprawy(caseId);
        DeleteByID(caseId);
    } catch (const std::exception&) {
        prompts().message(Severity::Error, QStringLiteral("Błąd podczas usuwania sprawy"));
    }
}

bool TTbl_Sprawy::IstniejeNazwa(const QString& name, int exceptId) {
    QString wanted = name;
    while (wanted.endsWith(QLatin1Char(' ')))
        wanted.chop(1);
    engine::Table& t = T();
    // Names have no index: every row is compared.
    for (t.first(); !t.eof(); t.next())
        if (fieldString(t, QStringLiteral("SP_NAZ")) == wanted &&
            fieldInt(t, QStringLiteral("ID")) != exceptId)
            return true;
    return false;
}

}  // namespace pulpex
