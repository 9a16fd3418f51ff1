// Searching in string-family values (and in binary! and vector!, which
// reuse these entries): find and select; and the set operations on texts.
//
// The needle is reduced to a list of units (folded to upper case unless the
// search is case-sensitive), a bitset, or a number for vectors of floats.
// Forward searches of a text with step 1 use Horspool's skip table, keyed
// by the low byte of the (folded) unit; everything else is a direct scan.
#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <unordered_set>
#include <vector>

#include "runtime/case_folding.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/utf8.h"

namespace vyn::string {

namespace {

constexpr int64_t NOT_FOUND = -1;

// NUMBER compares a vector's elements by value (signed integers, unsigned
// chars, 32- or 64-bit floats, as the vector's element type says).
struct Needle {
	enum Kind : uint8_t { UNITS, BITSET, NUMBER } kind = UNITS;
	std::vector<uint32_t> units;
	const Cell* bitset = nullptr;
	double number = 0;
	uint32_t length() const { return kind == UNITS ? uint32_t(units.size()) : 1; }
};

double number_of(const Cell* value) {
	switch (cell::type_of(value)) {
	case T_FLOAT:
	case T_PERCENT: return cell::get_double(value);
	case T_CHAR: return double(value->data2);
	default: return double(cell::get_integer(value));
	}
}

// A vector element as a number.
double element_at(const uint8_t* at, uint32_t width, Type element) {
	if (element == T_FLOAT || element == T_PERCENT) {
		if (width == 8) {
			double d;
			std::memcpy(&d, at, 8);
			return d;
		}
		float f;
		std::memcpy(&f, at, 4);
		return f;
	}
	uint32_t u = unicode::get_unit(at, width);
	if (element == T_CHAR) return u;
	return width == 1 ? int8_t(u) : width == 2 ? int16_t(u) : int32_t(u);
}

void add_text(Needle& needle, Cell* text, bool fold) {
	Text t = text_of(text);
	needle.units.reserve(t.length);
	for (uint32_t i = 0; i < t.length; i++) {
		uint32_t u = t.unit(i);
		needle.units.push_back(fold ? unicode::to_upper(u) : u);
	}
}

// The UTF-8 bytes of a text, for a search in bytes.
void add_utf8(Needle& needle, Cell* text) {
	Text t = text_of(text);
	for (uint32_t i = 0; i < t.length; i++) {
		uint8_t bytes[4];
		uint32_t n = unicode::encode_utf8(t.unit(i), bytes);
		needle.units.insert(needle.units.end(), bytes, bytes + n);
	}
}

Needle needle_of(Cell* series, Cell* value, bool fold) {
	Needle needle;
	Type st = cell::type_of(series);
	Type t = cell::type_of(value);
	if (st == T_VECTOR && (t == T_CHAR || t == T_INTEGER || t == T_FLOAT || t == T_PERCENT)) {
		needle.kind = Needle::NUMBER;
		needle.number = number_of(value);
	} else if (t == T_CHAR) {
		uint32_t c = value->data2;
		needle.units.push_back(fold ? unicode::to_upper(c) : c);
	} else if (t == T_BITSET) {
		needle.kind = Needle::BITSET;
		needle.bitset = value;
	} else if (t == T_BINARY) {
		if (st != T_BINARY) errors::fire(errors::id::script_invalid_arg, value);
		Cell v = *value;
		add_text(needle, &v, false);
	} else if (st == T_BINARY && (t == T_INTEGER || t == T_FLOAT)) {
		// A number that no byte can hold matches nothing.
		int64_t n = t == T_INTEGER ? cell::get_integer(value) : int64_t(cell::get_double(value));
		needle.units.push_back(n < 0 || n > 0xFF ? 0xFFFFFFFFu : uint32_t(n));
	} else if (any_string(t) && t != T_TAG) {
		Cell v = *value;
		if (st == T_BINARY)
			add_utf8(needle, &v);
		else
			add_text(needle, &v, fold);
	} else {
		Cell text;
		make_at(&text, 16);
		actions::form(value, &text, nullptr, 0x7FFFFFFF);
		if (st == T_BINARY)
			add_utf8(needle, &text);
		else
			add_text(needle, &text, fold);
	}
	return needle;
}

// Folded Latin-1 units, read without the branch of the general mapping.
struct ByteFolds {
	uint32_t table[256];
	ByteFolds() {
		for (uint32_t c = 0; c < 256; c++) table[c] = unicode::to_upper(c);
	}
};

template <typename U, bool Fold>
inline uint32_t unit(const uint8_t* base, uint32_t i) {
	U u;
	std::memcpy(&u, base + size_t(i) * sizeof(U), sizeof(U));
	if constexpr (Fold && sizeof(U) == 1) {
		static const ByteFolds folds;
		return folds.table[u];
	}
	return Fold ? unicode::to_upper(uint32_t(u)) : uint32_t(u);
}

template <typename U, bool Fold>
bool match_at(const uint8_t* base, uint32_t p, const std::vector<uint32_t>& needle) {
	for (size_t i = 0; i < needle.size(); i++)
		if (unit<U, Fold>(base, p + uint32_t(i)) != needle[i]) return false;
	return true;
}

// Horspool's search; the skip table is keyed by the low byte of a unit, so
// units sharing a low byte take the smaller skip (still safe).
template <typename U, bool Fold>
int64_t horspool(const uint8_t* base, uint32_t from, uint32_t end, const std::vector<uint32_t>& needle) {
	uint32_t n = uint32_t(needle.size());
	if (end - from < n) return NOT_FOUND;
	uint32_t skip[256];
	for (uint32_t& s : skip) s = n;
	for (uint32_t i = 0; i + 1 < n; i++) skip[needle[i] & 0xFF] = n - 1 - i;
	uint32_t last = needle[n - 1];
	for (uint32_t p = from; p <= end - n;) {
		uint32_t c = unit<U, Fold>(base, p + n - 1);
		if (c == last) {
			uint32_t i = n - 1;
			while (i > 0 && unit<U, Fold>(base, p + i - 1) == needle[i - 1]) i--;
			if (i == 0) return p;
		}
		p += skip[c & 0xFF];
	}
	return NOT_FOUND;
}

// Horspool over pairs of units, for long texts: a pair absent from the
// needle skips n - 1 units, where one unit alone (in a small alphabet) is
// nearly always present. Keys are the low bytes of the two units.
constexpr uint32_t PAIR_MIN_TEXT = 16384;
constexpr uint32_t PAIR_MIN_NEEDLE = 4;

template <typename U, bool Fold>
int64_t horspool_pairs(const uint8_t* base, uint32_t from, uint32_t end, const std::vector<uint32_t>& needle) {
	uint32_t n = uint32_t(needle.size());
	auto key = [](uint32_t x, uint32_t y) { return ((x & 0xFF) << 8) | (y & 0xFF); };
	std::vector<uint16_t> skip(65536, uint16_t(n - 1));
	for (uint32_t i = 0; i + 2 < n; i++) skip[key(needle[i], needle[i + 1])] = uint16_t(n - 2 - i);
	skip[key(needle[n - 2], needle[n - 1])] = 0;
	for (uint32_t p = from; p <= end - n;) {
		uint32_t s = skip[key(unit<U, Fold>(base, p + n - 2), unit<U, Fold>(base, p + n - 1))];
		if (s == 0) {
			if (match_at<U, Fold>(base, p, needle)) return p;
			s = 1;
		}
		p += s;
	}
	return NOT_FOUND;
}

#if defined(__SSE2__)
// Case-folded search in Latin-1 text, 16 positions at a time: a position is
// a candidate when its unit folds like the needle's first and the unit n - 1
// further folds like its last. Each folded unit has at most a few Latin-1
// preimages ("S": s, S and U+00DF), compared with one vector each.
struct Preimage {
	__m128i bytes[4];
	int count = 0;
};

// False when more than four bytes fold to f; count 0 when none does.
bool preimage(uint32_t f, Preimage& out) {
	static const ByteFolds folds;
	for (uint32_t b = 0; b < 256; b++) {
		if (folds.table[b] != f) continue;
		if (out.count == 4) return false;
		out.bytes[out.count++] = _mm_set1_epi8(char(b));
	}
	return true;
}

inline uint32_t candidates(const uint8_t* at, const Preimage& p) {
	__m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
	__m128i hits = _mm_cmpeq_epi8(block, p.bytes[0]);
	for (int k = 1; k < p.count; k++) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, p.bytes[k]));
	return uint32_t(_mm_movemask_epi8(hits));
}

