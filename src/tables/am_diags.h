// DIAGS: the append-only log of sign-ins, shut-downs and repairs.
#pragma once

#include <QDateTime>
#include <QString>

#include "tables/tbase.h"

namespace pulpex {

class TRec_Diags : public TOT_Record {
  public:
    QDateTime DATKA = QDateTime::currentDateTime();
    QString OPIS1, OPIS2;
    void StoreFields(TOT_Table& table) override;
    void LoadFields(TOT_Table& table) override;
};

class TTbl_Diags : public TOT_Table {
  public:
    TTbl_Diags();
    void AddDiagReg(const QString& text, const QString& detail);
};

// One row of the diagnostics log, only when DIAGS is open; never fails.
void LogDiag(const QString& text, const QString& detail);

}  // namespace pulpex
