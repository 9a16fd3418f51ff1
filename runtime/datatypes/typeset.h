// typeset!: a set of datatypes, held entirely in the cell.
//
// Cell: the three payload words read as 12 bytes from word 1 on; type id i
// is bit (0x80 >> (i & 7)) of byte i >> 3, so ids 0 to 95 fit.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::typeset {

inline const uint8_t* bytes(const Cell* value) { return reinterpret_cast<const uint8_t*>(&value->data1); }
inline uint8_t* bytes(Cell* value) { return reinterpret_cast<uint8_t*>(&value->data1); }
inline bool has(const Cell* value, uint32_t id) { return id < 96 && (bytes(value)[id >> 3] & (0x80u >> (id & 7))); }
inline void add(Cell* value, uint32_t id) {
	if (id < 96) bytes(value)[id >> 3] |= uint8_t(0x80u >> (id & 7));
}

Cell* make_at(Cell* out, uint32_t word1, uint32_t word2, uint32_t word3);
Cell* make_in(const Cell* block, uint32_t word1, uint32_t word2, uint32_t word3);
// Every type but unset!: what compiled code checks "any type" arguments with.
Cell* make_any_type_in(const Cell* block);
// Compiled code's typeset literals: the types of a spec block (words stand
// for their values, a word naming a word adds object!, nested blocks are
// skipped, anything else raises invalid-type-spec), appended to a block.
Cell* make_from_block_in(const Cell* block, Cell* spec);

// The set operations on the frame's two argument slots (set-op codes: 5 or
// and 9 union, 6 and and 10 intersect, 7 xor and 12 difference, 11
// exclude, 8 unique); the second is a typeset or a datatype.
Cell* do_bitwise(int32_t code);

void init_type();

}  // namespace vyn::typeset
