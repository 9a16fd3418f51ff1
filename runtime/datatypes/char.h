// char!: one Unicode codepoint.
//
// Cell: word 2 the codepoint, 0 to 0x10FFFF; words 1 and 3 unused. The
// integer worker does its arithmetic, but results stay codepoints: one
// outside the range raises math overflow instead of becoming a float.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::char_ {

constexpr uint32_t MAX_CODEPOINT = 0x10FFFF;

inline uint32_t get(const Cell* value) { return value->data2; }
// Replaces the whole header.
inline Cell* make_at(Cell* out, uint32_t cp) {
	cell::set(out, T_CHAR, 0, cp);
	return out;
}
Cell* push(uint32_t cp);
Cell* make_in(const Cell* block, uint32_t cp);

// The arithmetic actions on the frame's two argument slots, the first a
// char!; the result stays in the first slot as a char!.
Cell* do_math(MathOp op);

void init_type();

}  // namespace vyn::char_
