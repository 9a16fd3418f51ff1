// none!: the absent value. Only the header matters; every none value is a
// copy of constants::none_cell. The series actions take none as an empty
// series: clear, find, remove, select and take answer none, length? none.
#pragma once

#include "runtime/cell.h"

namespace vyn::none {

Cell* box();   // the result slot
Cell* push();
Cell* make_in(const Cell* block);

void init_type();

}  // namespace vyn::none
