// The date picker used wherever a date is chosen: weeks start on Sunday, day and month names are
// the program's own.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QWidget>

#include "controls/monthgrid.h"
#include "core/ui/window.h"

class QCalendarWidget;
class QLabel;
class QPushButton;

namespace pulpex {

// "5 stycznia 2024": the day with the month in the genitive, as Polish writes a date.
QString LongDateText(const QDate& date);
// The month in the genitive ("stycznia") for 1..12; empty otherwise.
QString MonthNameGenitive(int month);

class TKalendarz : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TKalendarz(QWidget* parent = nullptr);

    // Prepares one showing: whether "Anuluj" is offered, whether the year may change, the start.
    void Setup(bool showCancel, bool allowYearChange, const QDate& date);
    QDate SelectedDate() const;
    bool YearChangeAllowed() const { return allowYearChange_; }

    QCalendarWidget* Calendar1;
    QLabel* Label1;        // year of the page shown
    QLabel* Label2;        // month of the page shown
    QLabel* Label3;        // "Wybrana data:"
    QLabel* Label4;        // the selected date
    QPushButton* BitBtn1;  // previous year
    QPushButton* BitBtn2;  // previous month
    QPushButton* BitBtn3;  // next month
    QPushButton* BitBtn4;  // next year
    QPushButton* btnOK;
    QPushButton* BitBtn6;  // "Anuluj"

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void moveMonths(int months);
    void refreshLabels();
    void calendarActivated();

    bool allowYearChange_ = true;
    bool showCancel_ = true;
};

// Shows the picker modally on `date` (today when invalid) and returns the date chosen with
// "&OK", or `date` when the picker was closed otherwise.
QDate WybierzDate(QWidget* owner, bool showCancel, bool allowYearChange, const QDate& date);

}  // namespace pulpex
