#include "runtime/datatypes/binary.h"

#include <algorithm>
#include <cstring>

#include "runtime/datatypes/binary_base.h"
#include "runtime/datatypes/binary_internal.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
#include "runtime/utf8.h"

namespace vyn::binary {

// ---- Building ----

Cell* make_at(Cell* out, uint32_t capacity) {
	cell::set(out, T_BINARY, 0, memory::alloc_bytes(capacity ? capacity : 1), 0);
	return out;
}

Cell* load_in(const uint8_t* bytes, uint32_t count, const Cell* block) {
	Cell value;
	make_at(&value, count);
	Series* s = memory::buffer_of(&value);
	if (count) std::memcpy(s->head_ptr(), bytes, count);
	s->tail = s->head + count;
	Cell* out = block ? memory::alloc_tail(block) : stack::alloc_slot();
	*out = value;
	return out;
}

Cell* push(const Cell* value) { return stack::push(value); }

void set_value(uint8_t* at, const Cell* value) {
	if (!cell::is(value, T_INTEGER) && !cell::is(value, T_CHAR)) errors::fire(errors::id::script_invalid_arg, value);
	*at = uint8_t(value->data2);
}

bool decode_at(Cell* out, int32_t base, const uint8_t* text, uint32_t count, uint32_t width) {
	uint64_t room = decoded_room(base, count);
	if (room == 0 || room > MAX_BYTES) return false;
	Cell value;
	make_at(&value, uint32_t(room));
	Series* s = memory::buffer_of(&value);
	int64_t n;
	switch (base) {
	case 2: n = decode_base2(s->head_ptr(), text, count, width); break;
	case 16: n = decode_base16(s->head_ptr(), text, count, width); break;
	case 58: n = decode_base58(s->head_ptr(), text, count, width); break;
	default: n = decode_base64(s->head_ptr(), text, count, width); break;
	}
	if (n < 0) return false;
	s->tail = s->head + uint32_t(n);
	*out = value;
	return true;
}

// ---- Comparison and matching ----

int32_t compare_bytes(const Cell* left, const Cell* right, CompareOp op, bool prefix) {
	if (!cell::is(right, T_BINARY)) return COMPARE_UNRELATED;
	bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND_SELECT;
	uint32_t h1 = std::min(left->data1, memory::buffer_of(left)->used());
	uint32_t h2 = std::min(right->data1, memory::buffer_of(right)->used());
	bool same = left->data2 == right->data2 && h1 == h2;
	if (op == COMP_SAME) return same ? 0 : -1;
	if (same && equality) return 0;
	uint32_t n1 = vs_length(left), n2 = vs_length(right);
	if (prefix) {
		if (n2 == 0 && (op == COMP_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND_SELECT)) return 0;
		if (n1 > n2) n1 = n2;
	} else if (n1 != n2 && equality) {
		return 1;
	}
	int c = std::memcmp(vs_head(left), vs_head(right), std::min(n1, n2));
	if (c) return c < 0 ? -1 : 1;
	return n1 == n2 ? 0 : n1 < n2 ? -1 : 1;
}

int64_t match_at(const uint8_t* at, uint32_t room, const Cell* value) {
	Type t = cell::type_of(value);
	if (t == T_CHAR) return room > 0 && *at == value->data2 ? 1 : -1;
	if (t == T_BINARY) {
		spans::Bytes b = spans::bytes_of(value);
		return b.count <= room && (b.count == 0 || std::memcmp(at, b.head, b.count) == 0) ? int64_t(b.count) : -1;
	}
	if (!spans::is_any_string(t)) return -1;
	// The text's UTF-8, compared as it is encoded.
	spans::Units u = spans::units_of(value);
	uint32_t k = 0;
	for (uint32_t i = 0; i < u.count; i++) {
		uint8_t b[4];
		uint32_t len = unicode::encode_utf8(u.at(i), b);
		if (uint64_t(k) + len > room || std::memcmp(at + k, b, len) != 0) return -1;
		k += len;
	}
	return k;
}

bool match(const Cell* binary, const Cell* value, CompareOp) {
	return match_at(vs_head(binary), vs_length(binary), value) >= 0;
}

bool match_bitset(const Cell* binary, const Cell* bitset) {
	if (vs_length(binary) == 0) return false;
	uint32_t n = *vs_head(binary);
	if ((n >> 3) >= bitset::byte_count(bitset)) return bitset::complemented(bitset);
	return (bitset::buffer(bitset)->head_ptr()[n >> 3] & (0x80u >> (n & 7))) != 0;
}

// ---- to ----

namespace {

Cell* big_endian(Cell* out, uint64_t bits, uint32_t count) {
	uint8_t b[8];
	for (uint32_t i = 0; i < count; i++) b[i] = uint8_t(bits >> (8 * (count - 1 - i)));
	make_at(out, count);
	append_bytes(out, b, count);
	return out;
}

}  // namespace

Cell* to(Cell* proto, Cell* spec, Type) {
	Cell result;
	Type t = cell::type_of(spec);
	switch (t) {
	case T_INTEGER: big_endian(&result, uint32_t(cell::get_integer(spec)), 4); break;
	case T_FLOAT:
	case T_PERCENT: {
		double d = cell::get_double(spec);
		uint64_t bits;
		std::memcpy(&bits, &d, sizeof bits);
		big_endian(&result, bits, 8);
		break;
	}
	case T_ISSUE: {
		std::string_view name = symbol::name(spec->data2);
		if (!decode_at(&result, 16, reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()), 1))
			errors::fire(errors::id::script_invalid_data, spec);
		break;
	}
	case T_BITSET: {
		Series* s = bitset::buffer(spec);
		make_at(&result, s->used());
		append_bytes(&result, bitset::buffer(spec)->head_ptr(), bitset::byte_count(spec));
		break;
	}
	case T_BINARY: series::copy(spec, &result, nullptr, false, nullptr); break;
	case T_IMAGE: image::extract_data(&result, spec, image::ARGB); break;
	case T_CHAR:
	case T_TUPLE:
	case T_BLOCK:
	case T_PAREN:
	case T_HASH:
		make_at(&result, 16);
		insert(&result, spec, -1, false, 1, true);
		break;
	default:
		if (!spans::is_any_string(t)) datatype::fire_type(errors::id::script_bad_to_arg, T_BINARY, spec);
		make_at(&result, 16);
		insert(&result, spec, -1, false, 1, true);
		break;
	}
	result.data1 = 0;
	*proto = result;
	return proto;
}

