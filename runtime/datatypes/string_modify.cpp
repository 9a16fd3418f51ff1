// Modification of string-family values: append, insert, change, swap, take
// and trim.
//
// append, insert and change first write the value's text (dup copies
// included) at the series' tail, then move it into place. The text is thus
// read before anything it was taken from changes: inserting or changing a
// string with itself works from a snapshot ("ab" inserted into itself gives
// "abab").
#include <algorithm>
#include <vector>

#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/words.h"

namespace vyn::string {

namespace {

constexpr uint64_t MAX_BUFFER_BYTES = 0xFFFFFF00u;

inline Series* buffer(Cell* value) { return memory::buffer_of(value); }

[[noreturn]] void out_of_range(uint32_t unit) {
	Cell n;
	cell::make_integer(&n, int32_t(unit));
	errors::fire(errors::id::script_out_of_range, &n);
}

// A byte series holds only bytes: a wider unit cannot be swapped into one.
void check_swap(Cell* series1, Cell* series2, uint32_t h1, uint32_t h2) {
	uint32_t a = abs_char_at(series1, h1), b = abs_char_at(series2, h2);
	if (cell::is(series1, T_BINARY) && b > 0xFF) out_of_range(b);
	if (cell::is(series2, T_BINARY) && a > 0xFF) out_of_range(a);
}

// Appends the value's text dup times at the tail; answers the units added.
uint32_t add_text(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
	uint32_t start = abs_length(series);
	append_value_text(series, value, part, only);
	uint32_t added = abs_length(series) - start;
	if (dup <= 1 || added == 0) return added;
	Series* s = buffer(series);
	uint32_t w = s->unit();
	uint64_t total = uint64_t(added) * uint32_t(dup);
	if (uint64_t(start) + total > MAX_UNITS || (uint64_t(start) + total) * w > MAX_BUFFER_BYTES) {
		truncate(series, start);
		errors::fire(errors::id::internal_no_memory);
	}
	s = reserve(s, total - added);
	memory::repeat_copy(unicode::unit_at(s, start), size_t(added) * w, size_t(dup));
	s->tail += uint32_t(total - added) * w;
	return uint32_t(total);
}

}  // namespace

Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
	// A single append to a series without an owner: nobody to tell, nothing to move.
	if (append && dup <= 1 && !(buffer(series)->flags & SERIES_OWNED)) {
		Type t = cell::type_of(value);
		if (t == T_CHAR)
			append_char(series, value->data2);
		else if (part < 0 && any_string(t) && t != T_TAG)
			append_string(series, value, -1);
		else
			append_value_text(series, value, part, only);
		series->data1 = 0;
		return series;
	}
	const Cell* before = append ? words::w_append : words::w_insert;
	const Cell* after = append ? words::w_appended : words::w_inserted;
	uint32_t head = clamp_head(series);
	bool owned = series::notify(series, before, append ? abs_length(series) : head, 0, value);
	// The owner's handler may have changed the series: positions are read after it.
	head = clamp_head(series);
	uint32_t tail = abs_length(series);
	bool at_tail = append || head >= tail;
	uint32_t at = at_tail ? tail : head;
	uint32_t added;
	if (cell::is(value, T_CHAR) && dup <= 1) {
		append_char(series, value->data2);
		added = 1;
	} else {
		added = add_text(series, value, part, only, dup);
	}
	if (!at_tail) {
		Series* s = buffer(series);
		uint32_t w = s->unit();
		rotate_blocks(unicode::unit_at(s, head), size_t(tail - head) * w, size_t(added) * w);
	}
	series->data1 = append ? 0 : at + added;
	if (owned) series::notify(series, after, at, added, value);
	return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
	bool owned = series::notify(series, words::w_change, clamp_head(series), 0, value);
	uint32_t head = clamp_head(series);
	uint32_t tail = abs_length(series);
	uint32_t added = add_text(series, value, -1, only, dup);
	uint32_t remaining = tail - head;
	uint32_t replaced = std::min(remaining, part >= 0 ? uint32_t(part) : added);
	Series* s = buffer(series);
	uint32_t w = s->unit();
	uint8_t* at = unicode::unit_at(s, head);
	uint8_t* text = unicode::unit_at(s, tail);
	size_t rest = size_t(remaining - replaced) * w;  // units kept after the replaced ones
	if (added <= replaced) {
		std::memmove(at, text, size_t(added) * w);
		std::memmove(at + size_t(added) * w, at + size_t(replaced) * w, rest);
	} else {
		// The first units of the text go over the replaced ones; the others
		// close up behind the text's start and rotate into place.
		std::memcpy(at, text, size_t(replaced) * w);
		std::memmove(text, text + size_t(replaced) * w, size_t(added - replaced) * w);
		rotate_blocks(at + size_t(replaced) * w, rest, size_t(added - replaced) * w);
	}
	s->tail = s->head + (tail - replaced + added) * w;
	series->data1 = head + added;
	if (owned) series::notify(series, words::w_changed, head, added, value);
	return series;
}

