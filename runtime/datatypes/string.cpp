#include "runtime/datatypes/string.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

#include "runtime/case_folding.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/number_text.h"
#include "runtime/symbol.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace vyn::string {

void (*notify_hook)(Cell* series, const char* action, uint32_t index, uint32_t part) = nullptr;

namespace {

constexpr uint64_t MAX_BUFFER_BYTES = 0xFFFFFF00u;
constexpr size_t ROTATION_BYTES = 65536;

[[noreturn]] void no_memory() { errors::fire(errors::id::internal_no_memory); }

inline Series* buffer(Cell* value) { return memory::buffer_of(value); }

}  // namespace

Cell* text_value(Cell* value, Cell& scratch) {
	if (!cell::is(value, T_SYMBOL)) return value;
	scratch = *value;
	symbol::make_name_string(&scratch);
	cell::set(&scratch, T_STRING, 0, scratch.data2, 0);
	return &scratch;
}

// ---- Access ----

bool advance(Cell* value, uint32_t n) {
	uint32_t units = abs_length(value);
	if (uint64_t(value->data1) + n <= units) value->data1 += n;
	return value->data1 >= units;
}

int32_t find_char(Cell* value, uint32_t cp) {
	Text t = text_of(value);
	for (uint32_t i = 0; i < t.length; i++)
		if (t.unit(i) == cp) return int32_t(i);
	return -1;
}

bool contains_char(Cell* value, uint32_t cp, uint32_t step, bool case_sensitive) {
	Text t = text_of(value);
	if (step == 0) step = 1;
	if (!case_sensitive) cp = unicode::to_upper(cp);
	for (uint32_t i = 0; i < t.length; i += step) {
		uint32_t u = t.unit(i);
		if (!case_sensitive) u = unicode::to_upper(u);
		if (u == cp) return true;
	}
	return false;
}

bool starts_with_ascii(Cell* value, std::string_view bytes) {
	Text t = text_of(value);
	if (t.length < bytes.size()) return false;
	for (size_t i = 0; i < bytes.size(); i++)
		if (t.unit(uint32_t(i)) != uint8_t(bytes[i])) return false;
	return true;
}

// ---- Building ----

Cell* make_at(Cell* out, uint32_t size) {
	Node n = memory::alloc_series(size ? size : 1, 1, 0);
	cell::set(out, T_STRING, 0, n, 0);
	return out;
}

Cell* make_at_unit(Cell* out, uint32_t units, uint32_t width) {
	Node n = memory::alloc_series(units ? units : 1, width, 0);
	cell::set(out, T_STRING, 0, n, 0);
	return out;
}

void reset(Cell* value) {
	Series* s = buffer(value);
	s->flags = (s->flags & ~SERIES_UNIT_MASK) | 1;
	s->tail = s->head;
	value->data1 = 0;
}

void truncate(Cell* value, uint32_t n) {
	Series* s = buffer(value);
	uint64_t bytes = uint64_t(n) * s->unit();
	if (s->used() > bytes) s->tail = s->head + uint32_t(bytes);
}

void remove_part(Cell* value, uint32_t index, uint32_t count) {
	Series* s = buffer(value);
	uint32_t units = series::units(s);
	if (index >= units) return;
	series::close_gap(s, index, std::min(count, units - index));
}

Series* reserve(Series* s, uint64_t units) {
	uint64_t need = uint64_t(s->tail) + units * s->unit();
	if (need <= s->size) return s;
	uint64_t want = need - s->head;
	// Doubling keeps repeated appends amortised.
	uint64_t grown = std::max<uint64_t>(want, uint64_t(s->used()) * 2);
	if (want > MAX_BUFFER_BYTES || want / s->unit() > MAX_UNITS) no_memory();
	if (grown > MAX_BUFFER_BYTES) grown = MAX_BUFFER_BYTES;
	return unicode::grow(s, grown);
}

void append_char(Cell* value, uint32_t cp) {
	Series* s = buffer(value);
	uint32_t width = s->unit();
	if (width == 1 ? cp > 0x7F : cp > 0xFFFF && width == 2) {
		uint32_t wanted = cp > 0xFFFF ? 4 : 2;
		s = unicode::widen(s, wanted);
		width = wanted;
	}
	if (s->tail + width <= s->size) {
		unicode::put_unit(s->tail_ptr(), width, cp);
		s->tail += width;
		return;
	}
	uint8_t* at = memory::alloc_tail_bytes(s, width);
	unicode::put_unit(at, width, cp);
}

