#include "planner/alarms.h"

#include "core/utils.h"
#include "tables/fieldio.h"

namespace pulpex {

namespace {

QTime wholeSeconds(const QTime& t) {
    return QTime(t.hour(), t.minute(), t.second());
}

}  // namespace

// ---------------------------------------------------------------- TRec_Alarmy

TRec_Alarmy::TRec_Alarmy()
    : ALR_DAT(QDate::currentDate()), ALR_GDZ(wholeSeconds(QTime::currentTime())) {}

void TRec_Alarmy::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldInt(t, QStringLiteral("ID"), ID);
    setFieldDate(t, QStringLiteral("ALR_DAT"), ALR_DAT);
    setFieldString(t, QStringLiteral("ALR_GDZ"), TimeToStr(ALR_GDZ));
    setFieldBool(t, QStringLiteral("ALR_AKT"), ALR_AKT);
    setFieldBool(t, QStringLiteral("ALR_CDZ"), ALR_CDZ);
    setFieldBool(t, QStringLiteral("ALR_ODC"), ALR_ODC);
    ALR_OPI.SaveTextToBlob(table, QStringLiteral("ALR_OPI"));
    TOT_Record::StoreFields(table);
}

void TRec_Alarmy::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    ID = fieldInt(t, QStringLiteral("ID"));
    ALR_DAT = fieldDate(t, QStringLiteral("ALR_DAT"));
    ALR_GDZ = StrToTime(fieldString(t, QStringLiteral("ALR_GDZ")));
    ALR_AKT = fieldBool(t, QStringLiteral("ALR_AKT"));
    ALR_CDZ = fieldBool(t, QStringLiteral("ALR_CDZ"));
    ALR_ODC = fieldBool(t, QStringLiteral("ALR_ODC"));
    ALR_OPI.LoadTextFromBlob(table, QStringLiteral("ALR_OPI"));
    TOT_Record::LoadFields(table);
}

// ---------------------------------------------------------------- TTbl_Alarmy

TTbl_Alarmy::TTbl_Alarmy() : TOT_Table(QStringLiteral("ALARM")) {
    IDIndexName = QStringLiteral("ALR_ID");
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {
            {"ID", TFieldType::Integer},
            {"ALR_DAT", TFieldType::Date},
            {"ALR_GDZ", TFieldType::Time},
            {"ALR_AKT", TFieldType::Boolean},
            {"ALR_CDZ", TFieldType::Boolean},
            {"ALR_ODC", TFieldType::Boolean},
            {"ALR_OPI", TFieldType::Memo, 10},
        },
        {{"ALR_ID", "ID", "", ixPrimary}, {"ALR_DAT", "ALR_DAT", "ALR_DAT", 0}});
}

int TTbl_Alarmy::IsAnyAlert(const QDateTime& now) {
    engine::Table& t = T();
    const QTime time = now.time();

    // Whatever happens during the walk, the table is left unfiltered for the windows.
    struct FilterOff {
        engine::Table& t;
        ~FilterOff() {
            try {
                t.setFilter("");
                t.setFiltered(false);
            } catch (const EDatabaseError&) {
            }
        }
    };

    t.setFilter(u8(QStringLiteral("ALR_DAT=") + DateToStr(now.date()) +
                   QStringLiteral(" or ALR_CDZ = 'TRUE' ")));
    FilterOff off{t};
    for (t.first(); !t.eof(); t.next()) {
        TRec_Alarmy r;
        r.LoadFields(*this);
        // A time that cannot be read is never due: it would otherwise fire at once, every time.
        if (!r.ALR_GDZ.isValid() || r.ALR_GDZ > time) continue;
        const QString key = QString::number(r.ID) + QLatin1Char('&') + TimeToStr(r.ALR_GDZ);
        if (shown_.contains(key)) continue;
        shown_.append(key);
        return r.ID;
    }
    return 0;
}

}  // namespace pulpex
