#include "runtime/externals.h"

#include <vector>

#include "runtime/errors.h"

namespace vyn::externals {

namespace {

Class classes[MAX_CLASSES];
uint32_t classes_used = 0;
std::vector<Slot> slots;
int32_t used_head = END;
int32_t free_head = END;

[[noreturn]] void bad_slot(int32_t slot) {
	Cell index;
	cell::make_integer(&index, slot);
	errors::fire(errors::id::script_out_of_range, &index);
}

inline bool in_range(int32_t slot) { return slot >= 0 && uint32_t(slot) < slots.size(); }
inline bool in_use(int32_t slot) { return in_range(slot) && !(slots[slot].word & FREE); }

Slot& used_slot(int32_t slot) {
	if (!in_use(slot)) bad_slot(slot);
	return slots[slot];
}

// Chains slots [from, size) as free, in order, ending the list.
void chain_free(uint32_t from) {
	for (uint32_t i = from; i < slots.size(); i++) {
		slots[i] = Slot{FREE, nullptr, int32_t(i) + 1, END, slots[i].generation};
	}
	slots.back().next = END;
}

// Doubles the table; answers the first new slot, which heads the new half's chain.
int32_t grow() {
	uint32_t old = uint32_t(slots.size());
	if (old > uint32_t(INT32_MAX) / 2) errors::fire(errors::id::internal_no_memory);
	slots.resize(size_t(old) * 2);
	chain_free(old);
	return int32_t(old);
}

void unlink_used(int32_t slot) {
	Slot& s = slots[slot];
	if (s.prev == END)
		used_head = s.next;
	else
		slots[s.prev].next = s.next;
	if (s.next != END) slots[s.next].prev = s.prev;
}

// Takes the slot off the used list and puts it at the head of the free list.
void to_free_list(int32_t slot) {
	unlink_used(slot);
	Slot& s = slots[slot];
	s = Slot{FREE, nullptr, free_head, END, s.generation + 1};
	free_head = slot;
}

void reset_handles() {
	slots.assign(INITIAL_HANDLES, Slot{});
	chain_free(0);
	used_head = END;
	free_head = 0;
}

}  // namespace

void init() {
	classes_used = 0;
	reset_handles();
}

int32_t register_class(const char* name, Release release) {
	if (classes_used == MAX_CLASSES) {
		Cell limit;
		cell::make_integer(&limit, int32_t(MAX_CLASSES));
		errors::fire(errors::id::internal_limit_hit, &limit);
	}
	classes[classes_used] = Class{name, release};
	return int32_t(++classes_used);
}

int32_t alloc_handle(void* data, int32_t class_id) {
	if (class_id < 0 || uint32_t(class_id) > classes_used) {
		Cell id;
		cell::make_integer(&id, class_id);
		errors::fire(errors::id::script_out_of_range, &id);
	}
	if (slots.empty()) reset_handles();
	int32_t slot = free_head;
	// The last free slot: the new half follows it on the free list.
	if (slots[slot].next == END) slots[slot].next = grow();
	Slot& s = slots[slot];
	free_head = s.next;
	s.word = uint32_t(class_id);
	s.data = data;
	s.prev = END;
	s.next = used_head;
	if (used_head != END) slots[used_head].prev = slot;
	used_head = slot;
	return slot;
}

void set_data(int32_t slot, void* data) {
	Slot& s = used_slot(slot);
	void* old = s.data;
	if (old == data) return;
	s.data = data;
	release(int32_t(s.word & CLASS_MASK), old);
}

int32_t free_handle(int32_t slot, bool release_data) {
	if (!in_range(slot)) bad_slot(slot);
	if (slots[slot].word & FREE) errors::fire(errors::id::internal_wrong_mem);
	// Off the lists before the callback runs, so it never sees a half-freed slot.
	int32_t class_id = int32_t(slots[slot].word & CLASS_MASK);
	void* old = slots[slot].data;
	to_free_list(slot);
	if (release_data) release(class_id, old);
	return END;
}

bool mark(int32_t slot, void* data) {
	if (!in_use(slot)) return false;
	Slot& s = slots[slot];
	if (data) s.data = data;
	if (s.word & MARK) return false;
	s.word |= MARK;
	return true;
}

// The unmarked slots are gathered first: a release callback may then touch
// the registry without breaking the walk.
void sweep() {
	struct Dead {
		int32_t slot;
		uint32_t generation;
	};
	std::vector<Dead> dead;
	for (int32_t slot = used_head; slot != END; slot = slots[slot].next) {
		if (slots[slot].word & MARK)
			slots[slot].word &= ~MARK;
		else
			dead.push_back({slot, slots[slot].generation});
	}
	for (const Dead& d : dead)
		if (is_current(d.slot, d.generation)) free_handle(d.slot, true);
}

void walk(int32_t class_id, Visit visit) {
	for (int32_t slot = used_head; slot != END; slot = slots[slot].next)
		if (int32_t(slots[slot].word & CLASS_MASK) == class_id) visit(slots[slot].data);
}

void release(int32_t class_id, void* data) {
	if (class_id < 1 || uint32_t(class_id) > classes_used) return;
	Release callback = classes[class_id - 1].release;
	if (callback) callback(data);
}

void* data(int32_t slot) { return used_slot(slot).data; }

uint32_t generation(int32_t slot) { return used_slot(slot).generation; }

bool is_current(int32_t slot, uint32_t generation) {
	return in_use(slot) && slots[slot].generation == generation;
}

uint32_t capacity() { return uint32_t(slots.size()); }

uint32_t class_count() { return classes_used; }

const Class& class_entry(int32_t class_id) {
	if (class_id < 1 || uint32_t(class_id) > classes_used) bad_slot(class_id);
	return classes[class_id - 1];
}

}  // namespace vyn::externals
