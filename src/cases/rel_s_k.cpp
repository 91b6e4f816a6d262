#include "cases/rel_s_k.h"

namespace pulpex {

TTbl_RelSprKlasa::TTbl_RelSprKlasa() : TOT_Table(QStringLiteral("REL_SK")) {
    IDIndexName = QStringLiteral("RSK_ID");
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {
            {QStringLiteral("RSK_SPR"), TFieldType::Integer},
            {QStringLiteral("RSK_KLS"), TFieldType::Integer},
        },
        {
            {QStringLiteral("RSK_ID"), QStringLiteral("RSK_SPR;RSK_KLS"),
             QStringLiteral("str(RSK_SPR) +str(RSK_KLS)"), ixPrimary | ixUnique | ixExpression},
            {QStringLiteral("RSK_KLS"), QStringLiteral("RSK_KLS"), QString(), 0},
        });
}

bool TTbl_RelSprKlasa::LocateID(int) {
    return false;
}

int TTbl_RelSprKlasa::AppendNewID() {
    return 0;
}

}  // namespace pulpex
