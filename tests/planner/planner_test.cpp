#include <gtest/gtest.h>

#include <QFile>
#include <cstdlib>

#include "planner/alarms.h"
#include "planner/note_dz.h"
#include "support/testenv.h"
#include "tables/fieldio.h"

namespace pulpex {
namespace {

using test::layout;

using test::TestSystem;

const QDate kToday(2024, 3, 5);

QDateTime at(const QDate& d, int h, int m, int s = 0) {
    return QDateTime(d, QTime(h, m, s));
}

int addAlarm(TTbl_Alarmy& t, const QDate& date, const QTime& time, bool daily = false) {
    TRec_Alarmy r;
    r.ALR_DAT = date;
    r.ALR_GDZ = time;
    r.ALR_CDZ = daily;
    int id = 0;
    t.OT_AddNew(id, r);
    return id;
}

class PlannerAlarms : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(alarms.CreateTableSelf());
        alarms.Open();
    }
    TestSystem env;
    TTbl_Alarmy alarms;
};

TEST(PlannerTables, FilesHaveTheSchemaInOrder) {
    TestSystem env;
    TTbl_Alarmy a;
    TTbl_Notatki n;
    ASSERT_TRUE(a.CreateTableSelf());
    ASSERT_TRUE(n.CreateTableSelf());
    a.Open();
    n.Open();
    // A time is kept as text.
    EXPECT_EQ(layout(a.T()),
              "ID:N11 ALR_DAT:D8 ALR_GDZ:C11 ALR_AKT:L1 ALR_CDZ:L1 ALR_ODC:L1 ALR_OPI:M10 "
              "| ALR_ID(ID) ALR_DAT(ALR_DAT)");
    EXPECT_EQ(layout(n.T()), "ID:N11 NT_DAT:D8 NT_ODCZ:L1 NT_OPI:M10 | NTK_ID(ID) NT_DAT(NT_DAT)");
    EXPECT_EQ(a.T().recordCount(), 0u);
    EXPECT_EQ(n.T().recordCount(), 0u);
}

TEST_F(PlannerAlarms, RecordDefaultsAndRoundTrip) {
    TRec_Alarmy fresh;
    EXPECT_TRUE(fresh.ALR_AKT);
    EXPECT_FALSE(fresh.ALR_CDZ);
    EXPECT_FALSE(fresh.ALR_ODC);
    EXPECT_EQ(fresh.ALR_GDZ.msec(), 0);
    const QDateTime made(fresh.ALR_DAT, fresh.ALR_GDZ);
    EXPECT_LE(std::abs(made.secsTo(QDateTime::currentDateTime())), 2);

    TRec_Alarmy w;
    w.ALR_DAT = kToday;
    w.ALR_GDZ = QTime(8, 5, 9);
    w.ALR_AKT = false;
    w.ALR_CDZ = true;
    w.ALR_OPI.SetText("Zadzwonić do urzędu skarbowego");
    int id = 0;
    alarms.OT_AddNew(id, w);
    ASSERT_TRUE(alarms.LocateID(id));
    EXPECT_EQ(fieldString(alarms.T(), "ALR_GDZ"), "08:05:09");
    TRec_Alarmy r;
    ASSERT_TRUE(alarms.ReadRecordByID(id, r));
    EXPECT_EQ(r.ID, id);
    EXPECT_EQ(r.ALR_DAT, kToday);
    EXPECT_EQ(r.ALR_GDZ, QTime(8, 5, 9));
    EXPECT_FALSE(r.ALR_AKT);
    EXPECT_TRUE(r.ALR_CDZ);
    EXPECT_FALSE(r.ALR_ODC);
    EXPECT_EQ(r.ALR_OPI.GetText(), "Zadzwonić do urzędu skarbowego");
}

TEST_F(PlannerAlarms, DailyAlarmOncePerRunAndAgainAfterRestart) {
    const int id = addAlarm(alarms, kToday.addDays(-30), QTime(8, 0), true);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 7, 59, 59)), 0);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 8, 0, 0)), id);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 8, 0, 3)), 0);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 17, 0)), 0);
    EXPECT_EQ(alarms.ShownAlarms(), QStringList{QString::number(id) + "&08:00:00"});
    // The filter does not stay on the table.
    EXPECT_TRUE(alarms.T().filter().empty());
    EXPECT_FALSE(alarms.T().filtered());

    TTbl_Alarmy restarted;
    restarted.Open();
    EXPECT_EQ(restarted.IsAnyAlert(at(kToday, 7, 0)), 0);
    EXPECT_EQ(restarted.IsAnyAlert(at(kToday, 8, 0, 1)), id);
    EXPECT_EQ(restarted.IsAnyAlert(at(kToday, 8, 0, 4)), 0);
}

TEST_F(PlannerAlarms, OnlyTodaysDatedAlarmsAreDue) {
    const int tomorrow = addAlarm(alarms, kToday.addDays(1), QTime(10, 0));
    const int yesterday = addAlarm(alarms, kToday.addDays(-1), QTime(10, 0));
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 23, 59, 59)), 0);
    // Each is due on its own day.
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday.addDays(1), 10, 0)), tomorrow);
    TTbl_Alarmy other;
    other.Open();
    EXPECT_EQ(other.IsAnyAlert(at(kToday.addDays(-1), 10, 0)), yesterday);
    EXPECT_EQ(alarms.T().recordCount(), 2u);
}

