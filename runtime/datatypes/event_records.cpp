#include "runtime/datatypes/event_records.h"

#include <vector>

#include "runtime/collector.h"

namespace vyn::event_records {

namespace {

constexpr uint32_t FIRST_CAPACITY = 8;

struct Slot {
	uint32_t id = 0;  // 0: free
	Fields fields;
};

std::vector<Slot> slots;
uint32_t live = 0;
uint32_t last_id = 0;

inline uint32_t mask() { return uint32_t(slots.size()) - 1; }

void grow() {
	std::vector<Slot> old = std::move(slots);
	slots.assign(old.empty() ? FIRST_CAPACITY : old.size() * 2, Slot{});
	for (Slot& s : old)
		if (s.id) slots[s.id & mask()] = s;
}

void mark() {
	for (Slot& s : slots)
		if (s.id) collector::mark_cells(s.fields.values, s.fields.values + FIELD_COUNT);
}

}  // namespace

Fields none_fields() {
	Fields f;
	for (Cell& c : f.values) cell::make_none(&c);
	return f;
}

uint32_t open(const Fields& fields) {
	if ((live + 1) * 2 > slots.size()) grow();
	// Below half full, a free slot is met within a few ids.
	do {
		last_id++;
	} while (last_id == 0 || slots[last_id & mask()].id != 0);
	Slot& s = slots[last_id & mask()];
	s.id = last_id;
	s.fields = fields;
	live++;
	return last_id;
}

Fields* find(uint32_t id) {
	if (id == 0 || slots.empty()) return nullptr;
	Slot& s = slots[id & mask()];
	return s.id == id ? &s.fields : nullptr;
}

void close(uint32_t id) {
	if (id == 0 || slots.empty()) return;
	Slot& s = slots[id & mask()];
	if (s.id != id) return;
	s = Slot{};
	live--;
}

uint32_t open_count() { return live; }

void init() {
	slots.clear();
	live = 0;
	last_id = 0;
	collector::register_marker(mark);
}

}  // namespace vyn::event_records
