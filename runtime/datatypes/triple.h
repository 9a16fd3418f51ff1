// triple!: three signed 32-bit integers in payload words 1 to 3. Only the
// runtime and compiled code make them; they form and mold, nothing else.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::triple {

inline Cell* make_at(Cell* out, int32_t a, int32_t b, int32_t c) {
	cell::set(out, T_TRIPLE, uint32_t(a), uint32_t(b), uint32_t(c));
	return out;
}

void init_type();

}  // namespace vyn::triple
