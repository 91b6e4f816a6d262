// Correspondence templates: KORESP, one named text with placeholders and nine values of its own
// per row, and the substitution that fills a template in for one addressee.
#pragma once

#include <QDateTime>
#include <QString>
#include <array>
#include <vector>

#include "tables/engine/cursor.h"
#include "tables/tbase.h"

namespace pulpex {

// One placeholder: group 1 takes its value from the current address row, group 2 from the
// moment (operator, date, time), group 3 from the current template row.
struct TPlaceholder {
    QString token;
    int group = 0;
    QString column;  // groups 1 and 3
};

// The 28 placeholders in the order substitution searches them.
const std::vector<TPlaceholder>& Placeholders();

class TRec_Korespondencja : public TOT_Record {
  public:
    int ID = 0;
    // Slot 0 is the template's name (KOR_OPI), slots 1..9 its user values KOR_US01..KOR_US09.
    std::array<QString, 10> KOR_US;
    TBin KOR_TRS;  // the template text

    QString& KOR_OPI() { return KOR_US[0]; }
    const QString& KOR_OPI() const { return KOR_US[0]; }

    void StoreFields(TOT_Table& table) override;
    void LoadFields(TOT_Table& table) override;
    // Slots 1..9 from KOR_US01..KOR_US09 of the data set's current row.
    void ReadUserFields(engine::Cursor& data);

    // The text with every placeholder replaced by its value. Address values come from the
    // current row of TblAdresy, user values from the current row of TblKorespondencja; a
    // missing, closed or row-less table gives empty values. `now` (default: the clock) supplies
    // the date and time placeholders.
    QString Substitute(const QString& text, const QDateTime& now = {}) const;
    // The value of one placeholder token; empty for a text that is not one.
    QString PlaceholderValue(const QString& token, const QDateTime& now = {}) const;
};

class TTbl_Korespondencja : public TOT_Table {
  public:
    TTbl_Korespondencja();
};

}  // namespace pulpex
