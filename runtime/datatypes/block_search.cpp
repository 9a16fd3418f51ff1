// find and select on blocks: a linear scan over records of /skip cells,
// matching one value, a datatype or typeset, or a sequence of cells.
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_internal.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"

namespace vyn::block {

namespace {

enum class Mode { value, type, typeset, sequence };

struct Search {
	Mode mode;
	CompareOp op;
	const Cell* value;
	Cell sequence;        // the value's cells, for Mode::sequence
	uint32_t length = 1;  // cells one attempt compares
	int64_t step = 1;
	int64_t end = 0;      // last searchable cell
};

// Whether the cells at `pos` match; a sequence must end by `end`.
bool attempt(const Search& q, const Cell* b, int64_t pos) {
	const Cell* c = vs_abs_at(b, uint32_t(pos));
	switch (q.mode) {
	case Mode::type: return cell::type_of(c) == Type(q.value->data1);
	case Mode::typeset: return typeset_has(q.value, cell::type_of(c));
	case Mode::value: return actions::compare(c, q.value, q.op);
	case Mode::sequence: break;
	}
	if (pos + q.length - 1 > q.end) return false;
	const Cell* s = vs_abs_at(&q.sequence, q.sequence.data1);
	for (uint32_t i = 0; i < q.length; i++)
		if (!actions::compare(c + i, s + i, q.op)) return false;
	return true;
}

// The matching position, or -1, and the scan's direction.
struct Found {
	int64_t pos;
	bool backward;
};

Found search(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same,
	const Cell* skip, bool last, bool reverse, bool match, Search& q) {
	uint32_t n = buffer_length_cells(series);
	int64_t h = series::clamp_head(series);
	Found none{-1, false};
	if (n == 0 || (h >= n && !reverse)) return none;
	if (skip) {
		if (!cell::is(skip, T_INTEGER)) series::refine_error("skip", skip);
		q.step = cell::get_integer(skip);
		if (q.step < 1) errors::fire(errors::id::script_out_of_range, skip);
	}
	q.end = n - 1;
	if (part) {
		if (cell::is(part, T_INTEGER)) {
			int64_t count = cell::get_integer(part);
			if (count < 1) return none;
			q.end = h + count - 1;
		} else if (series::same_series(series, part)) {
			q.end = series::head_of(part);
		} else {
			series::refine_error("part", part);
		}
		if (q.end > n - 1) q.end = n - 1;
		if (q.end < 0) return none;
	}
	q.value = value;
	q.op = same ? COMP_SAME : case_sensitive ? COMP_STRICT_EQUAL : COMP_FIND_SELECT;
	Type vt = cell::type_of(value);
	if (!only && vt == T_DATATYPE) {
		q.mode = Mode::type;
	} else if (!only && vt == T_TYPESET) {
		q.mode = Mode::typeset;
	} else if (!only && series::any_block(vt)) {
		q.mode = Mode::sequence;
		q.sequence = *value;
		q.length = length(&q.sequence);
		if (q.length == 0) return none;
	} else {
		q.mode = Mode::value;
	}
	int64_t start;
	int64_t stop;
	bool backward = last || reverse;
	if (!backward) {
		start = h;
		stop = q.end;
	} else {
		int64_t from = last ? int64_t(n) : h;
		start = part ? q.end : from - q.length;
		if (start > int64_t(n) - 1) start = n - 1;
		stop = 0;
		if (start < 0) return none;
	}
	if (backward) {
		for (int64_t pos = start; pos >= stop; pos -= q.step) {
			if (attempt(q, series, pos)) return {pos, true};
			if (match) break;
		}
	} else {
		for (int64_t pos = start; pos <= stop; pos += q.step) {
			if (attempt(q, series, pos)) return {pos, false};
			if (match) break;
		}
	}
	return none;
}

Cell* answer_none(Cell* series) {
	cell::set_type(series, T_NONE);
	return series;
}

}  // namespace

Cell* find(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool,
	const Cell*, const Cell* skip, bool last, bool reverse, bool tail, bool match) {
	Search q{};
	Found f = search(series, value, part, only, case_sensitive, same, skip, last, reverse, match, q);
	if (f.pos < 0) return answer_none(series);
	int64_t pos = f.pos;
	if (tail) pos += q.mode == Mode::sequence ? q.length : f.backward ? 1 : q.step;
	int64_t n = buffer_length_cells(series);
	series->data1 = uint32_t(pos > n ? n : pos);
	return series;
}

Cell* select(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool,
	const Cell*, const Cell* skip, bool last, bool reverse) {
	Search q{};
	Found f = search(series, value, part, only, case_sensitive, same, skip, last, reverse, false, q);
	if (f.pos < 0) return answer_none(series);
	int64_t after = f.pos + (q.mode == Mode::sequence ? q.length : 1);
	if (after >= buffer_length_cells(series)) return answer_none(series);
	return vs_abs_at(series, uint32_t(after));
}

}  // namespace vyn::block