// ---- form and mold ----

namespace {

// The two digits of every byte.
struct HexPairs {
	char text[512];
};
constexpr HexPairs make_hex_pairs() {
	HexPairs p{};
	for (int i = 0; i < 256; i++) {
		p.text[2 * i] = "0123456789ABCDEF"[i >> 4];
		p.text[2 * i + 1] = "0123456789ABCDEF"[i & 15];
	}
	return p;
}
constexpr HexPairs HEX_PAIRS = make_hex_pairs();

// Hex text gathered in a local chunk and appended in pieces: the output
// buffer may be of any width, and one append per byte would be slow.
struct HexWriter {
	Cell* buffer;
	int32_t part;
	uint32_t used = 0;
	char chunk[4096];

	HexWriter(Cell* out, int32_t limit) : buffer(out), part(limit) {}

	void flush() {
		// ASCII only: appended as units, with no scan for wide characters.
		if (used) string::append_units(buffer, reinterpret_cast<const uint8_t*>(chunk), 1, used);
		used = 0;
	}
	void put(const char* text, uint32_t n) {
		if (part <= 0) return;
		if (used + n > sizeof chunk) flush();
		std::memcpy(chunk + used, text, n);
		used += n;
		part -= int32_t(n);
	}
	void line(int32_t level) {
		put("\n", 1);
		for (int32_t i = 0; i < level; i++) put("    ", 4);
	}
	// A run of at most 32 bytes, two digits each; whole when the limit allows.
	void bytes(const uint8_t* b, uint32_t n) {
		if (part < int32_t(2 * n)) {
			for (uint32_t i = 0; i < n && part > 0; i++) put(HEX_PAIRS.text + 2 * b[i], 2);
			return;
		}
		if (used + 2 * n > sizeof chunk) flush();
		char* o = chunk + used;
		for (uint32_t i = 0; i < n; i++) std::memcpy(o + 2 * i, HEX_PAIRS.text + 2 * b[i], 2);
		used += 2 * n;
		part -= int32_t(2 * n);
	}
};

}  // namespace

