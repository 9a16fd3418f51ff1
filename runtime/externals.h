// The externals registry: operating-system objects held by values (images,
// fonts, COM objects), each in a handle slot whose class names the callback
// that releases it. The collector marks the slots its handle! values reach
// and sweeps the rest, releasing each unreached object once.
//
// Invariants:
//  - Every slot is on exactly one list: the used list (most recent first,
//    doubly linked so a free is O(1)) or the free list (most recently freed
//    first). END closes both.
//  - A free slot's word is FREE alone; a used slot's word holds its class id
//    in bits 0-7, plus MARK between the collector's mark and sweep.
//  - The table doubles when the last free slot is taken, so the free list is
//    never empty after an allocation.
//  - A slot's generation changes each time it is freed: a value keeping
//    (slot, generation) can tell its object is gone, whoever reused the slot.
#pragma once

#include <cstdint>

namespace vyn::externals {

using Release = void (*)(void* data);
using Visit = void (*)(void* data);

constexpr uint32_t MAX_CLASSES = 20;
constexpr uint32_t INITIAL_HANDLES = 1000;
constexpr uint32_t CLASS_MASK = 0xFFu;
constexpr uint32_t MARK = 0x80000000u;
constexpr uint32_t FREE = 0x40000000u;
constexpr int32_t END = -1;

struct Class {
	const char* name;
	Release release;  // may be null
};

struct Slot {
	uint32_t word;  // class id and mark, or FREE
	void* data;
	int32_t next;   // on the used or the free list
	int32_t prev;   // on the used list only
	uint32_t generation;
};

// Empties both tables: INITIAL_HANDLES slots, all on the free list.
void init();

// Answers the new class's id, 1 for the first; a class past MAX_CLASSES
// raises internal limit-hit.
int32_t register_class(const char* name, Release release);

// Takes the most recently freed slot for `data` (class 0: no class).
int32_t alloc_handle(void* data, int32_t class_id);
// Replaces the slot's data, releasing the old data when it differs.
void set_data(int32_t slot, void* data);
// Frees the slot (releasing its data first when `release_data`); answers END.
// A slot that is not in use raises internal wrong-mem.
int32_t free_handle(int32_t slot, bool release_data);

// The collector's side: answers true when the slot was not marked yet;
// replaces the data when `data` is not null. A bad or free slot is ignored.
bool mark(int32_t slot, void* data);
// Releases every used slot left unmarked; clears the marks of the others.
void sweep();

// Calls `visit` with the data of every used slot of the class, most recent first.
void walk(int32_t class_id, Visit visit);
// Calls the class's release callback; no-op without a class or callback.
void release(int32_t class_id, void* data);

// Reading a used slot; a bad or free slot raises script out-of-range.
void* data(int32_t slot);
uint32_t generation(int32_t slot);
// True when the slot is in use and still has the generation given.
bool is_current(int32_t slot, uint32_t generation);

uint32_t capacity();
uint32_t class_count();
const Class& class_entry(int32_t class_id);

}  // namespace vyn::externals
