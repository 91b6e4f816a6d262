// "Zegarek": announces a due alarm, beeping until it is closed; the user may switch the alarm
// off, make it daily, edit its text or delete it.
#pragma once

#include "core/ui/window.h"

class QCheckBox;
class QPushButton;
class QTimer;

namespace pulpex {

class TDBCheckBox;
class TDBMemo;
class TDBText;
class TTableDataSet;

class Td_notatka : public TPulpexDialog {
    Q_OBJECT
  public:
    // Number of default beeps at each announcement.
    static constexpr int kBeeps = 101;

    explicit Td_notatka(QWidget* parent = nullptr);

    // Opens the dialog's own view of ALARM on the one alarm `id`.
    void OpenAlarm(int id);
    // After the dialog: deletes the row when "&Usuń notatkę z bazy" is ticked, else posts what
    // the bound controls changed. Engine errors reach the caller.
    void StoreOrDelete();

    TTableDataSet* tAlarmy;
    TDBText* DBText1;
    TDBMemo* DBMemo1;
    TDBCheckBox* DBCheckBox1;
    TDBCheckBox* DBCheckBox2;
    QCheckBox* CheckBox1;
    QPushButton* BitBtn1;
    QTimer* Timer1;

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int r) override;

  private:
    void beepAll();
};

// Shows "Zegarek" modally for the alarm `id`, then stores or deletes the alarm; the windows that
// show alarms are told.
void PokazAlarm(QWidget* owner, int id);

}  // namespace pulpex
