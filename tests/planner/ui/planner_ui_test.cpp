#include <gtest/gtest.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <functional>
#include <set>

#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/utils.h"
#include "planner/alarms.h"
#include "planner/note_dz.h"
#include "planner/ui/alarm_check.h"
#include "planner/ui/d_budzik.h"
#include "planner/ui/d_n_bud.h"
#include "planner/ui/w_kaled.h"
#include "planner/ui/w_plan.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/widgets.h"

namespace pulpex {
namespace {

using test::ModalScript;

using test::child;
using test::click;
using test::clickRow;
using test::typeText;

// Lets the event loop run until `done` holds or `ms` have passed.
bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
    for (int waited = 0; !done() && waited < ms; waited += 5)
        QTest::qWait(5);
    return done();
}

// The grid's own view inside a QCalendarWidget, which takes the keys.
QWidget* calendarView(QCalendarWidget* c) {
    auto* v = c->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"));
    EXPECT_NE(v, nullptr);
    return v;
}

// A full installation with the catalogue open; the prompts are answered by a script.
class Planner : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(inst.ok); }

    int addAlarm(const QDate& date, const QTime& time, bool daily = false,
                 const QString& text = QString()) {
        TRec_Alarmy r;
        r.ALR_DAT = date;
        r.ALR_GDZ = time;
        r.ALR_CDZ = daily;
        r.ALR_OPI.SetText(text);
        int id = 0;
        TblAlarmy->OT_AddNew(id, r);
        return id;
    }
    int addNote(const QDate& date, const QString& text = QString()) {
        TRec_Notatki n;
        n.NT_DAT = date;
        n.NT_OPI.SetText(text);
        int id = 0;
        TblNotatki->OT_AddNew(id, n);
        return id;
    }
    static int alarmCount() {
        engine::Table& t = TblAlarmy->T();
        int n = 0;
        for (t.first(); !t.eof(); t.next())
            ++n;
        return n;
    }
    static bool alarmExists(int id) { return TblAlarmy->LocateID(id); }
    static TRec_Alarmy alarm(int id) {
        TRec_Alarmy r;
        EXPECT_TRUE(TblAlarmy->ReadRecordByID(id, r)) << id;
        return r;
    }
    // The ID of the newest alarm.
    static int lastAlarmID() {
        engine::Table& t = TblAlarmy->T();
        int id = 0;
        for (t.first(); !t.eof(); t.next())
            id = std::max(id, static_cast<int>(t.asInteger("ID")));
        return id;
    }
    // Restarts the program on the same installation: a new catalogue, a new run.
    void restart() {
        inst.sys.reset();
        inst.sys = std::make_unique<TPulpex_System>(inst.env.mainDir());
        inst.sys->probeDir = inst.env.dir.path();
        ASSERT_TRUE(inst.sys->CheckTables());
    }
    ScriptedPrompts& prompts() { return inst.env.prompts; }

    test::TestInstallation inst;
};

// ====================================================================== the date picker

TEST_F(Planner, DatePickerWithoutYearChangeStaysWithinTheYear) {
    TKalendarz k;
    k.Setup(true, false, QDate(2024, 1, 15));
    k.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&k));
    EXPECT_EQ(k.Calendar1->objectName(), "Calendar1");
    EXPECT_EQ(k.Calendar1->firstDayOfWeek(), Qt::Sunday);
    EXPECT_EQ(k.Label1->text(), "2024");
    EXPECT_EQ(k.Label2->text(), "Styczeń");
    EXPECT_EQ(k.Label4->text(), "15 stycznia 2024");
    QStringList heads;
    for (QLabel* l : k.findChildren<QLabel*>(QRegularExpression("^lbDzien")))
        heads << l->text();
    EXPECT_EQ(heads, (QStringList{"Nie", "Pon", "Wto", "Śro", "Czw", "Pią", "Sob"}));
    EXPECT_FALSE(k.BitBtn1->isEnabled());
    EXPECT_FALSE(k.BitBtn4->isEnabled());
    EXPECT_EQ(k.BitBtn2->toolTip(), "Poprzedni miesiąc");

    // "Poprzedni miesiąc" in January, and the grid's own keys, stay in January.
    k.BitBtn2->click();
    EXPECT_EQ(k.SelectedDate(), QDate(2024, 1, 15));
    EXPECT_EQ(k.Label2->text(), "Styczeń");
    QWidget* view = calendarView(k.Calendar1);
    QTest::keyClick(view, Qt::Key_PageUp);
    EXPECT_EQ(k.SelectedDate().month(), 1);
    EXPECT_EQ(k.SelectedDate().year(), 2024);
    k.Calendar1->setSelectedDate(QDate(2024, 1, 1));
    QTest::keyClick(view, Qt::Key_Left);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(k.SelectedDate(), QDate(2024, 1, 1));
    EXPECT_EQ(k.Calendar1->yearShown(), 2024);

    // The same at December's end; within the year the buttons move by a month.
    k.Calendar1->setSelectedDate(QDate(2024, 12, 31));
    EXPECT_EQ(k.Label2->text(), "Grudzień");
    EXPECT_EQ(k.Label4->text(), "31 grudnia 2024");
    k.BitBtn3->click();
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_PageDown);
    EXPECT_EQ(k.SelectedDate(), QDate(2024, 12, 31));
    k.BitBtn2->click();
    EXPECT_EQ(k.SelectedDate(), QDate(2024, 11, 30));
    EXPECT_EQ(k.Label2->text(), "Listopad");

    // With year change the view leaves the year.
    k.Setup(true, true, QDate(2024, 1, 31));
    EXPECT_TRUE(k.BitBtn1->isEnabled());
    k.BitBtn2->click();
    EXPECT_EQ(k.SelectedDate(), QDate(2023, 12, 31));
    EXPECT_EQ(k.Label1->text(), "2023");
    k.BitBtn4->click();
    EXPECT_EQ(k.SelectedDate(), QDate(2024, 12, 31));
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(k.SelectedDate(), QDate(2025, 1, 1));
    EXPECT_EQ(k.Label1->text(), "2025");
}

