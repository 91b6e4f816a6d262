#include "planner/alarms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
        // Switched off by the user: never rings, daily or not.
        if (!r.ALR_AKT) continue;
        // A time that cannot be read is never due: it would otherwise fire at once, every time.
        if (!r.ALR_GDZ.isValid() || r.ALR_GDZ > time) continue;
        const QString key = QString::number(r.ID) + QLatin1Char('&') + TimeToStr(r.ALR_GDZ);
        if (shown_.contains(key)) continue;
        // Closed earlier today (in an earlier run): remembered, so the file is read once.
        const QString quietKey = DateToStr(now.date()) + QLatin1Char('|') + key;
        if (quiet_.contains(quietKey)) continue;
        if (dismissed(key, now.date())) {
            quiet_.append(quietKey);
            continue;
        }
        shown_.append(key);
        return r.ID;
    }
    return 0;
}

QStringList TTbl_Alarmy::dismissedLines(const QDate& day) const {
    QStringList lines;
    QFile f(dismissedFile_);
    if (dismissedFile_.isEmpty() || !f.open(QIODevice::ReadOnly)) return lines;
    const QString prefix = DateToStr(day) + QLatin1Char('\t');
    for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(prefix)) lines << line;
    return lines;
}

bool TTbl_Alarmy::dismissed(const QString& key, const QDate& day) const {
    const QString line =
        DateToStr(day) + QLatin1Char('\t') + TableFileName() + QLatin1Char('\t') + key;
    return dismissedLines(day).contains(line);
}

void TTbl_Alarmy::Dismiss(int id, const QDate& day) {
    const QString prefix = QString::number(id) + QLatin1Char('&');
    QString key;
    for (const QString& k : shown_)
        if (k.startsWith(prefix)) key = k;  // the last time it was announced
    if (key.isEmpty() || dismissedFile_.isEmpty()) return;
    // Only today's lines are worth keeping: a dated alarm is not due on another day, and a
    // daily one rings again tomorrow.
    QStringList lines = dismissedLines(day);
    const QString line =
        DateToStr(day) + QLatin1Char('\t') + TableFileName() + QLatin1Char('\t') + key;
    if (lines.contains(line)) return;
    lines << line;
    QDir().mkpath(QFileInfo(dismissedFile_).absolutePath());
    QSaveFile f(dismissedFile_);
    // Not written (a read-only home): the alarm stays quiet for this run all the same.
    if (!f.open(QIODevice::WriteOnly)) return;
    f.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    f.commit();
}

}  // namespace pulpex
