// tuple!: 3 to 12 bytes written with dots (1.2.3, 255.0.0.128): version
// numbers and, above all, colours (red, green, blue, then alpha).
//
// Cell: the header holds the byte count in bits 19-22 (3 to 12); the bytes
// fill cell bytes 4-15 in order (byte 1 at cell byte 4), and the bytes past
// the count are always 0, so two tuples compare bytewise over the longer
// length with the missing bytes as 0.
// Arithmetic saturates: every byte is clamped to 0..255.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::tuple {

constexpr uint32_t MIN_SIZE = 3;
constexpr uint32_t MAX_SIZE = 12;
constexpr uint32_t SIZE_SHIFT = 19;
constexpr uint32_t SIZE_MASK = 0xFu << SIZE_SHIFT;

inline uint32_t size_of(const Cell* t) { return (t->header & SIZE_MASK) >> SIZE_SHIFT; }
inline uint8_t* bytes_of(Cell* t) { return reinterpret_cast<uint8_t*>(&t->data1); }
inline const uint8_t* bytes_of(const Cell* t) { return reinterpret_cast<const uint8_t*>(&t->data1); }

// A tuple of `count` bytes (MIN_SIZE..MAX_SIZE) in `out`.
Cell* make_at(Cell* out, uint32_t count, const uint8_t* bytes);
// Pushes a tuple whose 12 bytes are packed little-endian in three words
// (byte 1 the low byte of w1).
Cell* push(uint32_t count, uint32_t w1, uint32_t w2, uint32_t w3);
// Pushes a tuple of the low bytes of the integers; fewer than 3 are padded
// with zero bytes.
Cell* push_ints(uint32_t count, const int32_t* ints);
// True when every byte is 0.
bool zero_q(const Cell* t);

// The arithmetic worker: the frame's two argument slots, one a tuple (a
// number first is `number op tuple`); the tuple result replaces the first
// slot and is answered.
Cell* do_math(MathOp op);

Cell* to(Cell* proto, Cell* spec, Type type);
// The tuple of a hexadecimal colour name (to tuple! of an issue!): 3 digits
// (each d gives d x 17), 6 or 8; `issue` is the invalid-data argument.
Cell* from_hex(Cell* out, const uint8_t* name, uint32_t length, const Cell* issue);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
	int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
Cell* pick(Cell* t, int32_t index, const Cell* boxed);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous,
	int32_t index, bool case_sensitive, bool get, bool last, bool notify);
Cell* reverse(Cell* t, const Cell* part, const Cell* skip);
Cell* complement(Cell* t);
int32_t length_q(Cell* t);
Cell* random(Cell* t, bool seed, bool secure, bool only);

void init_type();

}  // namespace vyn::tuple
