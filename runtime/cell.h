// Value cells: the 16-byte unit of every block, stack slot and variable.
//
// Word 0 is the header: the datatype id in bits 0-7, flags above (bit 30:
// a new line precedes the value in source). Words 1-3 are the payload, laid
// out by each datatype. A payload word never holds a machine address: series
// and contexts are reached through 32-bit node handles (memory.h).
// Cells are trivially copyable; the collector moves them with memmove.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vyn {

using Node = uint32_t;  // node handle; 0 is null

enum Type : uint8_t {
	T_DATATYPE = 1, T_UNSET, T_NONE, T_LOGIC, T_BLOCK, T_PAREN, T_STRING, T_FILE,
	T_URL, T_CHAR, T_INTEGER, T_FLOAT, T_SYMBOL, T_CONTEXT, T_WORD, T_SET_WORD,
	T_LIT_WORD, T_GET_WORD, T_REFINEMENT, T_ISSUE, T_NATIVE, T_ACTION, T_OP,
	T_FUNCTION, T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH, T_ROUTINE, T_BITSET,
	T_TRIPLE, T_OBJECT, T_TYPESET, T_ERROR, T_VECTOR, T_HASH, T_PAIR, T_PERCENT,
	T_TUPLE, T_MAP, T_BINARY, T_SERIES, T_TIME, T_TAG, T_EMAIL, T_HANDLE, T_DATE,
	T_PORT, T_MONEY, T_REF, T_POINT2D, T_POINT3D, T_IMAGE, T_EVENT,
	TYPE_COUNT  // one past the last id
};

constexpr uint32_t TYPE_MASK = 0xFFu;
constexpr uint32_t FLAG_NEW_LINE = 0x40000000u;

struct Cell {
	uint32_t header;
	uint32_t data1;
	uint32_t data2;
	uint32_t data3;
};
static_assert(sizeof(Cell) == 16);
static_assert(std::is_trivially_copyable_v<Cell>);

namespace cell {

inline Type type_of(const Cell* c) { return Type(c->header & TYPE_MASK); }
inline bool is(const Cell* c, Type t) { return type_of(c) == t; }

// Writes the id into the header's low byte, keeping the flag bits.
inline Cell* set_type(Cell* c, Type t) {
	c->header = (c->header & ~TYPE_MASK) | t;
	return c;
}

inline void clear_new_line(Cell* c) { c->header &= ~FLAG_NEW_LINE; }
inline bool new_line(const Cell* c) { return (c->header & FLAG_NEW_LINE) != 0; }

inline Cell* copy(const Cell* src, Cell* dst) {
	if (src != dst) *dst = *src;
	return dst;
}

// Writes a whole cell (words 0-1 in `low`, 2-3 in `high`) as one 16-byte
// store: a cell is mostly copied whole soon after, and a 16-byte load of
// what narrower stores just wrote stalls until they reach the cache.
inline void store(Cell* c, uint64_t low, uint64_t high) {
#if defined(__SSE2__)
	_mm_storeu_si128(reinterpret_cast<__m128i*>(c), _mm_set_epi64x(int64_t(high), int64_t(low)));
#else
	std::memcpy(c, &low, sizeof low);
	std::memcpy(&c->data2, &high, sizeof high);
#endif
}

inline void set(Cell* c, uint32_t header, uint32_t d1 = 0, uint32_t d2 = 0, uint32_t d3 = 0) {
	store(c, header | uint64_t(d1) << 32, d2 | uint64_t(d3) << 32);
}

// Doubles live in words 2-3, low half in word 2 (little-endian order).
inline double get_double(const Cell* c) {
	double d;
	std::memcpy(&d, &c->data2, sizeof d);
	return d;
}
inline void put_double(Cell* c, double d) { std::memcpy(&c->data2, &d, sizeof d); }

inline void make_unset(Cell* c) { set(c, T_UNSET); }
inline void make_none(Cell* c) { set(c, T_NONE); }
inline void make_logic(Cell* c, bool b) { set(c, T_LOGIC, b ? 1 : 0); }
inline void make_integer(Cell* c, int32_t v) { set(c, T_INTEGER, 0, uint32_t(v)); }
inline int32_t get_integer(const Cell* c) { return int32_t(c->data2); }
inline void make_float(Cell* c, double d) {
	uint64_t bits;
	std::memcpy(&bits, &d, sizeof bits);
	store(c, T_FLOAT, bits);
}

}  // namespace cell
}  // namespace vyn
