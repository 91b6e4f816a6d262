// "Terminarz": the plan window. One note per day (NOTKI) and the alarms of that day together
// with the daily ones (ALARM), chosen on a month grid.
#pragma once

#include <QDate>

#include "core/ui/window.h"

class QCalendarWidget;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace pulpex {

class TCV_DBGrid;
class TDBCheckBox;
class TDBMemo;
class TTableDataSet;

class Tokno_plan : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit Tokno_plan(QWidget* parent = nullptr);
    ~Tokno_plan() override;

    void SetDate(const QDate& date);
    QDate ChosenDate() const;

    QCalendarWidget* Calendar2;
    QPushButton* btnPrevMonth;
    QPushButton* btnNextMonth;
    QLabel* Label2;  // month shown
    QLabel* Label5;  // today
    QLabel* Label6;  // the current time
    QGroupBox* GroupBox1;
    QLabel* Label4;  // the chosen day
    TDBMemo* DBMemo1;
    QPushButton* btnAddNote;
    QPushButton* btnDeleteNote;
    QGroupBox* GroupBox2;
    TCV_DBGrid* DBGrid1;
    TDBMemo* DBMemo2;
    TDBCheckBox* dbchbAktywny;
    TDBCheckBox* dbchbCodzienny;
    QPushButton* btnNewAlarm;
    QPushButton* btnDeleteAlarm;
    QCheckBox* chbCheckAtStartup;
    QPushButton* btnClose;
    TTableDataSet* tableNotatki;
    TTableDataSet* tableAlarmy;
    QTimer* Timer1;

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void done(int r) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* buildDay();
    void buildNote();
    void buildAlarms();

    void FormActivate();
    void FormDeactivate();
    void Calendar2Change();
    void NoteChanged();
    void AlarmChanged();
    void btnAddNoteClick();
    void btnDeleteNoteClick();
    void btnNewAlarmClick();
    void btnDeleteAlarmClick();
    void moveMonth(int months);
    void showClock();
    void showMonth();
    // An alarm was added, changed or deleted in another window.
    void alarmsChangedElsewhere();
    // Before the note or the alarm being edited is left: texts the table cannot hold are put
    // right with the user (false when he goes back to edit them) and the edits posted.
    bool leaveNote();
    bool leaveAlarm();
    bool leaveRow(TTableDataSet* ds, TDBMemo* memo, const QString& what);

    bool activating_ = false;
    bool reverting_ = false;
    QDate shownDay_;  // the day whose note and alarms are shown
};

// Opens the plan window on today, modally.
void PokazTerminarz(QWidget* owner);

}  // namespace pulpex
