// percent!: a float! written and read with a "%" sign. The cell is a
// float! cell of type 38 holding the fraction (50% holds 0.5); only form
// and mold are its own, every other action is float!'s.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::percent {

inline double get(const Cell* value) { return cell::get_double(value); }
// Replaces the whole header.
inline Cell* make_at(Cell* out, double fraction) {
	cell::set(out, T_PERCENT);
	cell::put_double(out, fraction);
	return out;
}
Cell* push(double fraction);
Cell* push_halves(uint32_t low, uint32_t high);
Cell* box(double fraction);  // the result slot
Cell* make_in(const Cell* block, double fraction);

void init_type();

}  // namespace vyn::percent
