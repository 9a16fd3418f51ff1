// The set operations on blocks (unique, union, intersect, exclude,
// difference) over records of /skip cells, each record known by its first
// cell. The result is built with a hash index of the keys it holds; the
// other operand of a membership test gets one too (its own, for a hash!).
// Any-block keys hash their node, so they are matched by a scan instead.
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_internal.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/hash_table.h"

namespace vyn::block {

namespace {

struct SetPass {
	CompareOp op;
	uint32_t step;
	Cell* result;  // a hash! over the result block while it is built
};

// A series to test membership in: its index and where its cells start.
struct Members {
	Cell* series;
	Node table;
	int32_t head;
};

// The index of the other operand: its own for a hash!, else a new one.
Members members_of(Cell* series) {
	uint32_t head = series::clamp_head(series);
	bool indexed = cell::is(series, T_HASH) && series->data3;
	Node table = indexed ? series->data3 : hash::create(length(series), series, hash::KIND_BLOCK, 0);
	return {series, table, int32_t(head)};
}

// find/only of a key, every `step` cells.
bool found_by_scan(Cell* series, Cell* key, uint32_t step, CompareOp op) {
	Cell at = *series;
	Cell skip;
	cell::make_integer(&skip, int32_t(step));
	Cell* r = find(&at, key, nullptr, true, op == COMP_STRICT_EQUAL, false, false, nullptr, step > 1 ? &skip : nullptr,
		false, false, false, false);
	return !cell::is(r, T_NONE);
}

bool member(const Members& m, Cell* key, CompareOp op) {
	if (series::any_block(key)) return found_by_scan(m.series, key, 1, op);
	return hash::get(m.table, key, m.head, 1, op, false, false) != nullptr;
}

// Appends the records of `from` whose keys pass the membership test (none
// when `other` is null; `keep` says whether a member passes) and are not
// in the result yet.
void run_pass(const SetPass& p, Cell* from, const Members* other, bool keep) {
	uint32_t head = series::clamp_head(from);
	for (uint32_t i = head; i < buffer_length_cells(from); i += p.step) {
		Cell key = *vs_abs_at(from, i);
		if (other && member(*other, &key, p.op) != keep) continue;
		bool taken = series::any_block(&key) ? found_by_scan(p.result, &key, p.step, p.op)
											 : hash::get(p.result->data3, &key, 0, 1, p.op, false, false) != nullptr;
		if (taken) continue;
		uint32_t at = buffer_length_cells(p.result);
		append_value(p.result, &key);
		hash::put(p.result->data3, vs_abs_at(p.result, at));
		uint32_t rest = buffer_length_cells(from) - i;
		for (uint32_t k = 1; k < p.step && k < rest; k++) append_value(p.result, vs_abs_at(from, i + k));
	}
}

}  // namespace

void do_set_op(int32_t op, bool case_sensitive, const Cell* skip) {
	uint32_t step = 1;
	if (skip) {
		if (!cell::is(skip, T_INTEGER) || cell::get_integer(skip) < 1) series::refine_error("skip", skip);
		step = uint32_t(cell::get_integer(skip));
	}
	Cell* first = stack::arguments;
	Cell* second = stack::arguments + 1;
	bool unique = op == string::SET_UNIQUE;
	uint32_t capacity = length(first);
	if (!unique) series::clamp_head(second);
	if (op == string::SET_UNION) capacity += length(second);
	if (capacity < 1) capacity = 1;
	// Sized for every key, the index never grows while the result is built:
	// a growth would rebuild it from every cell, records' tails included.
	Node table = hash::create(capacity, nullptr, hash::KIND_BLOCK, 0);
	Cell* result = stack::alloc_slot();
	cell::set(result, T_HASH, 0, hash::table_of(table)->block, table);
	SetPass pass{case_sensitive ? COMP_STRICT_EQUAL : COMP_FIND_SELECT, step, result};
	switch (op) {
	case string::SET_UNIQUE: run_pass(pass, first, nullptr, true); break;
	case string::SET_UNION:
		run_pass(pass, first, nullptr, true);
		run_pass(pass, second, nullptr, true);
		break;
	case string::SET_INTERSECT:
	case string::SET_EXCLUDE: {
		Members other = members_of(second);
		run_pass(pass, first, &other, op == string::SET_INTERSECT);
		break;
	}
	default: {  // difference
		Members other = members_of(second);
		run_pass(pass, first, &other, false);
		Members mine = members_of(first);
		run_pass(pass, second, &mine, false);
	}
	}
	bool hashed = cell::is(first, T_HASH) || (!unique && cell::is(second, T_HASH));
	if (hashed) {
		// The index holds the keys alone; a hash! indexes every cell.
		if (step > 1) hash::rebuild(table, buffer_length_cells(result));
	} else {
		cell::set(result, cell::type_of(first), 0, result->data2, 0);
	}
	*first = *result;
	stack::keep();
}

}  // namespace vyn::block
