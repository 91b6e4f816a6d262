// "Nowy alarm": a new alarm for a given date, from the plan window.
#pragma once

#include <QDate>
#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QTimeEdit;

namespace pulpex {

class TRec_Alarmy;

class Td_n_budzik : public QDialog {
    Q_OBJECT
  public:
    explicit Td_n_budzik(QWidget* parent = nullptr);

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
};

// Shows "Nowy alarm" modally. 0 when cancelled; on "&OK" the alarm is stored through the
// catalogue's alarms table and the answer is 1. A store that fails is reported and answers 0,
// so that nobody believes an alarm is set that will never ring.
int NowyAlarm(QWidget* owner, const QDate& date);

}  // namespace pulpex
