// binary!: the byte string (type id 41, parent string!), written "#{0A1B}"
// in source, the exchange type of files read as bytes, checksums,
// compressed and serialised data.
//
// Cell: word 1 head index (a byte offset from the buffer's first byte; a
// head past the tail reads as the tail), word 2 node of a unit-1 buffer.
// The value's bytes run from the head to the buffer's tail. Multi-byte
// numbers convert to big-endian bytes.
//
// The bytes a value stands for in append, insert, change and to (a char's
// UTF-8, an integer's single byte, a text's UTF-8, a tuple's bytes, a
// block's values in turn) are counted first and written second, so a
// change grows the buffer at most once. Nothing keeps a buffer address
// across a growth: positions are byte offsets re-derived through the node.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/registry.h"

namespace vyn::binary {

// ---- Access ----

// Bytes from the (clamped) head to the tail.
inline uint32_t vs_length(const Cell* value) {
	Series* s = memory::buffer_of(value);
	uint32_t used = s->used();
	return value->data1 < used ? used - value->data1 : 0;
}
inline uint8_t* vs_head(const Cell* value) {
	Series* s = memory::buffer_of(value);
	uint32_t used = s->used();
	return s->head_ptr() + (value->data1 < used ? value->data1 : used);
}
// The byte at an index counted from the buffer's first byte (below the tail).
inline uint8_t byte_at(const Cell* value, uint32_t index) { return memory::buffer_of(value)->head_ptr()[index]; }

// ---- Building ----

// Makes `out` an empty binary! (head 0) with room for `capacity` bytes.
Cell* make_at(Cell* out, uint32_t capacity);
// A new binary! holding a copy of the bytes, at the tail of a block value
// (or on the data stack when `block` is null).
Cell* load_in(const uint8_t* bytes, uint32_t count, const Cell* block);
inline Cell* load(const uint8_t* bytes, uint32_t count) { return load_in(bytes, count, nullptr); }
// Pushes a copy of the cell on the data stack.
Cell* push(const Cell* value);
// Appends bytes at the tail, growing the buffer; answers where they went.
uint8_t* append_bytes(Cell* value, const uint8_t* bytes, uint32_t count);
// Inserts bytes at head + offset, moving the following bytes up.
uint8_t* insert_bytes(Cell* value, uint32_t offset, const uint8_t* bytes, uint32_t count);
// Stores the low byte of an integer! or char!; other values raise invalid-arg.
void set_value(uint8_t* at, const Cell* value);

// ---- Comparison and matching ----

// -2 when `right` is not a binary!, else -1, 0 or 1 (equality codes answer
// 0 or 1). In prefix mode only the right value's length is compared.
int32_t compare_bytes(const Cell* left, const Cell* right, CompareOp op, bool prefix);
// Whether the value's bytes (a text's UTF-8, a binary's bytes) begin the
// binary at its head, or a char's code equals the head byte.
bool match(const Cell* binary, const Cell* value, CompareOp op);
// The bytes that a text's UTF-8, a binary's bytes or a char's code match at
// `at` (with `room` bytes there), or -1 when they do not match there.
int64_t match_at(const uint8_t* at, uint32_t room, const Cell* value);
// Whether the head byte is in the bitset (beyond its bytes: its
// complement flag).
bool match_bitset(const Cell* binary, const Cell* bitset);

// ---- Text forms ----

// Decodes text of a base (2, 16, 58 or 64) into a new binary! in `out`;
// false (out untouched) when the text is invalid.
bool decode_at(Cell* out, int32_t base, const uint8_t* text, uint32_t count, uint32_t width);
// Writes `bytes` in hexadecimal as mold does into a string! buffer
// (line breaks and indentation past 30 bytes unless flat); answers the
// part limit left.
int32_t mold_bytes(const uint8_t* bytes, uint32_t count, Cell* buffer, bool only, bool flat, int32_t part,
	int32_t indent);

// ---- The binary! row ----

Cell* to(Cell* proto, Cell* spec, Type type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
Cell* and_t();
Cell* or_t();
Cell* xor_t();
Cell* complement(Cell* value);
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell* trim(Cell* series, bool head, bool tail, bool automatic, bool lines, bool all, const Cell* with);

// Registers binary! (after string!).
void init_type();

}  // namespace vyn::binary
