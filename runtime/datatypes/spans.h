// Read-only views of series values for the scalar conversions: the cells
// of a block, the bytes of a binary and the units of a string, each from
// the value's head (an index past the tail reads as empty).
//
// Any-block, any-string and binary cells share the layout word 1 head
// index (in units), word 2 buffer node.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/unicode.h"

namespace vyn::spans {

struct Cells {
	const Cell* head;
	uint32_t count;
};

struct Bytes {
	const uint8_t* head;
	uint32_t count;
};

struct Units {
	const uint8_t* head;
	uint32_t count;
	uint32_t width;
	uint32_t at(uint32_t i) const { return unicode::get_unit(head + size_t(i) * width, width); }
};

inline Cells cells_of(const Cell* block) {
	Series* s = memory::buffer_of(block);
	uint32_t units = s->used() / sizeof(Cell);
	uint32_t head = block->data1 < units ? block->data1 : units;
	return {s->head_cell() + head, units - head};
}

inline Bytes bytes_of(const Cell* binary) {
	Series* s = memory::buffer_of(binary);
	uint32_t head = binary->data1 < s->used() ? binary->data1 : s->used();
	return {s->head_ptr() + head, s->used() - head};
}

inline Units units_of(const Cell* text) {
	Series* s = memory::buffer_of(text);
	uint32_t units = unicode::unit_count(s);
	uint32_t head = text->data1 < units ? text->data1 : units;
	return {unicode::unit_at(s, head), units - head, s->unit()};
}

inline bool is_any_string(Type t) {
	return t == T_STRING || t == T_FILE || t == T_URL || t == T_TAG || t == T_EMAIL || t == T_REF;
}

inline bool is_block_like(Type t) { return t == T_BLOCK || t == T_PAREN || t == T_HASH; }

}  // namespace vyn::spans