int32_t mold_bytes(const uint8_t* bytes, uint32_t count, Cell* buffer, bool only, bool flat, int32_t part,
	int32_t indent) {
	HexWriter w(buffer, part);
	bool lines = count > 30 && !flat;
	if (!only) w.put("#{", 2);
	if (lines) w.line(indent + 1);
	for (uint32_t i = 0; i < count && w.part > 0; i += 32) {
		if (i && lines) w.line(indent + 1);
		w.bytes(bytes + i, std::min(count - i, 32u));
	}
	if (lines) w.line(indent);
	if (!only) w.put("}", 1);
	w.flush();
	return w.part;
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool flat, const Cell*, int32_t part, int32_t indent) {
	return mold_bytes(vs_head(value), vs_length(value), buffer, only, flat, part, indent);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	return mold_bytes(vs_head(value), vs_length(value), buffer, false, false, part, 0);
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	return compare_bytes(value1, value2, op, false);
}

// ---- Bitwise actions ----

namespace {

template <typename Op>
Cell* bitwise(Op op, bool keep_rest) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	if (!cell::is(right, T_BINARY)) errors::fire(errors::id::script_invalid_arg, right);
	uint32_t n1 = vs_length(left), n2 = vs_length(right);
	uint32_t shorter = std::min(n1, n2), longer = std::max(n1, n2);
	Cell result;
	make_at(&result, longer);
	uint8_t* r = memory::buffer_of(&result)->head_ptr();
	const uint8_t* a = vs_head(left);
	const uint8_t* b = vs_head(right);
	for (uint32_t i = 0; i < shorter; i++) r[i] = op(a[i], b[i]);
	const uint8_t* rest = n1 > n2 ? a : b;
	if (keep_rest)
		std::memcpy(r + shorter, rest + shorter, longer - shorter);
	else
		std::memset(r + shorter, 0, longer - shorter);
	memory::buffer_of(&result)->tail += longer;
	*left = result;
	return left;
}

}  // namespace

Cell* and_t() {
	return bitwise([](uint8_t x, uint8_t y) { return uint8_t(x & y); }, false);
}
Cell* or_t() {
	return bitwise([](uint8_t x, uint8_t y) { return uint8_t(x | y); }, true);
}
Cell* xor_t() {
	return bitwise([](uint8_t x, uint8_t y) { return uint8_t(x ^ y); }, true);
}

Cell* complement(Cell* value) {
	uint8_t* p = vs_head(value);
	for (uint8_t* end = memory::buffer_of(value)->tail_ptr(); p < end; p++) *p = uint8_t(~*p);
	return value;
}

void init_type() {
	using registry::slot_bit;
	constexpr uint64_t inherited = slot_bit(A_MAKE) | slot_bit(A_RANDOM) | slot_bit(A_REFLECT) |
		slot_bit(A_EVAL_PATH) | slot_bit(A_AT) | slot_bit(A_BACK) | slot_bit(A_CLEAR) | slot_bit(A_COPY) |
		slot_bit(A_FIND) | slot_bit(A_HEAD) | slot_bit(A_HEAD_Q) | slot_bit(A_INDEX_Q) | slot_bit(A_LENGTH_Q) |
		slot_bit(A_MOVE) | slot_bit(A_NEXT) | slot_bit(A_PICK) | slot_bit(A_POKE) | slot_bit(A_REMOVE) |
		slot_bit(A_REVERSE) | slot_bit(A_SELECT) | slot_bit(A_SORT) | slot_bit(A_SKIP) | slot_bit(A_SWAP) |
		slot_bit(A_TAIL) | slot_bit(A_TAIL_Q) | slot_bit(A_TAKE) | slot_bit(A_MODIFY);
	ActionRow row{};
	row.to = to;
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	row.and_t = and_t;
	row.complement = complement;
	row.or_t = or_t;
	row.xor_t = xor_t;
	row.append = insert;
	row.change = change;
	row.insert = insert;
	row.trim = trim;
	registry::register_type(T_BINARY, T_STRING, "binary!", row, inherited);
}

}  // namespace vyn::binary