void append_bytes(Cell* value, const uint8_t* bytes, uint32_t n) {
	Series* s = buffer(value);
	uint32_t width = s->unit();
	if (width == 1 && !unicode::all_ascii(bytes, bytes + n)) {
		// Latin-1 above 0x7F widens, as append_char does.
		s = unicode::widen(s, 2);
		width = 2;
	}
	uint8_t* at;
	if (uint64_t(s->tail) + uint64_t(n) * width <= s->size) {
		at = s->tail_ptr();
		s->tail += n * width;
	} else {
		at = memory::alloc_tail_bytes(s, n * width);
	}
	if (width == 1) {
		std::memcpy(at, bytes, n);
		return;
	}
	for (uint32_t i = 0; i < n; i++) unicode::put_unit(at + i * width, width, bytes[i]);
}

void append_utf8(Cell* value, const uint8_t* bytes, uint32_t n) {
	const uint8_t* p = bytes;
	const uint8_t* end = bytes + n;
	while (p < end) {
		if (*p < 0x80) {
			const uint8_t* run = p;
			while (p < end && *p < 0x80) p++;
			append_bytes(value, run, uint32_t(p - run));
			continue;
		}
		uint32_t remaining = uint32_t(end - p);
		int32_t cp = unicode::decode_utf8_checked(p, &remaining);
		if (cp < 0) break;  // cut at the end: nothing more to take
		append_char(value, uint32_t(cp));
		p += remaining;
	}
}

namespace {

// Copies n units between widths; equal widths are one block move.
void copy_units(uint8_t* dst, uint32_t to, const uint8_t* src, uint32_t from, uint32_t n) {
	if (to == from) {
		std::memmove(dst, src, size_t(n) * to);
		return;
	}
	for (uint32_t i = 0; i < n; i++) unicode::put_unit(dst + size_t(i) * to, to, unicode::get_unit(src + size_t(i) * from, from));
}

}  // namespace

void append_units(Cell* value, const uint8_t* units, uint32_t from, uint32_t n) {
	if (n == 0) return;
	Series* s = widen_to(buffer(value), from);
	s = reserve(s, n);
	uint32_t w = s->unit();
	copy_units(s->tail_ptr(), w, units, from, n);
	s->tail += n * w;
}

void append_range(Cell* value, Node source, uint32_t from, uint32_t n) {
	if (n == 0) return;
	uint32_t sw = memory::series(source)->unit();
	Series* s = buffer(value);
	uint64_t bytes = uint64_t(n) * sw;
	if (s->unit() == sw && s->tail + bytes <= s->size) {
		// The usual case: same width, room at the tail; the source may be
		// this very buffer.
		std::memmove(s->tail_ptr(), unicode::unit_at(memory::series(source), from), bytes);
		s->tail += uint32_t(bytes);
		return;
	}
	s = widen_to(s, sw);
	s = reserve(s, n);
	// Re-read after the growth: the source may be this very buffer.
	Series* src = memory::series(source);
	uint32_t w = s->unit();
	copy_units(s->tail_ptr(), w, unicode::unit_at(src, from), sw, n);
	s->tail += n * w;
}

void append_string(Cell* value, Cell* source, int32_t count) {
	uint32_t length = vs_length(source);
	uint32_t n = count < 0 || uint32_t(count) > length ? length : uint32_t(count);
	append_range(value, source->data2, source->data1, n);
}

Series* overwrite_char(Series* s, uint32_t index, uint32_t cp) {
	uint32_t units = unicode::unit_count(s);
	if (index >= units) {
		uint32_t need = std::max(s->unit(), unicode::width_for(cp));
		s = widen_to(s, need);
		s = reserve(s, uint64_t(index) + 1 - units);
		uint32_t w = s->unit();
		std::memset(s->tail_ptr(), 0, size_t(index - units) * w);
		s->tail = s->head + (index + 1) * w;
	}
	return unicode::store(s, index, cp);
}