// NOT_FOUND, a position, or -2 when the needle does not suit this search.
int64_t folded_bytes_search(const uint8_t* base, uint32_t from, uint32_t end, const std::vector<uint32_t>& needle) {
	uint32_t n = uint32_t(needle.size());
	Preimage first, last;
	if (!preimage(needle[0], first) || !preimage(needle[n - 1], last)) return -2;
	if (first.count == 0 || last.count == 0) return NOT_FOUND;
	uint32_t p = from;
	for (; uint64_t(p) + n - 1 + 16 <= end; p += 16) {
		uint32_t mask = candidates(base + p, first) & candidates(base + p + n - 1, last);
		while (mask) {
			uint32_t at = p + uint32_t(__builtin_ctz(mask));
			if (match_at<uint8_t, true>(base, at, needle)) return at;
			mask &= mask - 1;
		}
	}
	for (; p + n <= end; p++)
		if (match_at<uint8_t, true>(base, p, needle)) return p;
	return NOT_FOUND;
}
#endif

int64_t memmem_search(const uint8_t* base, uint32_t from, uint32_t end, const std::vector<uint32_t>& needle) {
	std::vector<uint8_t> bytes(needle.begin(), needle.end());
	const void* hit = ::memmem(base + from, end - from, bytes.data(), bytes.size());
	return hit ? static_cast<const uint8_t*>(hit) - base : NOT_FOUND;
}

