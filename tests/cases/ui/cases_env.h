// A logged-in installation with cases, events and links made through the table objects, as the
// case windows' tests need them.
#pragma once

#include <QDate>
#include <QDateTime>
#include <set>
#include <utility>

#include "cases/rel_s_z.h"
#include "cases/sprawy.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex::test {

class CasesEnv {
  public:
    CasesEnv() { inst.logIn(1); }

    int addCase(const QString& name, bool closed = false, const QString& description = {}) {
        TRec_Sprawy c;
        c.SP_NAZ = name;
        c.SP_NUM = name.left(3);
        c.SP_ZAMK = closed;
        c.SP_OPI.SetText(description);
        OpenForCall open(*TblSprawy);
        TblSprawy->OT_AddNew(c.ID, c);
        return c.ID;
    }
    int addEvent(const QString& number, int kind = 1, const QDate& date = QDate(2024, 3, 1),
                 const QString& symbol = {}) {
        TRec_Zdarzenia z;
        z.ZD_NMR = number;
        z.ZD_TYP = kind;
        z.ZD_SMB = symbol;
        z.ZD_DAT = QDateTime(date, QTime(0, 0));
        OpenForCall open(*TblZdarzenia);
        TblZdarzenia->OT_AddNew(z.ID, z);
        return z.ID;
    }
    void link(int caseId, int eventId) {
        OpenForCall open(*TblRelSprZd);
        TblRelSprZd->DodajPowiazanie(caseId, eventId);
    }
    // Every link row as (case, event); a pair twice would show as a shorter set than count.
    std::multiset<std::pair<int, int>> links() {
        std::multiset<std::pair<int, int>> out;
        OpenForCall open(*TblRelSprZd);
        engine::Table& t = TblRelSprZd->T();
        for (t.first(); !t.eof(); t.next())
            out.insert({fieldInt(t, "RSZ_IDS"), fieldInt(t, "ESZ_ZD")});
        return out;
    }
    bool caseExists(int id) {
        OpenForCall open(*TblSprawy);
        return TblSprawy->LocateID(id);
    }
    TRec_Sprawy readCase(int id) {
        TRec_Sprawy c;
        OpenForCall open(*TblSprawy);
        TblSprawy->ReadRecordByID(id, c);
        return c;
    }
    bool eventExists(int id) {
        OpenForCall open(*TblZdarzenia);
        return TblZdarzenia->LocateID(id);
    }
    ScriptedPrompts& prompts() { return inst.env.prompts; }

    TestInstallation inst;
};

}  // namespace pulpex::test
