#include "runtime/datatypes/routine.h"

#include <vector>

#include "runtime/context.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

namespace vyn::routine {

namespace {

constexpr int MORE_CELLS = 5;
constexpr uint32_t CONTEXT_KIND_FUNCTION = 1;
constexpr int ENTRY_CELL = 2;

std::vector<Entry>& entries() {
	static std::vector<Entry> table;
	return table;
}

std::vector<Guard>& guards() {
	static std::vector<Guard> table;
	return table;
}

uint32_t count_word_arguments(const Cell* spec) {
	Series* s = memory::buffer_of(spec);
	uint32_t n = 0;
	for (Cell* e = s->head_cell() + spec->data1; e < s->tail_cell(); e++) {
		if (cell::is(e, T_REFINEMENT)) break;
		if (cell::is(e, T_WORD)) n++;
	}
	return n > 31 ? 31 : n;
}

}  // namespace

uint32_t register_entry(Entry entry, Guard guard) {
	entries().push_back(entry);
	guards().push_back(guard);
	return uint32_t(entries().size() - 1);
}

bool takes(const Cell* fn) {
	uint32_t index = uint32_t(cell::get_integer(memory::series(fn->data3)->head_cell() + ENTRY_CELL));
	Guard guard = index < guards().size() ? guards()[index] : nullptr;
	return !guard || guard();
}

void push(const Cell* spec_in, const Cell* body, uint32_t entry, int32_t return_type, bool variant, Cell* out) {
	Cell spec = *spec_in;
	Cell* keep = stack::push(&spec);
	stack::push(body);
	Node ctx = context::make_from_spec(&spec, true, false, CONTEXT_KIND_FUNCTION);
	Node more = memory::alloc_unset_cells(MORE_CELLS);
	Series* m = memory::series(more);
	m->tail = MORE_CELLS * sizeof(Cell);
	Cell* cells = m->head_cell();
	cells[0] = keep[1];
	cell::make_integer(cells + ENTRY_CELL, int32_t(entry));
	cell::make_integer(cells + 4, return_type);
	uint32_t header = T_ROUTINE | (variant ? FLAG_VARIANT : 0) | (count_word_arguments(&spec) << 25);
	Cell fn;
	cell::set(&fn, header, ctx, spec.data2, more);
	memory::series(ctx)->head_cell()[1] = fn;  // the self cell
	*out = fn;
	stack::top = keep;
}

uint32_t get_flags(const Cell* routine) { return (routine->header >> 25) & 31; }

void call(const Cell* routine) {
	const Cell* slot = memory::series(routine->data3)->head_cell() + ENTRY_CELL;
	uint32_t index = cell::is(slot, T_INTEGER) ? uint32_t(cell::get_integer(slot)) : UINT32_MAX;
	if (index >= entries().size()) errors::fire(errors::id::internal_routines);
	entries()[index]();
}

}  // namespace vyn::routine
