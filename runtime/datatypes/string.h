// The string toolbox under every string-family datatype (string!, file!,
// url!, tag!, email!, ref!) and the byte series that reuse its buffers
// (binary!, vector!): raw access at any unit width, storing codepoints with
// widening, concatenation, comparison and matching of texts, building
// strings from C text, and the hexadecimal formatters. Every form and mold
// writes its output through append_char and append_literal.
//
// A string value: word 1 head index in units (may lie past the tail; every
// reader clamps it back to the tail first), word 2 buffer node, word 3
// scratch buffer node or 0. Widths follow unicode.h: a buffer is widened in
// place when a store does not fit, never narrowed except by reset.
//
// Nothing here keeps a buffer address across a call that may grow that
// buffer: positions are unit indexes, addresses are re-derived through the
// node after every growth.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/datatypes/series.h"
#include "runtime/memory.h"
#include "runtime/registry.h"
#include "runtime/unicode.h"

namespace vyn::string {

// The most units a text may hold: its length and indexes are integer! values.
constexpr uint64_t MAX_UNITS = 0x7FFFFFFF;

// string!, file!, url!, tag!, email!, ref!
using series::any_string;
inline bool any_string(const Cell* c) { return any_string(cell::type_of(c)); }

// ---- Access ----

inline uint32_t width_of(const Cell* value) { return memory::buffer_of(value)->unit(); }
// Units from the buffer's first unit to the tail.
inline uint32_t abs_length(const Cell* value) { return series::units(memory::buffer_of(value)); }
// Pulls the head back to the tail when it lies past it; answers the head.
inline uint32_t clamp_head(Cell* value) {
	uint32_t units = abs_length(value);
	if (value->data1 > units) value->data1 = units;
	return value->data1;
}
// Units from the (clamped) head to the tail.
inline uint32_t vs_length(Cell* value) {
	uint32_t units = abs_length(value);
	if (value->data1 > units) value->data1 = units;
	return units - value->data1;
}
inline uint8_t* vs_head(Cell* value) {
	uint32_t head = clamp_head(value);
	return memory::buffer_of(value)->head_ptr() + size_t(head) * width_of(value);
}
inline uint8_t* vs_tail(Cell* value) { return memory::buffer_of(value)->tail_ptr(); }
inline bool vs_tail_q(const Cell* value) { return value->data1 >= abs_length(value); }
// Moves the head n units forward when that stays within the tail; answers
// whether the head is then at or past the tail.
bool advance(Cell* value, uint32_t n);
inline bool next(Cell* value) { return advance(value, 1); }
inline uint32_t get_char(const uint8_t* at, uint32_t width) { return unicode::get_unit(at, width); }
inline uint32_t abs_char_at(const Cell* value, uint32_t index) {
	Series* s = memory::buffer_of(value);
	return unicode::get_unit(unicode::unit_at(s, index), s->unit());
}
// Offset from the head of the first unit equal to cp, or -1.
int32_t find_char(Cell* value, uint32_t cp);
// Whether cp occurs at head, head + step, head + 2 step ...; without
// case_sensitive both sides are folded to upper case.
bool contains_char(Cell* value, uint32_t cp, uint32_t step, bool case_sensitive);
// Whether the text from the head begins with the ASCII bytes.
bool starts_with_ascii(Cell* value, std::string_view bytes);

// A symbol! stands for its name string (head 0) where texts are compared
// or joined: answers the value itself, or the name string made in scratch.
Cell* text_value(Cell* value, Cell& scratch);

// A text range: units of one width at an address, valid until the buffer
// it lies in grows.
struct Text {
	const uint8_t* at;
	uint32_t length;
	uint32_t width;
	uint32_t unit(uint32_t i) const { return unicode::get_unit(at + size_t(i) * width, width); }
};
inline Text text_of(Cell* value) {
	Series* s = memory::buffer_of(value);
	uint32_t w = s->unit();
	uint32_t units = series::units(s);
	if (value->data1 > units) value->data1 = units;
	return {s->head_ptr() + size_t(value->data1) * w, units - value->data1, w};
}

// ---- Building ----

// Empty string! of width 1 and capacity max(size, 1) bytes, built in `out`.
Cell* make_at(Cell* out, uint32_t size);
// Empty string! of `units` units of the given width.
Cell* make_at_unit(Cell* out, uint32_t units, uint32_t width);
// Empties in place: width back to 1, tail at the first unit, head 0.
void reset(Cell* value);
// Moves the tail back to first unit + n units (never forward).
void truncate(Cell* value, uint32_t n);
// Removes count units at an index from the buffer's first unit.
void remove_part(Cell* value, uint32_t index, uint32_t count);
inline void remove_char(Cell* value, uint32_t index) { remove_part(value, index, 1); }

// Appends one codepoint; a width-1 buffer keeps width 1 only for 0-0x7F.
void append_char(Cell* buffer, uint32_t cp);
// Appends each byte as a Latin-1 codepoint (widening above 0x7F).
void append_bytes(Cell* buffer, const uint8_t* bytes, uint32_t n);
// An empty text appends nothing.
inline void append_literal(Cell* buffer, std::string_view text) {
	if (!text.empty()) append_bytes(buffer, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
}
// Appends UTF-8 text, decoded; malformed input raises invalid-utf8.
void append_utf8(Cell* buffer, const uint8_t* bytes, uint32_t n);
// Appends n units of a text lying outside the buffer's own data, widening
// the buffer to the source's width first.
void append_units(Cell* buffer, const uint8_t* units, uint32_t width, uint32_t n);
// Appends n units of the buffer `source` from unit index `from`; the source
// may be the target's own buffer.
void append_range(Cell* buffer, Node source, uint32_t from, uint32_t n);
// Appends the units of another string value from its head (count < 0: all).
void append_string(Cell* buffer, Cell* source, int32_t count);
// Appends the text a value stands for in append, insert and change: a
// string's units from its head, a char, a tag's text in angle brackets,
// each value of a block formed without separators, any other value formed.
// part (negative: no limit) counts units, except for a block without
// `only`, where it counts values.
void append_value_text(Cell* buffer, Cell* value, int32_t part, bool only);
// A new value of `type` in `out` holding a copy of the source's units from
// its head (count < 0: all).
Cell* copy_text(Cell* out, Cell* source, int32_t count, Type type);

// Stores cp at unit index (below the unit count), widening a width-1 buffer
// above 0xFF and a width-2 one above 0xFFFF. Answers the buffer.
inline Series* poke_char(Series* s, uint32_t index, uint32_t cp) { return unicode::store(s, index, cp); }
// Stores cp at an index from the first unit, widening and growing as
// needed; at or past the tail the tail moves to just after it (units
// between the old tail and the index read as 0).
Series* overwrite_char(Series* s, uint32_t index, uint32_t cp);
// Opens one unit at the index (the rest moves up) and stores cp there.
Series* insert_char(Series* s, uint32_t index, uint32_t cp);
// Widens a buffer to `width` (no change when already as wide).
inline Series* widen_to(Series* s, uint32_t width) { return s->unit() < width ? unicode::widen(s, width) : s; }
// Makes room for `units` more units of the buffer's width past its tail.
Series* reserve(Series* s, uint64_t units);

// Exchanges two adjacent memory blocks [a, a + la) and [a + la, a + la + lb).
void rotate_blocks(uint8_t* a, size_t la, size_t lb);

// Concatenation modes.
enum Mode : uint8_t { APPEND = 0, INSERT = 1, OVERWRITE = 2 };
// Writes `count` units of source from its head (negative or too large: all
// of them) into target: at its tail (APPEND), or at target head + offset,
// opening a gap (INSERT) or writing over it (OVERWRITE, the tail moving
// only when the written range ends beyond it). The target is widened to the
// source's width; the source (a text or a symbol!) is never changed and may
// share the target's buffer (its units are read as they were before the
// write).
void concatenate(Cell* target, Cell* source, int32_t count, uint32_t offset, Mode mode);

// ---- Conversion from C data ----

// Encodings of load_at.
constexpr int32_t ENC_UTF8 = 0;
constexpr int32_t ENC_UTF16LE = -1;
// A new string! in `out`: UTF-8 (byte-order mark skipped, size in bytes)
// or UTF-16LE (size in 16-bit units). Any other encoding prints
// "*** Loading Error: input encoding unsupported" and ends the process.
Cell* load_at(Cell* out, const uint8_t* bytes, uint32_t size, int32_t encoding = ENC_UTF8);
inline Cell* load_at(Cell* out, std::string_view text) {
	return load_at(out, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
}
// load_at into a new cell on the data stack.
Cell* load(const uint8_t* bytes, uint32_t size, int32_t encoding = ENC_UTF8);
// load_at into a new cell at the tail of a block value.
Cell* load_in(const uint8_t* bytes, uint32_t size, Cell* block, int32_t encoding = ENC_UTF8);
// A new string! of UTF-8 bytes in `out`; bytes left over by a sequence cut
// at the end raise invalid-utf8 with a binary! of them.
Cell* load_utf8_checked(Cell* out, const uint8_t* bytes, uint32_t size);
// Pushes a copy of the value on the data stack.
Cell* push(const Cell* value);
// The float! value of a decimal text of any width (NaN, error set, when it
// is not one).
double scan_float(const uint8_t* at, uint32_t length, uint32_t width, bool* error);

// Upper-case hexadecimal digits.
struct Hex {
	char text[8];
	uint32_t length;
	std::string_view view() const { return {text, length}; }
};
Hex byte_to_hex(uint8_t byte);
// Eight digits, a negative value padded with F; short drops leading zeros
// (0 gives "00").
Hex int_to_hex(int32_t value, bool short_form);

// ---- Comparison and matching ----

// -1, 0 or 1 under a comparison code (equality codes: 0 equal, 1 not).
// Codes 2 and 8 compare exactly, the others fold both sides to upper case.
// In match mode value 2 must be a prefix of value 1. Either may be a symbol!.
int32_t compare_strings(Cell* value1, Cell* value2, CompareOp op, bool match);
// Compares two text ranges the same way (not in match mode).
int32_t compare_texts(const Text& a, const Text& b, CompareOp op);
// Whether the value matches the text at its head.
bool match_value(Cell* text, Cell* value, CompareOp op);
// Whether the text has "<" at its head and ">" just after the tag's text.
bool tag_enclosed(Cell* text, Cell* tag);
// Whether a bitset! holds cp (beyond its bits: its complement flag).
bool bitset_has(const Cell* bitset, uint32_t cp);

// ---- Escapes ----

// Appends cp as mold writes it: "^(hex)" for 30, 0x80-0x9F and (with all)
// anything above 0x7F; with escape, the caret forms of the escape table;
// otherwise the character. Answers the characters written.
uint32_t append_escaped_char(Cell* buffer, uint32_t cp, bool escape, bool all);

// ---- Ownership ----

// Tells the owner of a modified series (ownership::check) about a change:
// the action word before it, its past form after it. Null until the
// ownership table is in place.
extern void (*notify_hook)(Cell* series, const char* action, uint32_t index, uint32_t part);
inline void notify(Cell* series, const char* action, uint32_t index, uint32_t part) {
	if (notify_hook && (memory::buffer_of(series)->flags & SERIES_OWNED)) notify_hook(series, action, index, part);
}

// ---- The string! row's entries, for the types that reuse them ----

void init_type();

Cell* make(Cell* proto, Cell* spec, Type type);
Cell* to(Cell* proto, Cell* spec, Type type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
// Mold in double quotes whatever the text holds: a path segment cannot be a
// braced string.
int32_t mold_in_quotes(const Cell* value, Cell* buffer, bool all, const Cell* arg, int32_t part);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous,
	int32_t index, bool case_sensitive, bool get, bool last, bool notify);
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell* find(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* select(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse);
Cell* sort(Cell* series, bool case_sensitive, const Cell* skip, const Cell* compare, const Cell* part, bool all,
	bool reverse, bool stable);
Cell* swap(Cell* series1, Cell* series2);
Cell* take(Cell* series, const Cell* part, bool deep, bool last);
Cell* trim(Cell* series, bool head, bool tail, bool automatic, bool lines, bool all, const Cell* with);

// Sort comparators by unit width, and for vectors of 32- and 64-bit floats
// and of signed integers: (record a, record b, case flag, sort flags word).
int32_t sort_compare_1(const void* a, const void* b, uint32_t case_sensitive, uint32_t flags);
int32_t sort_compare_2(const void* a, const void* b, uint32_t case_sensitive, uint32_t flags);
int32_t sort_compare_4(const void* a, const void* b, uint32_t case_sensitive, uint32_t flags);
int32_t sort_compare_f32(const void* a, const void* b, uint32_t case_sensitive, uint32_t flags);
int32_t sort_compare_f64(const void* a, const void* b, uint32_t case_sensitive, uint32_t flags);
int32_t sort_compare_i8(const void* a, const void* b, uint32_t case_sensitive, uint32_t flags);
int32_t sort_compare_i16(const void* a, const void* b, uint32_t case_sensitive, uint32_t flags);
int32_t sort_compare_i32(const void* a, const void* b, uint32_t case_sensitive, uint32_t flags);

// Sorts `count` cells that are all texts of one type (a block's records of
// one cell) by their text under the sort code (COMP_SORT folds to upper case,
// COMP_CASE_SORT is exact), descending with `reverse`; equal texts keep their
// order. Answers false, changing nothing, when the cells are not all texts
// of one type.
bool sort_text_cells(Cell* first, uint32_t count, CompareOp code, bool reverse);

// Set-operation codes of the set natives.
enum SetOp : int32_t { SET_UNIQUE = 8, SET_UNION, SET_INTERSECT, SET_EXCLUDE, SET_DIFFERENCE };
// The set operations on texts, record by record (records of `skip` units,
// 1 without it; only a record's first unit is compared, folded to upper
// case unless case_sensitive). The operands are the first two cells of the
// current frame; the result, a new value of the first operand's type,
// replaces the first.
void do_set_op(int32_t op, bool case_sensitive, const Cell* skip);

// The three trimming workers.
void trim_with(Cell* series, const Cell* set);
void trim_lines(Cell* series);
void trim_head_tail(Cell* series, bool head, bool tail);

}  // namespace vyn::string
