// Notes: NOTKI, a text attached to a day of the planner.
#pragma once

#include <QDate>

#include "tables/tbase.h"

namespace pulpex {

class TRec_Notatki : public TOT_Record {
  public:
    int ID = 0;
    QDate NT_DAT = QDate::currentDate();
    bool NT_ODCZ = false;
    TBin NT_OPI;

    void StoreFields(TOT_Table& table) override;
    void LoadFields(TOT_Table& table) override;
};

class TTbl_Notatki : public TOT_Table {
  public:
    TTbl_Notatki();

    // Whether a note is dated `today`. Found through the NT_DAT tag; the table keeps its own
    // tag and, when a note was found, stands on it.
    bool IsAnyNote(const QDate& today = QDate::currentDate());
};

}  // namespace pulpex