Series* insert_char(Series* s, uint32_t index, uint32_t cp) {
	s = widen_to(s, unicode::width_for(cp));
	index = std::min(index, series::units(s));
	s = series::open_gap(reserve(s, 1), index, 1);  // reserve doubles: repeated inserts stay amortised
	unicode::put_unit(unicode::unit_at(s, index), s->unit(), cp);
	return s;
}

void rotate_blocks(uint8_t* a, size_t la, size_t lb) {
	if (la == 0 || lb == 0) return;
	// The shorter block waits in a scratch area while the longer one moves
	// over; past the scratch size an in-place rotation does it.
	static uint8_t* scratch = static_cast<uint8_t*>(std::malloc(ROTATION_BYTES));
	size_t shorter = std::min(la, lb);
	if (!scratch || shorter > ROTATION_BYTES) {
		std::rotate(a, a + la, a + la + lb);
		return;
	}
	if (la <= lb) {
		std::memcpy(scratch, a, la);
		std::memmove(a, a + la, lb);
		std::memcpy(a + lb, scratch, la);
	} else {
		std::memcpy(scratch, a + la, lb);
		std::memmove(a + lb, a, la);
		std::memcpy(a, scratch, lb);
	}
}

void concatenate(Cell* target, Cell* value, int32_t count, uint32_t offset, Mode mode) {
	Cell scratch;
	Cell* source = text_value(value, scratch);
	uint32_t length = vs_length(source);
	uint32_t n = count < 0 || uint32_t(count) > length ? length : uint32_t(count);
	if (mode == APPEND) {
		append_range(target, source->data2, source->data1, n);
		return;
	}
	if (n == 0) return;
	Node src_node = source->data2;
	uint32_t from = source->data1;
	uint32_t sw = memory::series(src_node)->unit();
	uint32_t head = clamp_head(target);
	Series* s = widen_to(buffer(target), sw);
	uint32_t units = unicode::unit_count(s);
	uint32_t at = std::min(head + offset, units);
	if (mode == INSERT) {
		s = reserve(s, n);
		uint32_t w = s->unit();
		uint8_t* p = unicode::unit_at(s, at);
		std::memmove(p + size_t(n) * w, p, size_t(units - at) * w);
		s->tail += n * w;
		Series* src = memory::series(src_node);
		if (src_node != target->data2) {
			copy_units(p, w, unicode::unit_at(src, from), sw, n);
			return;
		}
		// Same buffer: units at or after the gap moved up by n.
		uint32_t below = from < at ? std::min(n, at - from) : 0;
		std::memmove(p, unicode::unit_at(s, from), size_t(below) * w);
		uint32_t start = std::max(from, at) + n;
		std::memmove(p + size_t(below) * w, unicode::unit_at(s, start), size_t(n - below) * w);
		return;
	}
	if (uint64_t(at) + n > units) s = reserve(s, uint64_t(at) + n - units);
	uint32_t w = s->unit();
	Series* src = memory::series(src_node);
	copy_units(unicode::unit_at(s, at), w, unicode::unit_at(src, from), sw, n);
	if (at + n > units) s->tail = s->head + (at + n) * w;
}

// ---- Conversion from C data ----

Cell* load_at(Cell* out, const uint8_t* bytes, uint32_t size, int32_t encoding) {
	Node n;
	if (encoding == ENC_UTF8) {
		n = unicode::load_utf8(bytes, size);
	} else if (encoding == ENC_UTF16LE) {
		static const uint8_t none[2] = {0, 0};
		n = unicode::load_utf16(bytes ? bytes : none, size, nullptr, false).node;
	} else {
		// An unknown encoding is refused as an error: ending the process
		// here would lose whatever the program had not saved.
		Cell code;
		cell::make_integer(&code, encoding);
		errors::fire(errors::id::access_no_codec, &code);
	}
	cell::set(out, T_STRING, 0, n, 0);
	return out;
}

Cell* load(const uint8_t* bytes, uint32_t size, int32_t encoding) {
	Cell* out = stack::alloc_slot();
	cell::make_none(out);
	return load_at(out, bytes, size, encoding);
}

Cell* load_in(const uint8_t* bytes, uint32_t size, Cell* block, int32_t encoding) {
	Cell fresh;
	load_at(&fresh, bytes, size, encoding);
	Cell* slot = memory::alloc_tail(block);
	*slot = fresh;
	return slot;
}

