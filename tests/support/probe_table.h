// A table of the plainest shape for tests of the table base: an identifier and a text.
#pragma once

#include "tables/fieldio.h"
#include "tables/tbase.h"

namespace pulpex::test {

class TRec_Probe : public TOT_Record {
  public:
    int ID = 0;
    QString PR_TXT;
    void StoreFields(TOT_Table& table) override {
        setFieldInt(table.T(), "ID", ID);
        setFieldString(table.T(), "PR_TXT", PR_TXT);
        TOT_Record::StoreFields(table);
    }
    void LoadFields(TOT_Table& table) override {
        ID = fieldInt(table.T(), "ID");
        PR_TXT = fieldString(table.T(), "PR_TXT");
        TOT_Record::LoadFields(table);
    }
};

class TTbl_Probe : public TOT_Table {
  public:
    TTbl_Probe() : TOT_Table("PROBE") {
        IDIndexName = "PROBE_ID";
        HousekeepingOn = false;
        CreateInfo.SetDefinitions({{"ID", TFieldType::Integer}, {"PR_TXT", TFieldType::String, 40}},
                                  {{"PROBE_ID", "ID", "", ixPrimary}});
    }
};

}  // namespace pulpex::test
