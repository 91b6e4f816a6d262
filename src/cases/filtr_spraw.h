// The filter of the cases window: which cases are listed (all, closed, open) and which of their
// linked events are shown (a date range, one correspondent), and the SQL texts it gives.
#pragma once

#include <QDateTime>
#include <QString>

namespace pulpex {

struct TSprawy_FiltrInfo {
    // Restrict the linked events' ZD_DAT to Od..Do (only the dates count, both ends included).
    bool ZakresDat = false;
    QDateTime Od = QDateTime::currentDateTime().addDays(-14);
    QDateTime Do = QDateTime::currentDateTime().addDays(14);
    // Restrict the linked events to one correspondent (ZD_ADR; 0: events without one).
    bool WybranyAdres = false;
    int IdAdresu = 0;
    // Which cases are listed.
    enum Stan : unsigned char { Wszystkie = 0, Zamkniete = 1, Otwarte = 2 };
    unsigned char StanSpraw = Wszystkie;
};

// The statement of the case list for the case state of `info`.
QString ZapytanieSpraw(const TSprawy_FiltrInfo& info);
// The condition on the linked events, to follow the WHERE clause of the linked-events query:
// each piece begins with " and "; empty when neither the dates nor the address are on.
QString WarunekZdarzenSprawy(const TSprawy_FiltrInfo& info);

// The linked-events query of the cases window: base, then the condition, then the order.
inline const QString kZdarzeniaSprawyBase = QStringLiteral(
    " select z.ZD_NMR, z.ZD_SMB, r.ESZ_ZD, r.RSZ_IDS, r.ID from REL_SZD  r  , ZDARZ  z   where "
    "r.RSZ_IDS= :ID and z.ID = r.ESZ_ZD");
inline const QString kZdarzeniaSprawyOrder = QStringLiteral(" order by z.ZD_NMR");

}  // namespace pulpex