Cell* load_utf8_checked(Cell* out, const uint8_t* bytes, uint32_t size) {
	uint32_t left = 0;
	unicode::Loaded loaded = unicode::load_utf8_buffer(bytes, size, 0, &left, false);
	if (left) {
		Node b = memory::alloc_bytes(left);
		Series* s = memory::series(b);
		std::memcpy(s->data(), bytes + size - left, left);
		s->tail = left;
		Cell binary;
		cell::set(&binary, T_BINARY, 0, b, 0);
		errors::fire(errors::id::access_invalid_utf8, &binary);
	}
	cell::set(out, T_STRING, 0, loaded.node, 0);
	return out;
}

Cell* push(const Cell* value) { return stack::push(value); }

double scan_float(const uint8_t* at, uint32_t length, uint32_t width, bool* error) {
	char small[64];
	std::string big;
	char* text = small;
	if (length >= sizeof small) {
		big.resize(length);
		text = big.data();
	}
	for (uint32_t i = 0; i < length; i++) {
		uint32_t u = unicode::get_unit(at + size_t(i) * width, width);
		if (u > 0x7F) {
			*error = true;
			return std::numeric_limits<double>::quiet_NaN();
		}
		text[i] = char(u);
	}
	size_t unconsumed = 0;
	double d = numconv::decimal_to_float({text, length}, 0, unconsumed);
	*error = length == 0 || unconsumed != 0;
	return *error ? std::numeric_limits<double>::quiet_NaN() : d;
}

namespace {
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
}

Hex byte_to_hex(uint8_t byte) {
	Hex h{};
	h.text[0] = HEX_DIGITS[byte >> 4];
	h.text[1] = HEX_DIGITS[byte & 15];
	h.length = 2;
	return h;
}

Hex int_to_hex(int32_t value, bool short_form) {
	Hex h{};
	uint32_t v = uint32_t(value);
	for (int i = 7; i >= 0; i--) {
		h.text[i] = HEX_DIGITS[v & 15];
		v >>= 4;
	}
	h.length = 8;
	if (short_form) {
		uint32_t skip = 0;
		while (skip < 7 && h.text[skip] == '0') skip++;
		if (value == 0) skip = 6;
		std::memmove(h.text, h.text + skip, 8 - skip);
		h.length = 8 - skip;
	}
	return h;
}

// ---- Comparison and matching ----

namespace {

inline bool folds(CompareOp op) { return op != COMP_STRICT_EQUAL && op != COMP_CASE_SORT; }

inline bool equality_code(CompareOp op) {
	return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND_SELECT;
}

template <typename A, typename B, bool Fold>
int32_t first_difference(const uint8_t* pa, const uint8_t* pb, uint32_t n) {
	for (uint32_t i = 0; i < n; i++) {
		A ua;
		B ub;
		std::memcpy(&ua, pa + size_t(i) * sizeof(A), sizeof(A));
		std::memcpy(&ub, pb + size_t(i) * sizeof(B), sizeof(B));
		uint32_t a = ua, b = ub;
		if (a == b) continue;
		if (Fold) {
			a = unicode::to_upper(a);
			b = unicode::to_upper(b);
			if (a == b) continue;
		}
		return a < b ? -1 : 1;
	}
	return 0;
}

template <bool Fold>
int32_t units_order(const Text& a, const Text& b, uint32_t n) {
	if (!Fold && a.width == 1 && b.width == 1) {
		// Short texts (the usual keys) compare faster inline than through memcmp.
		if (n < 16) {
			for (uint32_t i = 0; i < n; i++)
				if (a.at[i] != b.at[i]) return a.at[i] < b.at[i] ? -1 : 1;
			return 0;
		}
		int r = std::memcmp(a.at, b.at, n);
		return r < 0 ? -1 : r > 0;
	}
	auto pick_b = [&]<typename A>(A*) -> int32_t {
		switch (b.width) {
		case 1: return first_difference<A, uint8_t, Fold>(a.at, b.at, n);
		case 2: return first_difference<A, uint16_t, Fold>(a.at, b.at, n);
		default: return first_difference<A, uint32_t, Fold>(a.at, b.at, n);
		}
	};
	switch (a.width) {
	case 1: return pick_b(static_cast<uint8_t*>(nullptr));
	case 2: return pick_b(static_cast<uint16_t*>(nullptr));
	default: return pick_b(static_cast<uint32_t*>(nullptr));
	}
}

int32_t order(const Text& a, const Text& b, uint32_t n, CompareOp op) {
	return folds(op) ? units_order<true>(a, b, n) : units_order<false>(a, b, n);
}

}  // namespace