TEST_F(Planner, DatePickerCancelGivesTheStartDateAndOkTheChosenOne) {
    const QDate start(2024, 3, 5);
    ModalScript script;
    script.then([](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Kalendarz");
        click(w, "BitBtn3");
        click(w, "BitBtn6");
    });
    EXPECT_EQ(WybierzDate(nullptr, true, false, start), start);

    script.then([](QWidget* w) {
        click(w, "BitBtn3");
        QTest::keyClick(calendarView(child<QCalendarWidget>(w, "Calendar1")), Qt::Key_Right);
        click(w, "btnOK");
    });
    EXPECT_EQ(WybierzDate(nullptr, true, false, start), QDate(2024, 4, 6));

    // Escape cancels when "Anuluj" is there.
    script.then([](QWidget* w) {
        click(w, "BitBtn4");
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(WybierzDate(nullptr, true, true, start), start);

    // Without "Anuluj": the wide "&OK", Escape does nothing, Enter on the grid is OK.
    bool hidden = false, stillOpen = false;
    int okWidth = 0;
    script.then([&](QWidget* w) {
        hidden = !child<QPushButton>(w, "BitBtn6")->isVisible();
        okWidth = child<QPushButton>(w, "btnOK")->width();
        QWidget* view = calendarView(child<QCalendarWidget>(w, "Calendar1"));
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(w, Qt::Key_Escape);
        stillOpen = w->isVisible();
        QTest::keyClick(view, Qt::Key_Return);
    });
    EXPECT_EQ(WybierzDate(nullptr, false, true, start), QDate(2024, 3, 12));
    EXPECT_TRUE(hidden);
    EXPECT_EQ(okWidth, 163);
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(script.done());
}

// ====================================================================== "Nowy alarm"

TEST_F(Planner, NewAlarmCancelledStoresNothingAndOkStoresTheRow) {
    const int before = alarmCount();
    const QDate day(2024, 3, 5);
    ModalScript script;
    QTime shownTime;
    script.then([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Nowy alarm");
        auto* t = child<QTimeEdit>(w, "editTime");
        EXPECT_EQ(t->displayFormat(), "HH:mm");
        shownTime = t->time();
        child<QPlainTextEdit>(w, "Memo1")->setPlainText("Nie zapisywać");
        click(w, "btnCancel");
    });
    EXPECT_EQ(NowyAlarm(nullptr, day), 0);
    EXPECT_EQ(alarmCount(), before);
    EXPECT_LE(std::abs(shownTime.secsTo(QTime::currentTime())), 120);
    EXPECT_EQ(shownTime.second(), 0);

    script.then([](QWidget* w) {
        EXPECT_TRUE(child<QCheckBox>(w, "chbAktywny")->isChecked());
        EXPECT_FALSE(child<QCheckBox>(w, "chbCodzien")->isChecked());
        child<QTimeEdit>(w, "editTime")->setTime(QTime(7, 30));
        child<QPlainTextEdit>(w, "Memo1")
            ->setPlainText("Zadzwonić do pani Wójcik\nw sprawie źródła");
        child<QCheckBox>(w, "chbAktywny")->setChecked(false);
        child<QCheckBox>(w, "chbCodzien")->setChecked(true);
        click(w, "btnOK");
    });
    EXPECT_EQ(NowyAlarm(nullptr, day), 1);
    ASSERT_EQ(alarmCount(), before + 1);
    const TRec_Alarmy r = alarm(lastAlarmID());
    EXPECT_EQ(r.ALR_DAT, day);
    EXPECT_EQ(r.ALR_GDZ, QTime(7, 30));
    EXPECT_FALSE(r.ALR_AKT);
    EXPECT_TRUE(r.ALR_CDZ);
    EXPECT_FALSE(r.ALR_ODC);
    EXPECT_EQ(r.ALR_OPI.GetText(), "Zadzwonić do pani Wójcik\nw sprawie źródła");
    EXPECT_TRUE(prompts().shown().empty());
}

TEST_F(Planner, NewAlarmKeepsATextTheTableCannotHoldUntilTheUserDecides) {
    const int before = alarmCount();
    ModalScript script;
    bool stayed = false;
    QString kept;
    script.then([&](QWidget* w) {
        auto* memo = child<QPlainTextEdit>(w, "Memo1");
        memo->setPlainText("Bałwan ☃\nzadzwonić do p. Жукова");
        // "Nie": back to the text, nothing stored.
        prompts().setNextAnswer(Answer::No);
        click(w, "btnOK");
        stayed = w->isVisible();
        kept = memo->toPlainText();
        // "Tak": the look-alikes are stored.
        prompts().setNextAnswer(Answer::Yes);
        click(w, "btnOK");
    });
    EXPECT_EQ(NowyAlarm(nullptr, QDate(2024, 3, 5)), 1);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(kept, "Bałwan ☃\nzadzwonić do p. Жукова");
    ASSERT_EQ(prompts().shown().size(), 2u);
    EXPECT_TRUE(prompts().shown()[0].text.startsWith(
        "Tekst alarmu zawiera znaki, których nie można zapisać w bazie danych:\r\n"
        "„☃” (emotikona) – zamiana na „?”\r\n"
        "„Ж” (cyrylica) – zamiana na „Ż”\r\n"));
    ASSERT_EQ(alarmCount(), before + 1);
    EXPECT_EQ(alarm(lastAlarmID()).ALR_OPI.GetText(), "Bałwan ?\nzadzwonić do p. Żukowa");
}

TEST_F(Planner, NewAlarmThatCannotBeStoredStaysOpenWithItsText) {
    const int before = alarmCount();
    TblAlarmy->Close();
    ModalScript script;
    bool stayed = false;
    script.then([&](QWidget* w) {
        child<QPlainTextEdit>(w, "Memo1")->setPlainText("Poczta");
        click(w, "btnOK");
        stayed = w->isVisible() && child<QPlainTextEdit>(w, "Memo1")->toPlainText() == "Poczta";
        click(w, "btnCancel");
    });
    EXPECT_EQ(NowyAlarm(nullptr, QDate(2024, 3, 5)), 0);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(prompts().texts(),
              QStringList{"Nie udało się zapisać alarmu.\r\nTabela alarmów nie jest otwarta."});
    TblAlarmy->Open();
    EXPECT_EQ(alarmCount(), before);
}

// ====================================================================== "Zegarek"

TEST_F(Planner, ZegarekStoresTheChangesOrDeletesTheAlarm) {
    const QDate today = QDate::currentDate();
    const int kept = addAlarm(today, QTime(8, 0), false, "Poczta");
    const int gone = addAlarm(today, QTime(9, 0), false, "Narada");
    ModalScript script;
    QString shownTime, shownText, deleteCaption;
    int beepsOnShow = -1;
    script.then([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Zegarek");
        beepsOnShow = prompts().beeps;
        shownTime = child<QLabel>(w, "DBText1")->text();
        shownText = child<QPlainTextEdit>(w, "DBMemo1")->toPlainText();
        auto* aktywnosc = child<QCheckBox>(w, "DBCheckBox1");
        EXPECT_EQ(aktywnosc->text(), "&Aktywność");
        EXPECT_TRUE(aktywnosc->isChecked());
        aktywnosc->click();
        child<QCheckBox>(w, "DBCheckBox2")->click();
        child<QPlainTextEdit>(w, "DBMemo1")->setPlainText("Poczta — odebrać list polecony");
        deleteCaption = child<QCheckBox>(w, "CheckBox1")->text();
        click(w, "BitBtn1");
    });
    PokazAlarm(nullptr, kept);
    EXPECT_EQ(beepsOnShow, Td_notatka::kBeeps);
    EXPECT_EQ(shownTime, "08:00:00");
    EXPECT_EQ(shownText, "Poczta");
    EXPECT_EQ(deleteCaption, "&Usuń notatkę z bazy");
    TRec_Alarmy r = alarm(kept);
    EXPECT_FALSE(r.ALR_AKT);
    EXPECT_TRUE(r.ALR_CDZ);
    EXPECT_EQ(r.ALR_OPI.GetText(), "Poczta — odebrać list polecony");

    script.then([](QWidget* w) {
        child<QCheckBox>(w, "CheckBox1")->setChecked(true);
        click(w, "BitBtn1");
    });
    PokazAlarm(nullptr, gone);
    EXPECT_FALSE(alarmExists(gone));

    // A text the table cannot hold keeps "Zegarek" open with the text, until it is put right.
    bool stayed = false;
    script.then([&](QWidget* w) {
        auto* memo = child<QPlainTextEdit>(w, "DBMemo1");
        memo->setPlainText("Bałwan ☃");
        click(w, "BitBtn1");
        stayed = w->isVisible();
        memo->setPlainText("Bałwan");
        click(w, "BitBtn1");
    });
    PokazAlarm(nullptr, kept);
    EXPECT_TRUE(stayed);
    EXPECT_FALSE(prompts().shown().empty());
    EXPECT_EQ(alarm(kept).ALR_OPI.GetText(), "Bałwan");
    EXPECT_TRUE(alarmExists(kept));
    EXPECT_TRUE(alarm(kept).ALR_CDZ);  // the other alarm untouched

    // Or the characters are replaced, and the rest of the text stays as typed.
    script.then([&](QWidget* w) {
        child<QPlainTextEdit>(w, "DBMemo1")->setPlainText("Bałwan ☃\ni śnieg");
        prompts().setNextAnswer(Answer::Yes);
        click(w, "BitBtn1");
    });
    PokazAlarm(nullptr, kept);
    EXPECT_EQ(alarm(kept).ALR_OPI.GetText(), "Bałwan ?\ni śnieg");
    EXPECT_TRUE(script.done());
}

TEST_F(Planner, ZegarekBeepsAgainOnItsTimerAndNeverAfterClosing) {
    const int id = addAlarm(QDate::currentDate(), QTime(8, 0));
    ModalScript script;
    int interval = 0;
    bool repeated = false;
    script.then([&](QWidget* w) {
        auto* t = child<QTimer>(w, "Timer1");
        interval = t->interval();
        EXPECT_TRUE(t->isActive());
        t->setInterval(10);
        repeated = waitUntil([&] { return prompts().beeps >= 3 * Td_notatka::kBeeps; });
        // Beeps come in whole announcements.
        EXPECT_EQ(prompts().beeps % Td_notatka::kBeeps, 0);
        click(w, "BitBtn1");
    });
    PokazAlarm(nullptr, id);
    EXPECT_EQ(interval, 3000);
    EXPECT_TRUE(repeated);
    const int atClose = prompts().beeps;
    QTest::qWait(60);
    EXPECT_EQ(prompts().beeps, atClose);

    // Closed by Escape too.
    prompts().beeps = 0;
    script.then([&](QWidget* w) {
        child<QTimer>(w, "Timer1")->setInterval(10);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    PokazAlarm(nullptr, id);
    const int afterEscape = prompts().beeps;
    QTest::qWait(60);
    EXPECT_EQ(prompts().beeps, afterEscape);
    EXPECT_TRUE(alarmExists(id));
}

// ====================================================================== the alarm check

// Records what the check does with the sound: there is no audio device to listen to.
class RecordingSound : public TAlarmSound {
  public:
    explicit RecordingSound(QStringList& log, bool opens = true) : log_(log), opens_(opens) {}
    bool Open(const QString& file) override {
        log_ << "open " + QFileInfo(file).fileName();
        return opens_;
    }
    void Play() override { log_ << "play"; }
    void Stop() override { log_ << "stop"; }

  private:
    QStringList& log_;
    bool opens_;
};

struct Shown {
    int id = 0;
    bool timerActive = true;
    QString lastSound;
};

// Closes every "Zegarek" that opens, noting which alarm it showed and what ran around it.
void closeEach(ModalScript& script, int n, std::vector<Shown>& shown, TAlarmCheck& check,
               const QStringList& log, const std::function<void()>& extra = {}) {
    for (int i = 0; i < n; ++i)
        script.then([&, extra](QWidget* w) {
            auto* z = qobject_cast<Td_notatka*>(w);
            ASSERT_NE(z, nullptr);
            shown.push_back({static_cast<int>(z->tAlarmy->AsInteger("ID")),
                             check.timer()->isActive(), log.value(log.size() - 1)});
            if (extra) extra();
            z->BitBtn1->click();
        });
}

TEST_F(Planner, AlarmCheckShowsEachDueAlarmOnceOneAfterAnother) {
    const QDate today = QDate::currentDate();
    const int a = addAlarm(today, QTime(8, 0), false, "pierwszy");
    const int b = addAlarm(today, QTime(9, 30), false, "drugi");
    const int later = addAlarm(today, QTime(11, 0));
    const int tomorrow = addAlarm(today.addDays(1), QTime(8, 0));
    const int daily = addAlarm(today.addDays(-3), QTime(9, 0), true);
    const int yesterday = addAlarm(today.addDays(-1), QTime(7, 0));

    QWidget owner;
    TAlarmCheck check(&owner);
    QStringList log;
    check.SetSound(std::make_unique<RecordingSound>(log));
    QDateTime now(today, QTime(10, 0));
    check.SetClock([&] { return now; });
    EXPECT_EQ(check.timer()->interval(), 3000);
    EXPECT_FALSE(check.timer()->isActive());

    ModalScript script;
    std::vector<Shown> shown;
    int dialogsAtReentry = -1;
    closeEach(script, 3, shown, check, log, [&] {
        // A check asked for while one runs does nothing.
        const std::size_t before = shown.size();
        check.CheckAlarms();
        dialogsAtReentry = static_cast<int>(shown.size() - before);
    });
    check.CheckAlarms();
    ASSERT_EQ(shown.size(), 3u);
    std::set<int> ids;
    for (const Shown& s : shown) {
        ids.insert(s.id);
        EXPECT_FALSE(s.timerActive);
        EXPECT_EQ(s.lastSound, "play");
    }
    EXPECT_EQ(ids, (std::set<int>{a, b, daily}));
    EXPECT_EQ(dialogsAtReentry, 0);
    EXPECT_EQ(log, (QStringList{"open alarm.wav", "play", "stop", "open alarm.wav", "play", "stop",
                                "open alarm.wav", "play", "stop"}));
    EXPECT_TRUE(check.timer()->isActive());
    EXPECT_FALSE(check.Checking());

    // Nothing again in this run, however often the timer ticks; the 11:00 alarm when it is due.
    check.timer()->setInterval(5);
    shown.clear();
    closeEach(script, 1, shown, check, log);
    QTest::qWait(50);
    EXPECT_TRUE(shown.empty());
    now = QDateTime(today, QTime(11, 0));
    ASSERT_TRUE(waitUntil([&] { return !shown.empty(); }));
    EXPECT_EQ(shown[0].id, later);
    check.timer()->stop();
    ASSERT_TRUE(waitUntil([&] { return !check.Checking(); }));

    // Tomorrow's alarm comes tomorrow; the one of yesterday never.
    shown.clear();
    now = QDateTime(today.addDays(1), QTime(8, 1));
    closeEach(script, 1, shown, check, log);
    check.CheckAlarms();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].id, tomorrow);
    EXPECT_NE(shown[0].id, yesterday);
    check.timer()->stop();
}

TEST_F(Planner, AClosedAlarmStaysQuietAfterARestartAndADailyOneRingsTheNextDay) {
    const QDate today = QDate::currentDate();
    const int daily = addAlarm(today.addDays(-10), QTime(8, 0), true);
    const int dated = addAlarm(today, QTime(8, 30));
    QWidget owner;
    QStringList log;
    std::vector<Shown> shown;
    ModalScript script;
    QDateTime now(today, QTime(9, 0));
    const auto run = [&](int dialogs) {
        TAlarmCheck check(&owner);
        check.SetSound(std::make_unique<RecordingSound>(log));
        check.SetClock([&] { return now; });
        closeEach(script, dialogs, shown, check, log);
        check.CheckAlarms();
        check.timer()->stop();
    };
    run(2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ((std::set<int>{shown[0].id, shown[1].id}), (std::set<int>{daily, dated}));

    // The same day, another start: both were closed by the user, neither rings.
    restart();
    now = QDateTime(today, QTime(12, 0));
    run(0);
    EXPECT_EQ(shown.size(), 2u);
    // An alarm not yet closed rings all the same.
    const int later = addAlarm(today, QTime(11, 0));
    run(1);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[2].id, later);

    // The next day the daily one rings again.
    restart();
    now = QDateTime(today.addDays(1), QTime(8, 1));
    run(1);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[3].id, daily);
}

TEST_F(Planner, AnAlarmSwitchedOffInZegarekNeverRingsAgain) {
    const QDate today = QDate::currentDate();
    const int daily = addAlarm(today.addDays(-3), QTime(8, 0), true, "Poczta");
    QWidget owner;
    QStringList log;
    ModalScript script;
    std::vector<Shown> shown;
    QDateTime now(today, QTime(8, 5));
    {
        TAlarmCheck check(&owner);
        check.SetSound(std::make_unique<RecordingSound>(log));
        check.SetClock([&] { return now; });
        closeEach(script, 1, shown, check, log, [&] {
            auto* z = qobject_cast<Td_notatka*>(QApplication::activeModalWidget());
            z->DBCheckBox1->click();  // "&Aktywność" off
        });
        check.CheckAlarms();
        check.timer()->stop();
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(alarm(daily).ALR_AKT);
    // Not tomorrow either, nor in another run.
    restart();
    now = QDateTime(today.addDays(1), QTime(8, 5));
    TAlarmCheck check(&owner);
    check.SetSound(std::make_unique<RecordingSound>(log));
    check.SetClock([&] { return now; });
    check.CheckAlarms();
    check.timer()->stop();
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(Planner, AlarmCheckGoesOnWithoutASoundAndAfterAnError) {
    const QDate today = QDate::currentDate();
    const int first = addAlarm(today, QTime(8, 0));
    QWidget owner;
    TAlarmCheck check(&owner);
    QStringList log;
    // A sound that cannot be opened is not played, and the alarm is shown all the same.
    check.SetSound(std::make_unique<RecordingSound>(log, false));
    check.SetClock([&] { return QDateTime(today, QTime(12, 0)); });
    ModalScript script;
    std::vector<Shown> shown;
    closeEach(script, 1, shown, check, log);
    check.CheckAlarms();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].id, first);
    EXPECT_EQ(log, (QStringList{"open alarm.wav", "stop"}));

    // A row locked elsewhere: the post after "Zegarek" fails, the error is shown, the sound
    // stops and the check runs on.
    const int locked = addAlarm(today, QTime(9, 0));
    auto other = engine::Table::open((inst.env.dataDir() + "ALARM.DBF").toStdString());
    for (other->first(); !other->eof() && other->asInteger("ID") != locked; other->next()) {
    }
    ASSERT_FALSE(other->eof());
    other->edit();
    log.clear();
    check.SetSound(std::make_unique<RecordingSound>(log));
    closeEach(script, 1, shown, check, log);
    check.CheckAlarms();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].id, locked);
    EXPECT_EQ(log, (QStringList{"open alarm.wav", "play", "stop"}));
    EXPECT_FALSE(prompts().shown().empty());
    EXPECT_TRUE(check.timer()->isActive());
    EXPECT_FALSE(check.Checking());
    other->cancel();
    check.timer()->stop();
}