struct Range {
	int64_t first;  // first candidate start
	int64_t limit;  // last candidate start (inclusive), in the direction of travel
	int64_t step;   // signed
	bool once;      // /match: the first candidate only
};

template <typename U, bool Fold>
int64_t scan_units(const uint8_t* base, const Range& r, const std::vector<uint32_t>& needle) {
	uint32_t n = uint32_t(needle.size());
	if (r.step == 1 && !r.once && r.limit >= r.first) {
		uint32_t end = uint32_t(r.limit) + n;
		if (n == 1) {
			uint32_t c = needle[0];
			for (uint32_t p = uint32_t(r.first); p < end; p++)
				if (unit<U, Fold>(base, p) == c) return p;
			return NOT_FOUND;
		}
		bool fits = true;
		for (uint32_t c : needle) fits &= c <= 0xFF;
		if (sizeof(U) == 1 && !Fold && fits) return memmem_search(base, uint32_t(r.first), end, needle);
#if defined(__SSE2__)
		if (sizeof(U) == 1 && Fold) {
			int64_t at = folded_bytes_search(base, uint32_t(r.first), end, needle);
			if (at != -2) return at;
		}
#endif
		if (n >= PAIR_MIN_NEEDLE && n <= 0xFFFF && end - uint32_t(r.first) >= PAIR_MIN_TEXT)
			return horspool_pairs<U, Fold>(base, uint32_t(r.first), end, needle);
		return horspool<U, Fold>(base, uint32_t(r.first), end, needle);
	}
	for (int64_t p = r.first; r.step > 0 ? p <= r.limit : p >= r.limit; p += r.step) {
		if (match_at<U, Fold>(base, uint32_t(p), needle)) return p;
		if (r.once) break;
	}
	return NOT_FOUND;
}

