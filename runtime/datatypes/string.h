// The string toolbox under every string-family datatype: building strings,
// appending codepoints and text, and raw access at any unit width. Every
// form and mold writes its output through append_char and append_literal.
//
// A string value: word 1 head index in units (may lie past the tail; readers
// clamp it), word 2 buffer node, word 3 scratch buffer node or 0.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/unicode.h"

namespace vyn::string {

// Empty string! of width 1 and capacity max(size, 1) bytes, built in `out`.
Cell* make_at(Cell* out, uint32_t size);
// Empty string! of `units` units of the given width.
Cell* make_at_unit(Cell* out, uint32_t units, uint32_t width);
// Empties in place: width back to 1, tail at the first unit, head 0.
void reset(Cell* value);

// Units from the (clamped) head to the tail.
inline uint32_t vs_length(Cell* value) {
	Series* s = memory::buffer_of(value);
	uint32_t units = unicode::unit_count(s);
	uint32_t head = unicode::clamp_head(value);
	return units - head;
}
inline uint8_t* vs_head(Cell* value) {
	uint32_t head = unicode::clamp_head(value);
	return unicode::unit_at(memory::buffer_of(value), head);
}
inline uint8_t* vs_tail(Cell* value) { return memory::buffer_of(value)->tail_ptr(); }
inline uint32_t width_of(const Cell* value) { return memory::buffer_of(value)->unit(); }

// Appends one codepoint; a width-1 buffer keeps width 1 only for 0-0x7F.
void append_char(Cell* buffer, uint32_t cp);
// Appends each byte as a Latin-1 codepoint.
void append_bytes(Cell* buffer, const uint8_t* bytes, uint32_t n);
inline void append_literal(Cell* buffer, std::string_view text) {
	if (!text.empty()) append_bytes(buffer, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
}
// Appends UTF-8 text, decoded.
void append_utf8(Cell* buffer, const uint8_t* bytes, uint32_t n);
// Appends the units of another string value from its head (count < 0: all).
void append_string(Cell* buffer, Cell* source, int32_t count);

// A new string! of UTF-8 text, built in `out`.
Cell* load_at(Cell* out, const uint8_t* bytes, uint32_t size);
inline Cell* load_at(Cell* out, std::string_view text) {
	return load_at(out, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
}

// Moves the tail back to first unit + n units (never forward).
void truncate(Cell* value, uint32_t n);

}  // namespace vyn::string
