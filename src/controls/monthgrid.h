// The month grid of the program's date dialogs: a QCalendarWidget in Polish with weeks starting
// on Sunday and the program's own short day names above it.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QCalendarWidget;
class QLabel;

namespace pulpex {

// A QCalendarWidget in Polish with the program's short day names above it (Sunday first, in
// red). Qt's own header would take its names from the locale, whose abbreviations differ.
class TPolishMonthGrid : public QWidget {
    Q_OBJECT
  public:
    TPolishMonthGrid(QWidget* parent, const QString& calendarName);
    QCalendarWidget* Calendar() const { return calendar_; }
    const QList<QLabel*>& DayHeaders() const { return headers_; }

  private:
    QCalendarWidget* calendar_;
    QList<QLabel*> headers_;
};

}  // namespace pulpex