Cell* swap(Cell* series1, Cell* series2) {
	Type t2 = cell::type_of(series2);
	if (!any_string(t2) && t2 != T_BINARY) errors::fire(errors::id::script_invalid_arg, series2);
	uint32_t h1 = clamp_head(series1), h2 = clamp_head(series2);
	if (h1 >= abs_length(series1) || h2 >= abs_length(series2)) return series1;
	check_swap(series1, series2, h1, h2);
	bool owned1 = series::notify(series1, words::w_swap, h1, 1);
	bool owned2 = series::notify(series2, words::w_swap, h2, 1);
	if (owned1 || owned2) {
		// The owners' handlers may have changed either series.
		h1 = clamp_head(series1);
		h2 = clamp_head(series2);
		if (h1 >= abs_length(series1) || h2 >= abs_length(series2)) return series1;
		check_swap(series1, series2, h1, h2);
	}
	uint32_t a = abs_char_at(series1, h1), b = abs_char_at(series2, h2);
	poke_char(buffer(series1), h1, b);
	poke_char(buffer(series2), h2, a);
	if (owned1) series::notify(series1, words::w_swaped, h1, 1);
	if (owned2) series::notify(series2, words::w_swaped, h2, 1);
	return series1;
}

Cell* take(Cell* series, const Cell* part, bool deep, bool last) {
	// series::take tells the series' owner.
	Cell* taken = series::take(series, part, deep, last);
	if (cell::is(taken, T_NONE)) return taken;
	uint32_t n = abs_length(taken);
	// One unit without /part is answered as the series' element value.
	if (!part && n == 1) {
		const uint8_t* at = series::unit_at(memory::buffer_of(taken), 0);
		switch (cell::type_of(taken)) {
		case T_BINARY: cell::make_integer(taken, *at); break;
		case T_VECTOR: *taken = *series::vector_hooks.push_value(taken, at); break;
		default: cell::set(taken, T_CHAR, 0, unicode::get_unit(at, width_of(taken))); break;
		}
	}
	return taken;
}

// ---- trim ----

namespace {

// White space of trim/lines and of trimming heads and tails.
inline bool unicode_space(uint32_t c) {
	return c == 0x85 || c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
		c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}
inline bool white(uint32_t c) { return (c >= 1 && c <= 32) || unicode_space(c); }
// What a line may start with or end in and lose: spaces, tabs, the Unicode spaces.
inline bool line_blank(uint32_t c) { return c == ' ' || c == '\t' || unicode_space(c); }

// In-place rewriting of a range: reads never fall behind writes.
struct Packer {
	uint8_t* base;
	uint32_t width;
	uint32_t out;
	uint32_t get(uint32_t i) const { return unicode::get_unit(base + size_t(i) * width, width); }
	void put(uint32_t c) { unicode::put_unit(base + size_t(out++) * width, width, c); }
	void copy(uint32_t from, uint32_t n) {
		std::memmove(base + size_t(out) * width, base + size_t(from) * width, size_t(n) * width);
		out += n;
	}
};

Packer packer_at(Cell* series) {
	Series* s = buffer(series);
	return {s->head_ptr(), s->unit(), clamp_head(series)};
}

void finish(Cell* series, const Packer& p) { truncate(series, p.out); }

// The codes of a trim/with set.
struct CodeSet {
	uint8_t low[32] = {};
	std::vector<uint32_t> high;
	bool empty = true;

