// native!, action! and op! values.
#pragma once

#include "runtime/cell.h"

namespace vyn::native {

// Builds a native! or action! for table slot `index` (0-based) from its spec.
void make_entry(Cell* out, Type type, const Cell* spec, uint32_t index);

// The first value made for a table slot (0-based), null when none was made.
const Cell* registered_entry(Type type, uint32_t index);

void init_types();

}  // namespace vyn::native
