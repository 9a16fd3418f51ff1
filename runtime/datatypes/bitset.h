// bitset!: a set of non-negative integers (mostly codepoints).
//
// Cell: word 1 unused (0), word 2 the node of a byte series (unit 1, head
// at offset 0), word 3 unused.
// Member n is bit (0x80 >> (n & 7)) of byte n >> 3; the bitset's size is
// its byte count times 8. The bytes always hold the membership of the
// members below the size; every number at or beyond the size is a member
// exactly when the series carries COMPLEMENT (a bitset made with `not` keeps
// its bytes already inverted and the flag set).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace vyn::bitset {

constexpr uint32_t COMPLEMENT = 0x00080000u;

inline Series* buffer(const Cell* value) { return memory::buffer_of(value); }
inline uint32_t byte_count(const Cell* value) { return buffer(value)->used(); }
inline bool complemented(const Cell* value) { return (buffer(value)->flags & COMPLEMENT) != 0; }

inline bool has(const Cell* value, uint32_t n) {
	Series* s = buffer(value);
	uint32_t byte = n >> 3;
	if (byte >= s->used()) return (s->flags & COMPLEMENT) != 0;
	return (s->head_ptr()[byte] & (0x80u >> (n & 7))) != 0;
}

// A new bitset of `bytes` bytes, all 0x00, or all 0xFF with the flag set.
Cell* make_at(Cell* out, uint32_t bytes, bool complement);

// What the worker does with the members a spec value names.
enum class Op : uint8_t { measure, set, test, clear };
// Who asks: decides the error raised for an unusable spec value.
enum class Caller : uint8_t { make, to, action };

// Applies `op` to the members named by `spec` (char!, integer!, float!,
// string!, or a block of those and ranges `a - b`). measure answers the
// highest member named (-1 for none) and changes nothing; test answers 1
// when every member named is in the set, else 0; set and clear answer 0.
int64_t process(const Cell* spec, Cell* bitset, Op op, Caller caller);

// The set operations on the frame's two argument cells (codes: 5 or,
// 6 and, 7 xor, 8 unique, 9 union, 10 intersect, 11 exclude,
// 12 difference); the result replaces the first.
Cell* do_bitwise(int32_t code);

void init_type();

}  // namespace vyn::bitset
