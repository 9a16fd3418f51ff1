// Shared by the block modules (block*.cpp) and the path family: cycle-stack
// entries, growth policy and the type groups the deep walks act on.
#pragma once

#include <cstdint>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/evaluator/actions.h"
#include "runtime/registry.h"

namespace vyn::block {

// The largest data area a buffer may have.
constexpr uint64_t MAX_BYTES = 0xFFFFFF00u - SERIES_BLOCK_EXTRA;

// Twice the needed size, or the needed size when doubling would pass the cap.
uint64_t grown_size(uint64_t needed);

// A deep walk's presence on the cycle stack for its scope; an error leaving
// the walk takes its entry off too.
struct Walk {
	explicit Walk(Node node) { cycles::push(node); }
	~Walk() { cycles::pop(); }
	Walk(const Walk&) = delete;
	Walk& operator=(const Walk&) = delete;
};

// Equality under a find code (12, 2 or 9). Values of types that cannot be
// compared are unequal; functions and natives compare by identity.
inline bool matches(const Cell* a, const Cell* b, CompareOp op) {
	if (cell::is(a, T_INTEGER) && cell::is(b, T_INTEGER)) return a->data2 == b->data2;
	return actions::compare_raw(a, b, op) == 0;
}

// Raises internal no-cycle when the node is being walked already.
void refuse_cycle(Node node);

inline uint32_t buffer_length_cells(const Cell* b) { return buffer(b)->used() / uint32_t(sizeof(Cell)); }

// The capacity a make spec asks for: an integer!, or a float! truncated
// (outside the 32-bit range: out-of-range).
int32_t capacity_of(const Cell* spec);

// What copy/deep replaces by a deep copy, and what copy/types may replace.
inline bool deep_copied(Type t) {
	return series::any_block(t) || series::any_string(t) || t == T_VECTOR || t == T_BINARY || t == T_IMAGE;
}
inline bool type_copied(Type t) {
	return deep_copied(t) || t == T_BITSET || t == T_OBJECT || t == T_ERROR || t == T_MAP;
}

// Replaces each deep-copied cell of the block (from its head) by its deep copy.
void copy_cells_deep(Cell* b);

// The slots block! takes from series!.
constexpr uint64_t INHERITED_FROM_SERIES = registry::slot_bit(A_RANDOM) | registry::slot_bit(A_REFLECT) |
	registry::slot_bit(A_AT) | registry::slot_bit(A_BACK) | registry::slot_bit(A_CLEAR) |
	registry::slot_bit(A_HEAD) | registry::slot_bit(A_HEAD_Q) | registry::slot_bit(A_INDEX_Q) |
	registry::slot_bit(A_LENGTH_Q) | registry::slot_bit(A_MOVE) | registry::slot_bit(A_NEXT) |
	registry::slot_bit(A_PICK) | registry::slot_bit(A_POKE) | registry::slot_bit(A_REMOVE) |
	registry::slot_bit(A_REVERSE) | registry::slot_bit(A_SKIP) | registry::slot_bit(A_TAIL) |
	registry::slot_bit(A_TAIL_Q) | registry::slot_bit(A_MODIFY);

}  // namespace vyn::block
