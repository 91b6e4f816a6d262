// Entering a date and a time: a month calendar with the program's Polish day and month names,
// weeks starting on Sunday, and a time edit.
#pragma once

#include <QDateTime>

#include "core/ui/window.h"

class QCalendarWidget;
class QLabel;
class QPushButton;
class QTimeEdit;

namespace pulpex {

class TForm_SetTime : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TForm_SetTime(QWidget* parent = nullptr);

    // `value` in, the entered date and time out (only on OK). An invalid value starts on now.
    bool Execute(QDateTime& value);
    void SetDateTime(const QDateTime& value);
    QDateTime DateTime() const;

    QCalendarWidget* Calendar;
    QLabel* lbMiesiac;  // month and year of the page shown
    QPushButton* btnPoprzedni;
    QPushButton* btnNastepny;
    QPushButton* btnDzisiaj;
    QPushButton* btnTeraz;
    QTimeEdit* edCzas;
    QPushButton* btnOK;
    QPushButton* btnAnuluj;
    QList<QLabel*> dayHeaders;  // Sunday first

  private:
    void moveMonth(int months);
    void showPage(int year, int month);
};

}  // namespace pulpex