// A minimal PCM file: a tenth of a second of silence.
void writeSilence(const QString& path) {
    const int rate = 22050, samples = rate / 10, bytes = samples * 2;
    QByteArray d;
    auto le32 = [&d](quint32 v) {
        for (int i = 0; i < 4; ++i)
            d.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto le16 = [&d](quint16 v) {
        d.append(static_cast<char>(v & 0xFF));
        d.append(static_cast<char>(v >> 8));
    };
    d.append("RIFF");
    le32(36 + bytes);
    d.append("WAVEfmt ");
    le32(16);
    le16(1);
    le16(1);
    le32(rate);
    le32(rate * 2);
    le16(2);
    le16(16);
    d.append("data");
    le32(bytes);
    d.append(QByteArray(bytes, '\0'));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(d);
}

TEST_F(Planner, AlarmSoundWithoutADeviceNeitherHangsNorCrashes) {
    TSoundEffectAlarm sound;
    EXPECT_FALSE(sound.Open(inst.env.mainDir() + "alarm.wav"));  // not there
    sound.Play();
    sound.Stop();
    writeSilence(inst.env.mainDir() + "alarm.wav");
    EXPECT_TRUE(sound.Open(inst.env.mainDir() + "alarm.wav"));
    sound.Play();
    QTest::qWait(20);
    sound.Stop();

    // The real sound around a real "Zegarek", with and without the file.
    const int id = addAlarm(QDate::currentDate(), QTime(0, 0));
    QWidget owner;
    TAlarmCheck check(&owner);
    EXPECT_EQ(TAlarmCheck::SoundFile(), inst.env.mainDir() + "alarm.wav");
    ModalScript script;
    std::vector<Shown> shown;
    QStringList none;
    closeEach(script, 1, shown, check, none);
    check.CheckAlarms();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].id, id);
    QFile::remove(inst.env.mainDir() + "alarm.wav");
    restart();
    const int second = addAlarm(QDate::currentDate(), QTime(0, 0));
    TAlarmCheck fresh(&owner);
    closeEach(script, 1, shown, fresh, none);
    fresh.CheckAlarms();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].id, second);
    fresh.timer()->stop();
    check.timer()->stop();
}

