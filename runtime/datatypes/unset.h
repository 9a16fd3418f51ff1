// unset!: the value of a word without value and of expressions that give
// nothing. Only the header matters; every unset value is a copy of
// constants::unset_cell.
#pragma once

#include "runtime/cell.h"

namespace vyn::unset {

Cell* box();   // the result slot
Cell* push();
Cell* make_in(const Cell* block);

void init_type();

}  // namespace vyn::unset
