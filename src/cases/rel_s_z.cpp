#include "cases/rel_s_z.h"

#include "tables/fieldio.h"

namespace pulpex {

namespace {

const QString kTagID = QStringLiteral("RSZ_ID");
const QString kTagPair = QStringLiteral("RSZ_IDX2");
const QString kTagEvent = QStringLiteral("ESZ_ZD");

}  // namespace

void TRec_RelSprZd::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldInt(t, QStringLiteral("ID"), ID);
    setFieldInt(t, QStringLiteral("RSZ_IDS"), RSZ_IDS);
    setFieldInt(t, QStringLiteral("ESZ_ZD"), ESZ_ZD);
    TOT_Record::StoreFields(table);
}

void TRec_RelSprZd::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    ID = fieldInt(t, QStringLiteral("ID"));
    RSZ_IDS = fieldInt(t, QStringLiteral("RSZ_IDS"));
    ESZ_ZD = fieldInt(t, QStringLiteral("ESZ_ZD"));
    TOT_Record::LoadFields(table);
}

TTbl_RelSprZd::TTbl_RelSprZd() : TOT_Table(QStringLiteral("REL_SZD")) {
    IDIndexName = kTagID;
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {
            {QStringLiteral("ID"), TFieldType::Integer},
            {QStringLiteral("RSZ_IDS"), TFieldType::Integer},
            {QStringLiteral("ESZ_ZD"), TFieldType::Integer},
        },
        {
            {kTagID, QStringLiteral("ID"), QString(), ixPrimary},
            {kTagPair, QStringLiteral("RSZ_IDS;ESZ_ZD"),
             QStringLiteral("str(RSZ_IDS) + str(ESZ_ZD)"), ixPrimary | ixExpression},
            {kTagEvent, QStringLiteral("ESZ_ZD"), QString(), 0},
        });
}

bool TTbl_RelSprZd::CzyPowiazane(int caseId, int eventId) {
    engine::Table& t = T();
    SetIndex(kTagEvent);
    // An event has few links: walk those of the event and compare the case.
    if (!t.findKey(engine::Value{std::int64_t{eventId}})) return false;
    for (; !t.eof(); t.next()) {
        if (fieldInt(t, QStringLiteral("ESZ_ZD")) != eventId) break;
        if (fieldInt(t, QStringLiteral("RSZ_IDS")) == caseId) return true;
    }
    return false;
}

void TTbl_RelSprZd::DodajPowiazanie(int caseId, int eventId) {
    AppendLock lock(T());
    if (CzyPowiazane(caseId, eventId)) return;
    TRec_RelSprZd rec;
    rec.RSZ_IDS = caseId;
    rec.ESZ_ZD = eventId;
    OT_AddNew(rec.ID, rec);
}

void TTbl_RelSprZd::deleteAll(const QString& tag, const QString& field, int value) {
    engine::Table& t = T();
    SetIndex(tag);
    // Every deletion changes the tag, so each row is looked up afresh.
    while (t.findKey(engine::Value{std::int64_t{value}})) {
        if (fieldInt(t, field) != value) break;
        t.deleteRecord();
    }
}

void TTbl_RelSprZd::usunPowiazaniaSprawy(int caseId) {
    deleteAll(kTagPair, QStringLiteral("RSZ_IDS"), caseId);
}

void TTbl_RelSprZd::UsunPowiazaniaZdarzenia(int eventId) {
    deleteAll(kTagEvent, QStringLiteral("ESZ_ZD"), eventId);
}

}  // namespace pulpex
