// KLSPRAW: case classes. Kept with the catalogue; no window reads or writes them yet.
#pragma once

#include "tables/tbase.h"

namespace pulpex {

class TTbl_KlasaSpraw : public TOT_Table {
  public:
    TTbl_KlasaSpraw();
};

}  // namespace pulpex