int32_t compare_texts(const Text& a, const Text& b, CompareOp op) {
	if (a.length != b.length && (equality_code(op) || b.length == 0)) return 1;
	uint32_t n = std::min(a.length, b.length);
	int32_t r = order(a, b, n, op);
	if (r != 0) return r;
	return a.length < b.length ? -1 : a.length > b.length;
}

int32_t compare_strings(Cell* text1, Cell* text2, CompareOp op, bool match) {
	Cell scratch1, scratch2;
	Cell* value1 = text_value(text1, scratch1);
	Cell* value2 = text_value(text2, scratch2);
	Text a = text_of(value1);
	Text b = text_of(value2);
	bool shared = value1->data2 == value2->data2 && value1->data1 == value2->data1;
	if (op == COMP_SAME) return shared ? 0 : -1;
	if (shared && equality_code(op)) return 0;
	if (!match) return compare_texts(a, b, op);
	if (b.length == 0) return op == COMP_FIND_SELECT ? 1 : 0;
	if (a.length < b.length) return 1;
	return order(a, b, b.length, op) != 0 ? 1 : 0;
}

bool tag_enclosed(Cell* text, Cell* tag) {
	Text t = text_of(text);
	uint32_t n = vs_length(tag);
	return t.length >= n + 2 && t.unit(0) == '<' && t.unit(n + 1) == '>';
}

bool match_value(Cell* text, Cell* value, CompareOp op) {
	switch (cell::type_of(value)) {
	case T_STRING: case T_FILE: case T_URL: case T_EMAIL: case T_REF:
		return compare_strings(text, value, op, true) == 0;
	case T_CHAR: {
		Text t = text_of(text);
		if (t.length == 0) return false;
		uint32_t a = t.unit(0), b = value->data2;
		if (op != COMP_STRICT_EQUAL) {
			a = unicode::to_upper(a);
			b = unicode::to_upper(b);
		}
		return a == b;
	}
	case T_TAG: {
		if (!tag_enclosed(text, value)) return false;
		Cell after = *text;
		after.data1++;
		return compare_strings(&after, value, op, true) == 0;
	}
	default: return false;
	}
}

// bitset!: bit n is bit (0x80 >> (n & 7)) of byte n >> 3; every n at or
// beyond the bytes is a member exactly when the complement flag is set.
bool bitset_has(const Cell* bitset, uint32_t cp) {
	constexpr uint32_t COMPLEMENT = 0x00080000u;
	Series* s = memory::buffer_of(bitset);
	uint32_t byte = cp >> 3;
	if (byte >= s->used()) return (s->flags & COMPLEMENT) != 0;
	return (s->head_ptr()[byte] & (0x80u >> (cp & 7))) != 0;
}

// ---- Escapes ----

namespace {

// The letter after "^" for codepoints 0-31.
constexpr char CONTROL_LETTERS[] = "@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";

}  // namespace

uint32_t append_escaped_char(Cell* out, uint32_t cp, bool escape, bool all) {
	if (cp == 30 || (cp >= 0x80 && cp <= 0x9F) || (all && cp > 0x7F) || unicode::is_surrogate(cp)) {
		Hex h = int_to_hex(int32_t(cp), true);
		append_literal(out, "^(");
		append_literal(out, h.view());
		append_char(out, ')');
		return h.length + 3;
	}
	if (escape) {
		char letter = 0;
		if (cp < 32)
			letter = CONTROL_LETTERS[cp];
		else if (cp == '"' || cp == '^')
			letter = char(cp);
		else if (cp == 127)
			letter = '~';
		if (letter) {
			char pair[2] = {'^', letter};
			append_literal(out, {pair, 2});
			return 2;
		}
	}
	append_char(out, cp);
	return 1;
}

}  // namespace vyn::string
