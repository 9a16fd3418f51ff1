// Text storage: strings in series buffers whose unit is 1, 2 or 4 bytes.
//
// Invariants:
//  - A string buffer's unit width (flags bits 0-4) is 1 (codepoints 0-0xFF),
//    2 (0-0xFFFF, little-endian) or 4 (0-0x10FFFF). A buffer keeps the
//    narrowest width that held every codepoint stored in it so far: a store
//    that does not fit widens the whole buffer in place first. Nothing here
//    narrows a buffer.
//  - The text is the units from the buffer's head offset (its first unit) to
//    its tail; there is no terminator.
//  - Any-string cell: word 1 the head index in units from the first unit
//    (it may lie past the tail; readers clamp it), word 2 the buffer's node,
//    word 3 the node of the value's scratch buffer or 0.
//  - The scratch buffer is a byte series holding the last UTF-8 or UTF-16
//    encoding made of its value; it is reused while big enough, and its
//    content is valid only until the next conversion of the same value.
//
// The codecs live in utf8.h and utf16.h; this file holds the storage rule,
// the scratch buffers and the single-byte code page loader.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace vyn::unicode {

constexpr uint32_t MAX_CODEPOINT = 0x10FFFF;
// U+D800-U+DFFF: a string may hold them (a "^(D800)" escape), but their
// UTF-8 form is no valid text, so text written out escapes them.
inline bool is_surrogate(uint32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// Ends the process: a unit width other than 1, 2 or 4 is an internal fault.
[[noreturn]] void bad_width(uint32_t width);

// The narrowest width that holds a codepoint.
inline uint32_t width_for(uint32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

inline uint32_t get_unit(const uint8_t* at, uint32_t width) {
	switch (width) {
	case 1: return *at;
	case 2: {
		uint16_t u;
		std::memcpy(&u, at, 2);
		return u;
	}
	case 4: {
		uint32_t u;
		std::memcpy(&u, at, 4);
		return u;
	}
	default: bad_width(width);
	}
}

// Writes a unit that fits the width (the caller has widened).
inline void put_unit(uint8_t* at, uint32_t width, uint32_t cp) {
	switch (width) {
	case 1: *at = uint8_t(cp); return;
	case 2: {
		uint16_t u = uint16_t(cp);
		std::memcpy(at, &u, 2);
		return;
	}
	case 4: std::memcpy(at, &cp, 4); return;
	default: bad_width(width);
	}
}

// Units between the buffer's first unit and its tail (a shift: unit sizes
// are powers of two, and a division costs tens of cycles).
inline uint32_t unit_count(const Series* s) { return s->used() >> __builtin_ctz(s->unit()); }
inline uint8_t* unit_at(Series* s, uint32_t index) { return s->head_ptr() + size_t(index) * s->unit(); }

// Pulls a string value's head index back to the tail when it lies past it;
// answers the head index.
inline uint32_t clamp_head(Cell* value) {
	uint32_t units = unit_count(memory::buffer_of(value));
	if (value->data1 > units) value->data1 = units;
	return value->data1;
}

// Grows a buffer to hold at least `bytes` from its first unit, copying only
// its text (the capacity past the tail is not worth copying); the node
// follows the buffer.
Series* grow(Series* s, uint64_t bytes);

// Widening in place, units rewritten from last to first. Each answers the
// buffer, which may have moved (its node follows it).
Series* widen_1_to_2(Series* s);
Series* widen_1_to_4(Series* s);
Series* widen_2_to_4(Series* s);
// Widens to `width` (wider than the buffer's) through the three above.
Series* widen(Series* s, uint32_t width);

// Stores a codepoint at unit `index` (below the unit count), widening first
// when it does not fit: a width-1 buffer above 0xFF, a width-2 one above
// 0xFFFF. Answers the buffer, which may have moved.
Series* store(Series* s, uint32_t index, uint32_t cp);

// The value's scratch buffer with room for at least `size` bytes: made on
// first use and recorded in word 3, grown when too small.
uint8_t* scratch_buffer(Cell* value, uint32_t size);

// What the loaders answer: the filled buffer's node and its tail (bytes).
struct Loaded {
	Node node;
	uint32_t tail;
};

// Prepares the buffer a loader decodes into, from its first unit: `node`'s
// own (emptied, grown to hold `units` units, set to `width`) or, when node
// is 0, a new one, whose node is written back.
Series* reset_target(Node& node, uint32_t units, uint32_t width);

// Windows-1251 bytes into the value's buffer (or a new one when value is
// null). The buffer keeps its width unless the text needs a wider one. With
// `cr`, CR LF becomes LF and a lone CR becomes LF.
Loaded load_cp1251(const uint8_t* bytes, uint32_t count, Cell* value, bool cr);

// The code page's codepoints for bytes 0x80-0xFF.
extern const uint16_t cp1251_high[128];

}  // namespace vyn::unicode
