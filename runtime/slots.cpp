#include "runtime/slots.h"

#include <vector>

#include "runtime/errors.h"
#include "runtime/memory.h"

namespace vyn::slots {

namespace {

Cell* table = nullptr;
int32_t free_head = END;
std::vector<bool> in_use;

// Slot i is cell i of the data area (the block's head never moves).
inline Cell* cells_of(Series* s) { return reinterpret_cast<Cell*>(s->data()); }
inline Cell* cells() { return cells_of(memory::buffer_of(table)); }

// Chains cells [from, to) as free, in order, ending the list.
void chain_free(Cell* base, uint32_t from, uint32_t to) {
	for (uint32_t i = from; i < to; i++) cell::make_integer(base + i, i + 1 < to ? int32_t(i) + 1 : END);
	free_head = int32_t(from);
}

void grow() {
	Series* s = memory::expand_copy(memory::buffer_of(table), 0);
	uint32_t old = uint32_t(in_use.size());
	uint32_t now = s->size / sizeof(Cell);
	s->tail = s->size;
	chain_free(cells_of(s), old, now);
	in_use.resize(now);
}

// The 0-based slot of a 1-based index naming a slot in use.
uint32_t used_slot(int32_t index) {
	if (index < 1 || uint32_t(index) > in_use.size() || !in_use[index - 1]) {
		Cell bad;
		cell::make_integer(&bad, index);
		errors::fire(errors::id::script_out_of_range, &bad);
	}
	return uint32_t(index - 1);
}

}  // namespace

void init(Cell* root) {
	table = root;
	Node node = memory::alloc_cells(INITIAL_SLOTS);
	cell::set(root, T_BLOCK, 0, node, 0);
	Series* s = memory::series(node);
	s->tail = s->size;
	uint32_t count = s->size / sizeof(Cell);
	chain_free(cells_of(s), 0, count);
	in_use.assign(count, false);
}

int32_t put(const Cell* value) {
	Cell copy = *value;  // the value may live in the table, which growth moves
	if (free_head == END) grow();
	uint32_t slot = uint32_t(free_head);
	Cell* c = cells() + slot;
	free_head = cell::get_integer(c);
	*c = copy;
	in_use[slot] = true;
	return int32_t(slot) + 1;
}

Cell* get(int32_t index) { return cells() + used_slot(index); }

void free(int32_t index) {
	if (index == 0) return;
	if (index > 0 && uint32_t(index) <= in_use.size() && !in_use[index - 1])
		errors::fire(errors::id::internal_wrong_mem);
	uint32_t slot = used_slot(index);
	cell::make_integer(cells() + slot, free_head);
	free_head = int32_t(slot);
	in_use[slot] = false;
}

uint32_t capacity() { return uint32_t(in_use.size()); }

Cell* root() { return table; }

}  // namespace vyn::slots
