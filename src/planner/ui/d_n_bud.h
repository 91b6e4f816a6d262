// "Nowy alarm": a new alarm for a given date, from the plan window.
#pragma once

#include <QDate>

#include "core/ui/window.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QTimeEdit;

namespace pulpex {

class TRec_Alarmy;

class Td_n_budzik : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit Td_n_budzik(QWidget* parent = nullptr);

    // The day the new alarm is for.
    void Prepare(const QDate& date) { date_ = date; }
    // The alarm as entered, for `date`.
    void FillRecord(TRec_Alarmy& record, const QDate& date) const;

    QTimeEdit* editTime;
    QPlainTextEdit* Memo1;
    QCheckBox* chbAktywny;
    QCheckBox* chbCodzien;
    QPushButton* btnOK;
    QPushButton* btnCancel;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void btnOKClick();
    QDate date_ = QDate::currentDate();
};

// Shows "Nowy alarm" modally. 0 when cancelled; "&OK" stores the alarm through the catalogue's
// alarms table and answers 1. A store that fails is reported and the dialog stays open with what
// was typed, so that nobody believes an alarm is set that will never ring.
int NowyAlarm(QWidget* owner, const QDate& date);

}  // namespace pulpex
