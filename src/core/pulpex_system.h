// The system object of Pulpex: TAM_System with the catalogue of the program's 13 tables.
#pragma once

#include "core/system.h"

namespace pulpex {

class TPulpex_System : public TAM_System {
  public:
    explicit TPulpex_System(const QString& mainDir = {}) : TAM_System(mainDir) {}
    // Creates the table objects in catalogue order and sets the global references. A catalogue
    // of any other size is a fault of the program: the critical warning ends it.
    void BuildCatalogue() override;

    static constexpr int kTables = 13;
};

}  // namespace pulpex
