#include "cases/filtr_spraw.h"

#include "core/utils.h"

namespace pulpex {

QString ZapytanieSpraw(const TSprawy_FiltrInfo& info) {
    switch (info.StanSpraw) {
        case TSprawy_FiltrInfo::Zamkniete:
            return QStringLiteral(
                " select SP_NAZ, SP_NUM, ID  from SPRAWY  where SP_ZAMK=\"True\" ");
        case TSprawy_FiltrInfo::Otwarte:
            return QStringLiteral(
                " select SP_NAZ, SP_NUM, ID  from SPRAWY  where SP_ZAMK=\"FALSE\" ");
        default:
            return QStringLiteral(" select SP_NAZ, SP_NUM, ID  from SPRAWY");
    }
}

QString WarunekZdarzenSprawy(const TSprawy_FiltrInfo& info) {
    QString w;
    if (info.ZakresDat)
        w = QStringLiteral(" and ZD_DAT>=") + SqlDate(info.Od.date()) + QStringLiteral(" ") +
            QStringLiteral(" and ") + QStringLiteral("ZD_DAT") + QStringLiteral("<=") +
            SqlDate(info.Do.date());
    if (info.WybranyAdres)
        w += QStringLiteral(" and ") + QStringLiteral("ZD_ADR") + QStringLiteral("= ") +
             QString::number(info.IdAdresu) + QStringLiteral(" ");
    return w;
}

}  // namespace pulpex
