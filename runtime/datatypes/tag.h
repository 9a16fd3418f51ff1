// tag!: a string-family text printed between "<" and ">". The brackets are
// not stored; everything but form and mold is string!'s.
#pragma once

#include "runtime/cell.h"

namespace vyn::tag {

// Registers tag! (parent string!).
void init_type();

// Pushes a copy of the value on the data stack.
Cell* push(const Cell* value);

}  // namespace vyn::tag
