#include "cases/klas_spr.h"

namespace pulpex {

TTbl_KlasaSpraw::TTbl_KlasaSpraw() : TOT_Table(QStringLiteral("KLSPRAW")) {
    IDIndexName = QStringLiteral("KLS_ID");
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {
            {QStringLiteral("ID"), TFieldType::Integer},
            {QStringLiteral("KS_NAZW"), TFieldType::String, 25},
        },
        {
            {QStringLiteral("KLS_ID"), QStringLiteral("ID"), QString(), ixPrimary | ixUnique},
            {QStringLiteral("KS_NAZW"), QStringLiteral("KS_NAZW"), QStringLiteral("KS_NAZW"),
             ixUnique},
        });
}

}  // namespace pulpex
