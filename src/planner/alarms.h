// Alarms: ALARM, a time of day with a text, due on one date or every day, and the check that
// tells the main window which alarm to announce.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>

#include "tables/tbase.h"

namespace pulpex {

class TRec_Alarmy : public TOT_Record {
  public:
    TRec_Alarmy();

    int ID = 0;
    QDate ALR_DAT;         // the day it is due (not used for a daily alarm); today when new
    QTime ALR_GDZ;         // the time of day, whole seconds; now when new
    bool ALR_AKT = true;   // active
    bool ALR_CDZ = false;  // every day
    bool ALR_ODC = false;
    TBin ALR_OPI;  // the text

    void StoreFields(TOT_Table& table) override;
    // An ALR_GDZ that is not a time reads as an invalid QTime.
    void LoadFields(TOT_Table& table) override;
};

class TTbl_Alarmy : public TOT_Table {
  public:
    TTbl_Alarmy();

    // The ID of an active alarm due at `now` (today's alarms and the daily ones whose time has
    // come) that has not been returned before by this object nor closed by the user today, or 0.
    // The one returned is remembered, so each alarm comes once per run; one whose time changes
    // comes again. Rows are walked in the table's current order. The table's filter is cleared
    // afterwards.
    int IsAnyAlert(const QDateTime& now = QDateTime::currentDateTime());

    // Keys (ID + "&" + "hh:mm:ss") of the alarms already returned.
    const QStringList& ShownAlarms() const { return shown_; }

    // The workstation's file of alarms the user has closed ("" keeps them for this run only).
    void SetDismissedFile(const QString& file) { dismissedFile_ = file; }
    QString DismissedFile() const { return dismissedFile_; }
    // The user closed the alarm `id` (as IsAnyAlert last returned it) on `day`: it stays quiet
    // for the rest of that day, also after a restart. A daily alarm comes again the next day.
    void Dismiss(int id, const QDate& day);

  private:
    // Whether the alarm of `key` was closed on `day`.
    bool dismissed(const QString& key, const QDate& day) const;
    // The file's lines of `day` for this table ("day<TAB>table<TAB>key").
    QStringList dismissedLines(const QDate& day) const;

    QStringList shown_;
    QStringList quiet_;  // "day|key" of alarms found closed on that day
    QString dismissedFile_;
};

}  // namespace pulpex