template <typename U>
int64_t scan(const uint8_t* base, const Range& r, const Needle& needle, const Cell* series, bool fold) {
	switch (needle.kind) {
	case Needle::UNITS:
		return fold ? scan_units<U, true>(base, r, needle.units) : scan_units<U, false>(base, r, needle.units);
	case Needle::BITSET:
		for (int64_t p = r.first; r.step > 0 ? p <= r.limit : p >= r.limit; p += r.step) {
			if (bitset_has(needle.bitset, unit<U, false>(base, uint32_t(p)))) return p;
			if (r.once) break;
		}
		return NOT_FOUND;
	case Needle::NUMBER: {
		uint32_t w = memory::buffer_of(series)->unit();
		Type element = Type(series->data3);
		for (int64_t p = r.first; r.step > 0 ? p <= r.limit : p >= r.limit; p += r.step) {
			if (element_at(base + size_t(p) * w, w, element) == needle.number) return p;
			if (r.once) break;
		}
		return NOT_FOUND;
	}
	}
	return NOT_FOUND;
}

struct Hit {
	int64_t at = NOT_FOUND;  // unit index of the match from the buffer's first unit
	uint32_t length = 0;     // units matched
};

// The search shared by find and select.
Hit search(Cell* series, Cell* value, const Cell* part, bool case_sensitive, bool same, bool any, const Cell* with,
	const Cell* skip, bool last, bool reverse, bool match) {
	Hit hit;
	if (any || with) errors::fire(errors::id::internal_not_done);
	int64_t step = 1;
	if (skip) {
		if (!cell::is(skip, T_INTEGER)) series::refine_error("skip", skip);
		step = cell::get_integer(skip);
		if (step < 1) errors::fire(errors::id::script_out_of_range, skip);
	}
	Series* s = memory::buffer_of(series);
	uint32_t units = s->used() / s->unit();
	uint32_t head = clamp_head(series);
	if (units == 0 || (head >= units && !reverse)) return hit;
	int64_t length = -1;
	if (part) {
		length = series::part_count(series, part);
		if (length < 1) return hit;
	}
	bool fold = !(case_sensitive || same) && any_string(series);
	Needle needle = needle_of(series, value, fold);
	uint32_t n = needle.length();
	if (n == 0) return hit;
	// Candidates start on record boundaries (head + k x step) in every
	// direction, so that /skip compares the first units of records only.
	Range r{};
	if (reverse) {
		if (match || head == 0) return hit;
		int64_t lower = length < 0 ? 0 : std::max<int64_t>(0, int64_t(head) - length);
		int64_t records_back = (int64_t(n) + step - 1) / step;
		r = {int64_t(head) - records_back * step, lower, -step, false};
	} else {
		int64_t end = length < 0 ? units : std::min<int64_t>(units, head + length);
		int64_t span = end - n - head;
		if (last)
			r = {span < 0 ? span + head : head + span / step * step, head, -step, match};
		else
			r = {head, end - n, step, match};
	}
	if (r.step > 0 ? r.first > r.limit : r.first < r.limit) return hit;
	const uint8_t* base = s->head_ptr();
	switch (s->unit()) {
	case 1: hit.at = scan<uint8_t>(base, r, needle, series, fold); break;
	case 2: hit.at = scan<uint16_t>(base, r, needle, series, fold); break;
	case 4: hit.at = scan<uint32_t>(base, r, needle, series, fold); break;
	default: hit.at = scan<uint64_t>(base, r, needle, series, false); break;
	}
	hit.length = n;
	return hit;
}

}  // namespace

Cell* find(Cell* series, Cell* value, const Cell* part, bool, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse, bool tail, bool match) {
	Hit hit = search(series, value, part, case_sensitive, same, any, with, skip, last, reverse, match);
	if (hit.at < 0) {
		cell::make_none(series);
		return series;
	}
	series->data1 = uint32_t(hit.at + (tail ? hit.length : 0));
	return series;
}