// ====================================================================== the plan window

class PlannerPlan : public Planner {
  protected:
    void open(const QDate& day) {
        w = std::make_unique<Tokno_plan>();
        w->SetDate(day);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    std::unique_ptr<Tokno_plan> w;
};

TEST_F(PlannerPlan, DayWithoutANoteOffersOnlyTheNewNote) {
    const QDate day(2024, 3, 5);
    const int dailyElsewhere = addAlarm(QDate(2024, 2, 1), QTime(8, 0), true, "codzienny");
    addAlarm(QDate(2024, 3, 6), QTime(8, 0), false, "inny dzień");
    addNote(QDate(2024, 3, 6), "jutro");
    open(day);
    EXPECT_EQ(w->windowTitle(), "Terminarz");
    EXPECT_EQ(w->Label4->text(), "5 marca 2024");
    EXPECT_EQ(w->Label2->text(), "Marzec");
    EXPECT_EQ(w->tableNotatki->Filter(), "NT_DAT=2024-03-05");
    EXPECT_TRUE(w->btnAddNote->isVisible());
    EXPECT_EQ(w->btnAddNote->text(), "&Utwórz notatkę w na powyższą datę");
    EXPECT_FALSE(w->btnDeleteNote->isVisible());
    EXPECT_FALSE(w->DBMemo1->isVisible());
    EXPECT_FALSE(w->btnNewAlarm->isEnabled());
    EXPECT_FALSE(w->chbCheckAtStartup->isVisible());
    EXPECT_EQ(test::child<QPushButton>(w.get(), "btnAdresy")->toolTip(), "Baza adresów");
    // The daily alarm is listed on any day.
    EXPECT_EQ(w->tableAlarmy->RecordCount(), 1);
    EXPECT_EQ(w->tableAlarmy->AsInteger("ID"), dailyElsewhere);
    EXPECT_TRUE(w->btnDeleteAlarm->isEnabled());
    EXPECT_TRUE(w->DBMemo2->isVisible());

    w->btnAddNote->click();
    ASSERT_TRUE(TblNotatki->IsAnyNote(day));
    EXPECT_FALSE(w->btnAddNote->isVisible());
    EXPECT_TRUE(w->btnDeleteNote->isVisible());
    EXPECT_TRUE(w->DBMemo1->isVisible());
    EXPECT_TRUE(w->btnNewAlarm->isEnabled());
    EXPECT_EQ(w->tableNotatki->AsDate("NT_DAT"), day);
    EXPECT_EQ(w->tableAlarmy->Filter(), "ALR_DAT=2024-03-05 or ALR_CDZ = 'TRUE' ");

    // An alarm for the day through "Nowy alarm"; it is listed at once.
    ModalScript script;
    script.then([](QWidget* d) {
        child<QTimeEdit>(d, "editTime")->setTime(QTime(10, 15));
        child<QPlainTextEdit>(d, "Memo1")->setPlainText("Spotkanie w urzędzie");
        click(d, "btnOK");
    });
    w->btnNewAlarm->click();
    EXPECT_TRUE(script.done());
    EXPECT_EQ(w->tableAlarmy->RecordCount(), 2);
    const TRec_Alarmy r = alarm(lastAlarmID());
    EXPECT_EQ(r.ALR_DAT, day);
    EXPECT_EQ(r.ALR_GDZ, QTime(10, 15));

    // Another day: the view follows; the month buttons move the day.
    w->Calendar2->setSelectedDate(QDate(2024, 3, 6));
    EXPECT_TRUE(w->btnDeleteNote->isVisible());
    EXPECT_EQ(w->tableAlarmy->RecordCount(), 2);  // that day's and the daily one
    w->btnNextMonth->click();
    EXPECT_EQ(w->ChosenDate(), QDate(2024, 4, 6));
    EXPECT_EQ(w->Label2->text(), "Kwiecień");
    EXPECT_TRUE(w->btnAddNote->isVisible());
    w->btnClose->click();
    EXPECT_FALSE(w->isVisible());
}

TEST_F(PlannerPlan, DeletingTheNoteRemovesTheAlarmsOfItsDayOnly) {
    const QDate day(2024, 3, 5);
    addNote(day, "notatka");
    const int ofDay = addAlarm(day, QTime(9, 0));
    const int dailyOfDay = addAlarm(day, QTime(10, 0), true);
    const int dailyElsewhere = addAlarm(QDate(2024, 1, 2), QTime(8, 0), true);
    const int otherDay = addAlarm(QDate(2024, 3, 7), QTime(8, 0));
    open(day);
    EXPECT_EQ(w->tableAlarmy->RecordCount(), 3);
    w->btnDeleteNote->click();
    EXPECT_TRUE(prompts().shown().empty());  // no question
    EXPECT_FALSE(TblNotatki->IsAnyNote(day));
    EXPECT_FALSE(alarmExists(ofDay));
    EXPECT_FALSE(alarmExists(dailyOfDay));
    EXPECT_TRUE(alarmExists(dailyElsewhere));
    EXPECT_TRUE(alarmExists(otherDay));
    EXPECT_TRUE(w->btnAddNote->isVisible());
    EXPECT_FALSE(w->btnNewAlarm->isEnabled());
    EXPECT_EQ(w->tableAlarmy->RecordCount(), 1);

    // "U&suń" deletes the current alarm, without a question.
    w->btnDeleteAlarm->click();
    EXPECT_FALSE(alarmExists(dailyElsewhere));
    EXPECT_TRUE(prompts().shown().empty());
    EXPECT_FALSE(w->btnDeleteAlarm->isEnabled());
    EXPECT_FALSE(w->DBMemo2->isVisible());
    EXPECT_FALSE(w->dbchbAktywny->isVisible());
}

TEST_F(PlannerPlan, PendingEditsArePostedWhenTheWindowIsLeft) {
    const QDate day(2024, 3, 5);
    const int note = addNote(day, "stara treść");
    const int a = addAlarm(day, QTime(9, 0));
    open(day);
    w->DBMemo1->setPlainText("Nowa treść — zażółć gęślą jaźń");
    w->dbchbAktywny->click();
    w->btnClose->click();
    TRec_Notatki n;
    ASSERT_TRUE(TblNotatki->ReadRecordByID(note, n));
    EXPECT_EQ(n.NT_OPI.GetText(), "Nowa treść — zażółć gęślą jaźń");
    EXPECT_FALSE(alarm(a).ALR_AKT);

    // A text the table cannot hold keeps the window open with the text.
    open(day);
    w->DBMemo1->setPlainText("Bałwan ☃");
    w->btnClose->click();
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(prompts().shown().empty());
    w->DBMemo1->setPlainText("Bałwan");
    w->btnClose->click();
    EXPECT_FALSE(w->isVisible());
    ASSERT_TRUE(TblNotatki->ReadRecordByID(note, n));
    EXPECT_EQ(n.NT_OPI.GetText(), "Bałwan");
}

TEST_F(PlannerPlan, ANoteTheTableCannotHoldStaysWithItsDayUntilTheUserDecides) {
    const QDate day(2024, 3, 5);
    const int note = addNote(day, "Zebranie");
    addNote(QDate(2024, 3, 6), "Inny dzień");
    open(day);
    w->DBMemo1->setFocus();
    w->DBMemo1->moveCursor(QTextCursor::End);
    for (const QString line : {"z p. Жуковым ☃", "sala 2"}) {
        QTest::keyClick(w->DBMemo1, Qt::Key_Return);
        typeText(w->DBMemo1, line);
    }
    const QString typed = "Zebranie\nz p. Жуковым ☃\nsala 2";
    ASSERT_EQ(w->DBMemo1->toPlainText(), typed);

    // "Nie": the day stays, with every line typed; the stored note is untouched.
    prompts().setNextAnswer(Answer::No);
    w->Calendar2->setSelectedDate(QDate(2024, 3, 6));
    EXPECT_EQ(w->ChosenDate(), day);
    EXPECT_EQ(w->Label4->text(), "5 marca 2024");
    EXPECT_EQ(w->DBMemo1->toPlainText(), typed);
    EXPECT_TRUE(w->tableNotatki->Editing());
    prompts().setNextAnswer(Answer::No);
    click(w.get(), "btnNextMonth");
    EXPECT_EQ(w->ChosenDate(), day);
    EXPECT_EQ(w->Label2->text(), "Marzec");
    EXPECT_EQ(w->DBMemo1->toPlainText(), typed);
    TRec_Notatki n;
    ASSERT_TRUE(TblNotatki->ReadRecordByID(note, n));
    EXPECT_EQ(n.NT_OPI.GetText(), "Zebranie");
    ASSERT_EQ(prompts().shown().size(), 2u);
    EXPECT_EQ(prompts().shown()[0].text,
              "Tekst notatki zawiera znaki, których nie można zapisać w bazie danych:\r\n"
              "„Ж” (cyrylica) – zamiana na „Ż”\r\n"
              "„у” (cyrylica) – zamiana na „u”\r\n"
              "„к” (cyrylica) – zamiana na „k”\r\n"
              "„о” (cyrylica) – zamiana na „o”\r\n"
              "„в” (cyrylica) – zamiana na „w”\r\n"
              "„ы” (cyrylica) – zamiana na „y”\r\n"
              "„м” (cyrylica) – zamiana na „m”\r\n"
              "„☃” (emotikona) – zamiana na „?”\r\n"
              "\r\n"
              "Czy zamienić te znaki na podobne?\r\n"
              "Tak – zamień, Nie – wróć do edycji tekstu.");

    // "Tak": the look-alikes are stored and the day changes.
    prompts().setNextAnswer(Answer::Yes);
    w->Calendar2->setSelectedDate(QDate(2024, 3, 6));
    EXPECT_EQ(w->ChosenDate(), QDate(2024, 3, 6));
    EXPECT_EQ(w->DBMemo1->toPlainText(), "Inny dzień");
    ASSERT_TRUE(TblNotatki->ReadRecordByID(note, n));
    EXPECT_EQ(n.NT_OPI.GetText(), "Zebranie\nz p. Żukowym ?\nsala 2");
}

TEST_F(PlannerPlan, AnAlarmTheTableCannotHoldKeepsItsRowAndTheWindow) {
    const QDate day(2024, 3, 5);
    addNote(day);
    const int first = addAlarm(day, QTime(9, 0), false, "Poczta");
    addAlarm(day, QTime(10, 0), false, "Narada");
    open(day);
    ASSERT_TRUE(clickRow(w->DBGrid1, 0));
    ASSERT_EQ(w->tableAlarmy->AsInteger("ID"), first);
    w->DBMemo2->setFocus();
    w->DBMemo2->moveCursor(QTextCursor::End);
    typeText(w->DBMemo2, " ☃ do p. Nowak");

    // Another row, or "&Koniec", with "Nie": the alarm and its text stay.
    prompts().setNextAnswer(Answer::No);
    EXPECT_FALSE(clickRow(w->DBGrid1, 1));
    EXPECT_EQ(w->tableAlarmy->AsInteger("ID"), first);
    EXPECT_EQ(w->DBMemo2->toPlainText(), "Poczta ☃ do p. Nowak");
    prompts().setNextAnswer(Answer::No);
    click(w.get(), "btnClose");
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(alarm(first).ALR_OPI.GetText(), "Poczta");
    EXPECT_EQ(prompts().shown().size(), 2u);

    prompts().setNextAnswer(Answer::Yes);
    click(w.get(), "btnClose");
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(alarm(first).ALR_OPI.GetText(), "Poczta ? do p. Nowak");
}

TEST_F(PlannerPlan, TheAlarmListShowsTheMinuteTheDailyMarkAndTheText) {
    const QDate day(2024, 3, 5);
    addNote(day);
    addAlarm(day, QTime(17, 23), false, "Telefon do urzędu\nw sprawie pisma");
    addAlarm(QDate(2024, 1, 2), QTime(8, 0), true, "Poczta");
    open(day);
    QAbstractItemModel* m = w->DBGrid1->model();
    QStringList titles;
    for (int c = 0; c < m->columnCount(); ++c)
        titles << m->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{"Godzina", "Codziennie", "Treść"}));
    QStringList rows;
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c) {
            const QModelIndex i = m->index(r, c);
            auto* d = qobject_cast<QStyledItemDelegate*>(w->DBGrid1->itemDelegateForIndex(i));
            cells << d->displayText(i.data(), QLocale());
        }
        rows << cells.join("|");
    }
    rows.sort();
    EXPECT_EQ(rows, (QStringList{"08:00|tak|Poczta", "17:23||Telefon do urzędu"}));
}

