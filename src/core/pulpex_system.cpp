#include "core/pulpex_system.h"

#include "addresses/adresy.h"
#include "cases/klas_spr.h"
#include "cases/rel_s_k.h"
#include "cases/rel_s_z.h"
#include "cases/sprawy.h"
#include "core/backup.h"
#include "core/utils.h"
#include "documents/pisma.h"
#include "mail/koresp.h"
#include "planner/alarms.h"
#include "planner/note_dz.h"
#include "register/zdarzen.h"
#include "tables/am_diags.h"
#include "tables/globals.h"
#include "tables/id_gener.h"
#include "tables/users.h"

namespace pulpex {

namespace {
template <class T>
T* add(TAM_System& sys, const char* displayName, int& made) {
    auto table = std::make_unique<T>();
    T* raw = table.get();
    table->DatabaseName = sys.DataDir;
    if (sys.AddToCatalogue(std::move(table), QString::fromUtf8(displayName))) ++made;
    return raw;
}
}  // namespace

void TPulpex_System::BuildCatalogue() {
    // A restore that died while swapping files is rolled back before any table is opened, so
    // that no workstation ever works on tables of two different copies.
    RecoverInterruptedRestore(DataDir);
    int made = 0;
    TblUsers = add<TTbl_USERS>(*this, "Oparatorzy", made);
    TblID = add<TTbl_ID>(*this, "ID generator", made);
    TblDiags = add<TTbl_Diags>(*this, "Diagnostyka", made);
    TblZdarzenia = add<TTbl_Zdarzenia>(*this, "Zdarzenia", made);
    TblSprawy = add<TTbl_Sprawy>(*this, "Sprawy", made);
    TblRelSprZd = add<TTbl_RelSprZd>(*this, "Relacja Sprawy-Zdarzenia", made);
    TblRelSprKlasa = add<TTbl_RelSprKlasa>(*this, "Relacja Sprawy-Klasy", made);
    TblPisma = add<TTbl_Pisma>(*this, "Pisma", made);
    TblNotatki = add<TTbl_Notatki>(*this, "Notatki", made);
    TblKorespondencja = add<TTbl_Korespondencja>(*this, "Wzory korespondencji", made);
    TblKlasaSpraw = add<TTbl_KlasaSpraw>(*this, "Klasy spraw", made);
    TblAlarmy = add<TTbl_Alarmy>(*this, "Alarmy", made);
    TblAdresy = add<TTbl_Adresy>(*this, "Adresy", made);
    if (made != kTables) ShowWarning(2, QStringLiteral("Błędne dane w tablicy Plx_BaseInfos"));
}

}  // namespace pulpex