	void add(uint32_t c) {
		empty = false;
		if (c < 256)
			low[c >> 3] |= uint8_t(1u << (c & 7));
		else
			high.push_back(c);
	}
	bool has(uint32_t c) const {
		if (c < 256) return (low[c >> 3] >> (c & 7)) & 1;
		return std::find(high.begin(), high.end(), c) != high.end();
	}
};

CodeSet codes_of(const Cell* set) {
	CodeSet codes;
	if (!set) {
		for (uint32_t c : {'\t', '\n', '\r', ' '}) codes.add(c);
		return codes;
	}
	Type t = cell::type_of(set);
	if (any_string(t) || t == T_BINARY) {
		Cell v = *set;
		Text text = text_of(&v);
		for (uint32_t i = 0; i < text.length; i++) codes.add(text.unit(i));
	} else if (t == T_CHAR || t == T_INTEGER) {
		codes.add(set->data2);
	} else {
		errors::fire(errors::id::script_invalid_arg, set);
	}
	return codes;
}

}  // namespace

void trim_with(Cell* series, const Cell* set) {
	CodeSet codes = codes_of(set);
	if (codes.empty) return;
	Packer p = packer_at(series);
	uint32_t end = abs_length(series);
	for (uint32_t i = p.out; i < end; i++) {
		uint32_t c = p.get(i);
		if (!codes.has(c)) p.put(c);
	}
	finish(series, p);
}

void trim_lines(Cell* series) {
	Packer p = packer_at(series);
	uint32_t end = abs_length(series);
	uint32_t start = p.out;
	bool gap = false;
	for (uint32_t i = start; i < end; i++) {
		uint32_t c = p.get(i);
		if (white(c)) {
			gap = p.out > start;
			continue;
		}
		if (gap) p.put(' ');
		gap = false;
		p.put(c);
	}
	finish(series, p);
}

void trim_head_tail(Cell* series, bool head, bool tail) {
	Packer p = packer_at(series);
	uint32_t from = p.out;
	uint32_t end = abs_length(series);
	if (!tail || head)
		while (from < end && white(p.get(from))) from++;
	bool cut_line = false;
	if (!head || tail)
		while (end > from && white(p.get(end - 1))) cut_line |= p.get(--end) == '\n';
	if (head || tail) {
		p.copy(from, end - from);
	} else {
		// Line by line: blanks that start a line or end one are dropped.
		bool line_start = true;
		uint32_t pending = 0, pending_from = 0;
		for (uint32_t i = from; i < end; i++) {
			uint32_t c = p.get(i);
			if (c == '\n') {
				pending = 0;
				p.put(c);
				line_start = true;
			} else if (line_blank(c)) {
				if (line_start) continue;
				if (pending++ == 0) pending_from = i;
			} else {
				if (pending) p.copy(pending_from, pending);
				pending = 0;
				p.put(c);
				line_start = false;
			}
		}
		if (pending) p.copy(pending_from, pending);
	}
	finish(series, p);
	if (cut_line && !tail) append_char(series, '\n');
}

Cell* trim(Cell* series, bool head, bool tail, bool automatic, bool lines, bool all, const Cell* with) {
	if (automatic && !(all || with)) errors::fire(errors::id::internal_not_done);
	bool owned = series::notify(series, words::w_trim, clamp_head(series), 0);
	uint32_t at = clamp_head(series);
	if (all || with)
		trim_with(series, with);
	else if (lines)
		trim_lines(series);
	else
		trim_head_tail(series, head, tail);
	if (owned) series::notify(series, words::w_trimmed, at, vs_length(series));
	return series;
}

}  // namespace vyn::string
