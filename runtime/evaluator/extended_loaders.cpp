// Token loaders of the literals whose datatypes live in their own modules:
// pairs, tuples, points, money, dates, refs and binaries.
#include "runtime/evaluator/extended_loaders.h"

#include <cmath>
#include <cstring>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/binary_base.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/point3d.h"
#include "runtime/datatypes/ref.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/token_loaders.h"

namespace vyn::lexer {

namespace {

constexpr uint32_t FLAG_POINT = 0x10000000u;

int32_t integer_part(Scan& s, const uint8_t* start, const uint8_t* end, const uint8_t* token_end) {
	int32_t error = 0;
	int32_t v = scan_integer(start, 1, uint32_t(end - start), &error);
	if (error || start == end) fail(s, start, token_end, T_PAIR);
	return v;
}

void pair_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	if (flags & FLAG_POINT) fail(s, start, end, T_PAIR);
	const uint8_t* x = start;
	while (x < end && *x != 'x' && *x != 'X') x++;
	if (x == end) fail(s, start, end, T_PAIR);
	int32_t a = integer_part(s, start, x, end);
	int32_t b = integer_part(s, x + 1, end, end);
	if (build) pair::make_at(emit(s), a, b);
}

void tuple_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	uint8_t bytes[12];
	uint32_t count = 0;
	const uint8_t* p = start;
	while (p <= end) {
		const uint8_t* q = p;
		uint32_t v = 0;
		while (q < end && *q >= '0' && *q <= '9') {
			v = v * 10 + uint32_t(*q - '0');
			if (v > 255) fail(s, start, end, T_TUPLE);
			q++;
		}
		if (q == p || count == 12 || (q < end && *q != '.')) fail(s, start, end, T_TUPLE);
		bytes[count++] = uint8_t(v);
		p = q + 1;
	}
	if (count < 3) fail(s, start, end, T_TUPLE);
	if (build) tuple::make_at(emit(s), count, bytes);
}

void date_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	Cell value;
	if (!date::scan(start, end, &value)) fail(s, start, end, T_DATE);
	if (build) *emit(s) = value;
}

void money_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	Cell value;
	spans::Units text{start, uint32_t(end - start), 1};
	if (!money::scan(text, &value)) fail(s, start, end, T_MONEY);
	if (build) *emit(s) = value;
}

// "(x, y)" or "(x, y, z)": the token runs from after "(" to after ")".
void point_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	float c[3];
	int n = 0;
	const uint8_t* p = start;
	bool closed = false;
	while (p < end && !closed) {
		while (p < end && (*p == ' ' || *p == '\t')) p++;
		const uint8_t* q = p;
		while (q < end && *q != ',' && *q != ')' && *q != ' ' && *q != '\t') q++;
		if (q == p || n == 3 || q - p >= 313) fail(s, start, end, n == 2 ? T_POINT3D : T_POINT2D);
		// A component with "#" is a special float (a float32 overflow molds
		// as "1.#INF").
		int32_t error = 0;
		double d;
		if (std::memchr(p, '#', size_t(q - p)))
			error = special_float(p, q, &d) ? 0 : -1;
		else
			d = scan_float(p, 1, uint32_t(q - p), &error);
		if (error) fail(s, start, end, T_POINT2D);
		c[n++] = float(d);
		while (q < end && (*q == ' ' || *q == '\t')) q++;
		if (q < end && *q == ')') closed = true;
		p = q + 1;
	}
	Type t = n == 3 ? T_POINT3D : T_POINT2D;
	if (!closed || n < 2) fail(s, start, end, t);
	if (!build) return;
	if (n == 2)
		point2D::make_at(emit(s), c[0], c[1]);
	else
		point3D::make_at(emit(s), c[0], c[1], c[2]);
}

// "@name": the text after the at-sign, whose bytes must be UTF-8 as a
// string's must.
void ref_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	if (end - start < 1 || *start != '@') fail(s, start, end, T_REF);
	if (build)
		load_text(s, emit(s), start + 1, end, flags, false, T_REF);
	else
		check_text(s, start + 1, end, false, T_REF);
}

// "#{...}" with an optional decimal base before the "#": 16 (the default),
// 64 or 2.
void binary_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	const uint8_t* hash = start;
	uint32_t base = 0;
	while (hash < end && *hash >= '0' && *hash <= '9') {
		if (base < 1000) base = base * 10 + uint32_t(*hash - '0');
		hash++;
	}
	if (hash == start) base = 16;
	if (end - hash < 3 || hash[0] != '#' || hash[1] != '{' || end[-1] != '}') fail(s, start, end, T_BINARY);
	const uint8_t* body = hash + 2;
	uint32_t count = uint32_t(end - 1 - body);
	uint64_t room = binary::decoded_room(int32_t(base), count);
	if (room == 0) fail(s, start, end, T_BINARY);
	Cell value;
	binary::make_at(&value, uint32_t(room));
	Series* buffer = memory::buffer_of(&value);
	int64_t n = binary::decode_literal(buffer->head_ptr(), int32_t(base), body, count);
	if (n < 0) fail(s, start, end, T_BINARY);
	buffer->tail = buffer->head + uint32_t(n);
	if (build) *emit(s) = value;
}

}  // namespace

void install_extended_loaders() {
	extended.binary = binary_loader;
	extended.ref = ref_loader;
	extended.pair = pair_loader;
	extended.tuple = tuple_loader;
	extended.money = money_loader;
	extended.date = date_loader;
	extended.point = point_loader;
}

}  // namespace vyn::lexer