Cell* select(Cell* series, Cell* value, const Cell* part, bool, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse) {
	Hit hit = search(series, value, part, case_sensitive, same, any, with, skip, last, reverse, false);
	uint32_t after = uint32_t(hit.at + hit.length);
	if (hit.at < 0 || after >= abs_length(series)) {
		cell::make_none(series);
		return series;
	}
	Cell at = *series, one;
	at.data1 = after;
	cell::make_integer(&one, 1);
	switch (cell::type_of(series)) {
	case T_BINARY: cell::make_integer(series, int32_t(abs_char_at(series, after))); break;
	case T_VECTOR: *series = *actions::pick(&at, &one); break;
	default: cell::set(series, T_CHAR, 0, abs_char_at(series, after)); break;
	}
	return series;
}

namespace {

// Codepoints met so far: a bitmap below 0x10000, a hash set above.
class CodeSet {
public:
	CodeSet() : low_(0x10000 / 64) {}
	bool has(uint32_t c) const {
		if (c < 0x10000) return (low_[c >> 6] >> (c & 63)) & 1;
		return high_.count(c) != 0;
	}
	void add(uint32_t c) {
		if (c < 0x10000)
			low_[c >> 6] |= uint64_t(1) << (c & 63);
		else
			high_.insert(c);
	}

private:
	std::vector<uint64_t> low_;
	std::unordered_set<uint32_t> high_;
};

// The record keys of a text (its units at head, head + step ...).
CodeSet keys_of(const Text& t, uint32_t step, bool fold) {
	CodeSet keys;
	for (uint32_t i = 0; i < t.length; i += step) {
		uint32_t c = t.unit(i);
		keys.add(fold ? unicode::to_upper(c) : c);
	}
	return keys;
}

// Appends the records of `from` whose key passes the membership test
// against `other` (when given) and is not yet among the result's keys.
void set_pass(Cell* result, Cell* from, const CodeSet* other, bool keep_members, uint32_t step, bool fold,
	CodeSet& taken) {
	uint32_t length = vs_length(from);
	for (uint32_t i = 0; i < length; i += step) {
		// Re-derived each record: the result may grow into a new buffer,
		// never the operand's.
		Text t = text_of(from);
		uint32_t c = t.unit(i);
		if (fold) c = unicode::to_upper(c);
		if (other && other->has(c) != keep_members) continue;
		if (taken.has(c)) continue;
		taken.add(c);
		append_range(result, from->data2, from->data1 + i, std::min(step, length - i));
	}
}

}  // namespace

void do_set_op(int32_t op, bool case_sensitive, const Cell* skip) {
	uint32_t step = 1;
	if (skip) {
		if (!cell::is(skip, T_INTEGER) || cell::get_integer(skip) < 1) series::refine_error("skip", skip);
		step = uint32_t(cell::get_integer(skip));
	}
	Cell first = stack::arguments[0];
	Cell second = stack::arguments[1];
	bool fold = !case_sensitive;
	uint32_t capacity = vs_length(&first);
	bool two_pass = op == SET_UNION || op == SET_DIFFERENCE;
	if (op != SET_UNIQUE) clamp_head(&second);
	if (op == SET_UNION) capacity += vs_length(&second);
	uint32_t width = width_of(&first);
	if (op != SET_UNIQUE) width = std::max(width, width_of(&second));
	Cell result;
	make_at_unit(&result, capacity, width);
	CodeSet taken;
	switch (op) {
	case SET_UNIQUE:
	case SET_UNION: set_pass(&result, &first, nullptr, true, step, fold, taken); break;
	default: {
		CodeSet other = keys_of(text_of(&second), step, fold);
		set_pass(&result, &first, &other, op == SET_INTERSECT, step, fold, taken);
	}
	}
	if (two_pass) {
		if (op == SET_UNION) {
			set_pass(&result, &second, nullptr, true, step, fold, taken);
		} else {
			CodeSet other = keys_of(text_of(&first), step, fold);
			set_pass(&result, &second, &other, false, step, fold, taken);
		}
	}
	cell::set_type(&result, cell::type_of(&first));
	stack::arguments[0] = result;
}

}  // namespace vyn::string