TEST_F(PlannerPlan, AnAlarmDeletedInZegarekLeavesTheOpenListAtOnce) {
    const QDate today = QDate::currentDate();
    addNote(today);
    const int id = addAlarm(today, QTime(0, 0), false, "Narada");
    open(today);
    ASSERT_EQ(w->tableAlarmy->RecordCount(), 1);
    ModalScript script;
    script.then([](QWidget* z) {
        child<QCheckBox>(z, "CheckBox1")->setChecked(true);
        click(z, "BitBtn1");
    });
    PokazAlarm(w.get(), id);
    EXPECT_FALSE(alarmExists(id));
    EXPECT_EQ(w->tableAlarmy->RecordCount(), 0);
    EXPECT_EQ(w->DBGrid1->model()->rowCount(), 0);
    EXPECT_FALSE(w->btnDeleteAlarm->isEnabled());
}

TEST_F(PlannerPlan, TheStartupSettingIsReadAndWritten) {
    const QString ini = UserIniPath();
    ASSERT_TRUE(ini.startsWith(inst.env.dir.path()));
    open(QDate(2024, 3, 5));
    EXPECT_FALSE(w->chbCheckAtStartup->isChecked());
    w->btnClose->click();
    EXPECT_EQ(IniReadString("Pulpex", "Alarm", "?", ini), "0");

    ASSERT_TRUE(IniWriteString("Pulpex", "Alarm", "1", ini));
    open(QDate(2024, 3, 5));
    EXPECT_TRUE(w->chbCheckAtStartup->isChecked());
    w->btnClose->click();
    EXPECT_EQ(IniReadString("Pulpex", "Alarm", "?", ini), "1");

    open(QDate(2024, 3, 5));
    w->chbCheckAtStartup->setChecked(false);
    w->close();  // also the window's own closing
    EXPECT_EQ(IniReadString("Pulpex", "Alarm", "?", ini), "0");
}

}  // namespace
}  // namespace pulpex
