#include "runtime/evaluator/series_entries.h"

#include <cstring>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/library_entries.h"
#include "runtime/evaluator/stack.h"
#include "runtime/registry.h"
#include "runtime/unicode.h"
#include "runtime/utf8.h"
#include "runtime/words.h"

namespace vyn::series_entries {

namespace {

using action::ChangeFn;
using action::FindFn;
using action::InsertFn;
using action::MakeFn;

inline Cell* args() { return stack::arguments; }

// A used refinement's cell is true; an unused one false.
inline bool on(const Cell* c) { return cell::is(c, T_LOGIC) && c->data1 != 0; }

bool text_or_binary(Type t) { return string::any_string(t) || t == T_BINARY; }

bool any_function(Type t) {
	return t == T_NATIVE || t == T_ACTION || t == T_OP || t == T_FUNCTION || t == T_ROUTINE;
}

// The index where `pattern` is next found in `series` from `from`, or -1.
int64_t find_from(FindFn find, const Cell* series, uint32_t from, Cell* pattern, bool case_sensitive) {
	Cell probe = *series;
	probe.data1 = from;
	find(&probe, pattern, nullptr, false, case_sensitive, false, false, nullptr, nullptr, false, false, false, false);
	return cell::is(&probe, T_NONE) ? -1 : int64_t(probe.data1);
}

// An empty series of the type of `like` with room for `units`, in a new
// data-stack slot.
Cell* empty_like(Cell* like, uint32_t units) {
	// make builds its result in the prototype's cell: it gets a copy.
	Cell* out = stack::push(like);
	Cell size;
	cell::make_integer(&size, int32_t(units));
	Type type = cell::type_of(like);
	*out = *actions::get_for_type<MakeFn>(type, out, A_MAKE)(out, &size, type);
	return out;
}

// ---------------------------------------------------------------- replace

// Arguments: series pattern value /all /deep /case. The entry takes find
// mode on text and binary with a value that is not a function; rule mode
// and function values run the body.
bool replace_takes() {
	const Cell* a = args();
	if (!text_or_binary(cell::type_of(a))) return false;
	Type pattern = cell::type_of(a + 1);
	if (pattern == T_BLOCK || pattern == T_BITSET) return false;
	return !any_function(cell::type_of(a + 2));
}

// Units the pattern takes in the series: characters in text, bytes in
// binary (a text pattern counts its UTF-8 bytes), 1 for a single value.
uint32_t match_length(Cell* series, Cell* pattern) {
	Type t = cell::type_of(pattern);
	if (cell::is(series, T_BINARY) && string::any_string(t))
		return unicode::utf8_size(string::vs_head(pattern), string::vs_tail(pattern), string::width_of(pattern));
	if (text_or_binary(t) || t == T_VECTOR) return string::vs_length(pattern);
	return 1;
}

// The places where the pattern starts, from the series' position on.
std::vector<uint32_t> find_hits(Cell* series, Cell* pattern, uint32_t len, bool all, bool case_sensitive) {
	FindFn find = actions::get<FindFn>(series, A_FIND);
	std::vector<uint32_t> hits;
	uint32_t tail = string::abs_length(series);
	for (int64_t at = string::clamp_head(series); at <= int64_t(tail);) {
		at = find_from(find, series, uint32_t(at), pattern, case_sensitive);
		if (at < 0) break;
		hits.push_back(uint32_t(at));
		if (!all || len == 0) break;
		at += len;
	}
	return hits;
}

// Puts the units of `with` in place of `len` units at each hit, inside the
// series' own buffer: each kept stretch moves once, forward when the text
// shrinks, backward from the new tail when it grows. Answers the new length.
uint32_t splice_hits(Cell* series, const std::vector<uint32_t>& hits, uint32_t len, Cell* with) {
	Series* s = memory::buffer_of(series);
	Series* w = memory::buffer_of(with);
	if (w->unit() > s->unit()) s = unicode::widen(s, w->unit());
	if (w->unit() < s->unit()) w = unicode::widen(w, s->unit());
	uint32_t unit = s->unit();
	uint32_t tail = series::units(s), wl = series::units(w);
	uint64_t grown = uint64_t(tail) + uint64_t(hits.size()) * wl - uint64_t(hits.size()) * len;
	if (grown > INT32_MAX) errors::fire(errors::id::internal_no_memory);
	uint32_t size = uint32_t(grown);
	auto move = [&](uint32_t to, uint32_t from, uint32_t n) {
		std::memmove(unicode::unit_at(s, to), unicode::unit_at(s, from), size_t(n) * unit);
	};
	auto put_with = [&](uint32_t to) {
		std::memcpy(unicode::unit_at(s, to), w->head_ptr(), size_t(wl) * unit);
	};
	if (wl <= len) {
		uint32_t to = hits.front();
		for (size_t i = 0; i < hits.size(); i++) {
			put_with(to);
			to += wl;
			uint32_t from = hits[i] + len, end = i + 1 < hits.size() ? hits[i + 1] : tail;
			move(to, from, end - from);
			to += end - from;
		}
	} else {
		s = string::reserve(s, size - tail);
		w = memory::buffer_of(with);
		uint32_t to = size, end = tail;
		for (size_t i = hits.size(); i-- > 0;) {
			uint32_t from = hits[i] + len;
			to -= end - from;
			move(to, from, end - from);
			to -= wl;
			put_with(to);
			end = hits[i];
		}
	}
	s->tail = s->head + size * unit;
	return size;
}

// Every match is found in the series as given, then the series is changed
// in place in one pass: the cost does not grow with the count of matches.
void replace() {
	Cell* a = args();
	Cell* series = a;
	Cell* pattern = a + 1;
	Cell* value = a + 2;
	bool all = on(a + 3), case_sensitive = on(a + 5);
	Type pt = cell::type_of(pattern);
	if (string::any_string(series) && (pt == T_TAG || !string::any_string(pt))) {
		Cell* formed = stack::alloc_slot();
		string::make_at(formed, 16);
		actions::form(pattern, formed, nullptr, 0x7FFFFFFF);
		pattern = formed;
	}
	uint32_t len = match_length(series, pattern);
	std::vector<uint32_t> hits = find_hits(series, pattern, len, all, case_sensitive);
	if (!hits.empty()) {
		Cell* with = empty_like(series, 16);
		actions::get<InsertFn>(series, A_APPEND)(with, value, -1, false, 1, true);
		// The owner's handler may change the series: the places are found again.
		bool owned = series::notify(series, words::w_change, hits.front(), 0, value);
		if (owned) hits = find_hits(series, pattern, len, all, case_sensitive);
		if (!hits.empty()) {
			uint32_t size = splice_hits(series, hits, len, with);
			if (owned) series::notify(series, words::w_changed, hits.front(), size - hits.front(), value);
		}
	}
	stack::set_result(series);
}

// ---------------------------------------------------------------- split

// Arguments: series dlm. The delimiter is found as find finds it (without
// regard to case); each piece is a new value of the series' type.
void split() {
	Cell* series = args();
	Cell* dlm = args() + 1;
	if (cell::is(dlm, T_STRING) && string::vs_length(dlm) == 0) errors::fire(errors::id::script_invalid_arg, dlm);
	uint32_t size = cell::is(dlm, T_STRING) ? string::vs_length(dlm) : 1;
	FindFn find = actions::get<FindFn>(series, A_FIND);
	// The cuts are found first, so that the block is made at its size.
	std::vector<uint32_t> cuts;
	for (int64_t at = string::clamp_head(series); (at = find_from(find, series, uint32_t(at), dlm, false)) >= 0;) {
		cuts.push_back(uint32_t(at));
		at += size;
	}
	uint32_t tail = string::abs_length(series);
	cuts.push_back(tail);
	Type type = cell::type_of(series);
	Cell* out = stack::alloc_slot();
	block::make_at(out, int32_t(cuts.size()));
	uint32_t pos = series->data1;
	for (uint32_t end : cuts) {
		Cell source = *series, piece;
		source.data1 = pos;
		string::copy_text(&piece, &source, int32_t(end - pos), type);
		block::append_value(out, &piece);
		pos = end + size;
	}
	stack::set_result(out);
}

}  // namespace

void install() {
	library_entries::give("replace", replace, replace_takes);
	library_entries::give("split", split);
}

}  // namespace vyn::series_entries
