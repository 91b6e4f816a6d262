// "Terminarz": the plan window. One note per day (NOTKI) and the alarms of that day together
// with the daily ones (ALARM), chosen on a month grid.
#pragma once

#include <QDate>
#include <QDialog>

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

class Tokno_plan : public QDialog {
    Q_OBJECT
  public:
    explicit Tokno_plan(QWidget* parent = nullptr);
    ~Tokno_plan() override;

    // Points both tables at the data directory.
    void SetDataDir(const QString& dir);
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

  private:
    void FormActivate();
    void FormDeactivate();
    void Calendar2Change();
    void NoteChanged();
    void AlarmChanged();
    void btnAddNoteClick();
    void btnDeleteNoteClick();
    void btnNewAlarmClick();
    void btnDeleteAlarmClick();
    void btnCloseClick();
    void moveMonth(int months);
    void showClock();
    void showMonth();
    // Posts pending edits of both tables; false (after telling why) when one was refused.
    bool postPending();
    // Runs a change of the data; an engine error is shown and the window goes on.
    template <class F>
    void guarded(F&& f);

    bool activating_ = false;
};

// Opens the plan window on today, modally.
void PokazTerminarz(QWidget* owner);

}  // namespace pulpex
