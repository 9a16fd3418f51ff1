// The shared constant cells: every unset, none, true and false value the
// runtime produces is a copy of one of these.
#pragma once

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::constants {

inline constexpr Cell unset_cell{T_UNSET, 0, 0, 0};
inline constexpr Cell none_cell{T_NONE, 0, 0, 0};
inline constexpr Cell true_cell{T_LOGIC, 1, 0, 0};
inline constexpr Cell false_cell{T_LOGIC, 0, 0, 0};

inline const Cell* logic_cell(bool b) { return b ? &true_cell : &false_cell; }

// The comparison codes under which unset!, none! and logic! values compare:
// the equalities, the sorts and find matching; nothing orders them.
inline bool unordered_code(CompareOp op) {
	switch (op) {
	case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
	case COMP_SAME: case COMP_FIND_SELECT: return true;
	default: return false;
	}
}

}  // namespace vyn::constants
