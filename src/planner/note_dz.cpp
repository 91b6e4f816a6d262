#include "planner/note_dz.h"

#include <string>

#include "tables/fieldio.h"

namespace pulpex {

void TRec_Notatki::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldInt(t, QStringLiteral("ID"), ID);
    setFieldDate(t, QStringLiteral("NT_DAT"), NT_DAT);
    setFieldBool(t, QStringLiteral("NT_ODCZ"), NT_ODCZ);
    NT_OPI.SaveTextToBlob(table, QStringLiteral("NT_OPI"));
    TOT_Record::StoreFields(table);
}

void TRec_Notatki::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    ID = fieldInt(t, QStringLiteral("ID"));
    NT_DAT = fieldDate(t, QStringLiteral("NT_DAT"));
    NT_ODCZ = fieldBool(t, QStringLiteral("NT_ODCZ"));
    NT_OPI.LoadTextFromBlob(table, QStringLiteral("NT_OPI"));
    TOT_Record::LoadFields(table);
}

TTbl_Notatki::TTbl_Notatki() : TOT_Table(QStringLiteral("NOTKI")) {
    IDIndexName = QStringLiteral("NTK_ID");
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {
            {"ID", TFieldType::Integer},
            {"NT_DAT", TFieldType::Date},
            {"NT_ODCZ", TFieldType::Boolean},
            {"NT_OPI", TFieldType::Memo, 10},
        },
        {{"NTK_ID", "ID", "", ixPrimary}, {"NT_DAT", "NT_DAT", "NT_DAT", 0}});
}

bool TTbl_Notatki::IsAnyNote(const QDate& today) {
    engine::Table& t = T();
    const std::string previous = t.currentIndex();
    t.setIndex("NT_DAT");
    bool found = false;
    try {
        found = t.findKey(engine::Value{toEngineDate(today)});
    } catch (...) {
        t.setIndex(previous);
        throw;
    }
    t.setIndex(previous);
    return found;
}

}  // namespace pulpex