TEST_F(PlannerAlarms, DueAlarmsComeOneByOneInRowOrder) {
    const int first = addAlarm(alarms, kToday, QTime(9, 30));
    const int second = addAlarm(alarms, kToday, QTime(9, 0), true);
    const int later = addAlarm(alarms, kToday, QTime(11, 0));
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 10, 0)), first);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 10, 0)), second);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 10, 0)), 0);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 11, 0)), later);
}

TEST_F(PlannerAlarms, ChangedTimeIsANewAlarm) {
    const int id = addAlarm(alarms, kToday, QTime(9, 0));
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 9, 0)), id);
    TRec_Alarmy r;
    ASSERT_TRUE(alarms.ReadRecordByID(id, r));
    r.ALR_GDZ = QTime(9, 10);
    int keep = id;
    alarms.OT_AddNew(keep, r);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 9, 5)), 0);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 9, 10)), id);
}

TEST_F(PlannerAlarms, UnreadableTimeIsNeverDue) {
    const int bad = addAlarm(alarms, kToday, QTime(9, 0));
    const int good = addAlarm(alarms, kToday, QTime(9, 0));
    ASSERT_TRUE(alarms.LocateID(bad));
    alarms.T().edit();
    setFieldString(alarms.T(), "ALR_GDZ", "");
    alarms.T().post();
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 12, 0)), good);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 12, 0)), 0);
}

TEST_F(PlannerAlarms, SwitchedOffAlarmsNeverRing) {
    for (const bool daily : {false, true}) {
        TRec_Alarmy r;
        r.ALR_DAT = kToday;
        r.ALR_GDZ = QTime(8, 0);
        r.ALR_CDZ = daily;
        r.ALR_AKT = false;
        int id = 0;
        alarms.OT_AddNew(id, r);
    }
    const int on = addAlarm(alarms, kToday, QTime(8, 0), true);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 9, 0)), on);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 9, 0)), 0);
    TTbl_Alarmy tomorrow;
    tomorrow.Open();
    EXPECT_EQ(tomorrow.IsAnyAlert(at(kToday.addDays(1), 9, 0)), on);
    EXPECT_EQ(tomorrow.IsAnyAlert(at(kToday.addDays(1), 9, 0)), 0);
}

TEST_F(PlannerAlarms, ClosedAlarmsStayQuietForTheRestOfTheirDay) {
    const QString file = env.dir.path() + "/config/pulpex/zamkniete-alarmy.txt";
    const int daily = addAlarm(alarms, kToday.addDays(-7), QTime(8, 0), true);
    const int dated = addAlarm(alarms, kToday, QTime(8, 30));
    alarms.SetDismissedFile(file);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 9, 0)), daily);
    alarms.Dismiss(daily, kToday);
    EXPECT_EQ(alarms.IsAnyAlert(at(kToday, 9, 0)), dated);  // announced, never closed

    // Another run the same day: only the one not closed comes again.
    TTbl_Alarmy again;
    again.Open();
    again.SetDismissedFile(file);
    EXPECT_EQ(again.IsAnyAlert(at(kToday, 10, 0)), dated);
    again.Dismiss(dated, kToday);
    EXPECT_EQ(again.IsAnyAlert(at(kToday, 10, 0)), 0);
    // A changed time is a new alarm.
    ASSERT_TRUE(again.LocateID(daily));
    again.T().edit();
    setFieldString(again.T(), "ALR_GDZ", "09:45:00");
    again.T().post();
    EXPECT_EQ(again.IsAnyAlert(at(kToday, 10, 0)), daily);

    // The next day the daily alarm rings again; the file keeps that day only.
    TTbl_Alarmy nextDay;
    nextDay.Open();
    nextDay.SetDismissedFile(file);
    EXPECT_EQ(nextDay.IsAnyAlert(at(kToday.addDays(1), 10, 0)), daily);
    nextDay.Dismiss(daily, kToday.addDays(1));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith("2024-03-06\t")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("\t" + QString::number(daily) + "&09:45:00"));
}

TEST(PlannerNotes, NoteOfTodayOnly) {
    TestSystem env;
    TTbl_Notatki t;
    ASSERT_TRUE(t.CreateTableSelf());
    t.Open();
    EXPECT_FALSE(t.IsAnyNote(kToday));
    for (int d : {-1, 1, 365}) {
        TRec_Notatki r;
        r.NT_DAT = kToday.addDays(d);
        r.NT_OPI.SetText("Notatka");
        int id = 0;
        t.OT_AddNew(id, r);
    }
    t.SetIDIndex();
    EXPECT_FALSE(t.IsAnyNote(kToday));

    TRec_Notatki n;
    n.NT_DAT = kToday;
    n.NT_OPI.SetText("Spotkanie z wójtem o 12:00");
    int id = 0;
    t.OT_AddNew(id, n);
    EXPECT_TRUE(t.IsAnyNote(kToday));
    EXPECT_EQ(t.T().currentIndex(), "NTK_ID");  // the table keeps its own order
    EXPECT_EQ(fieldInt(t.T(), "ID"), id);

    TRec_Notatki r;
    ASSERT_TRUE(t.ReadRecordByID(id, r));
    EXPECT_EQ(r.NT_DAT, kToday);
    EXPECT_FALSE(r.NT_ODCZ);
    EXPECT_EQ(r.NT_OPI.GetText(), "Spotkanie z wójtem o 12:00");
}

}  // namespace
}  // namespace pulpex
