// handle!: an operating-system object (a window, a monitor, a font, a
// rich-text layout, a file descriptor) held by a language value.
//
// The object itself lives in a slot of the externals registry
// (runtime/externals.h); the cell keeps the slot and the slot's generation
// at the time the handle was made, so a handle whose object was freed (and
// whose slot may hold another object since) is detected as stale and never
// reaches the new occupant.
//
// Cell: word 1 the class (Class below, shown by mold/all); word 2 the id,
// the slot + 1 (0 is the null handle); word 3 the slot's generation.
// Scripts can only hold, compare, form and mold handles.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::handle {

enum Class : uint32_t { NULL_CLASS = 0, FD, MONITOR, WINDOW, FONT, RICH_TEXT, CLASS_COUNT };

// The class's name for mold/all ("null" for 0, "" past the known classes).
const char* class_name(uint32_t cls);

// Fills `out` with a handle to externals slot `slot` (-1: the null handle).
Cell* make_at(Cell* out, int32_t slot, Class cls);
// The same into the frame's result slot, on top of the stack, or at the
// tail of a block.
Cell* box(int32_t slot, Class cls);
Cell* push(int32_t slot, Class cls);
Cell* push_null();
Cell* make_in(const Cell* block, int32_t slot, Class cls);

inline uint32_t id_of(const Cell* h) { return h->data2; }
inline Class class_of(const Cell* h) { return Class(h->data1); }
// The externals slot, -1 for the null handle.
inline int32_t slot_of(const Cell* h) { return int32_t(h->data2) - 1; }
// True when the handle is not null and its object is still in its slot.
bool is_live(const Cell* h);
// The object, or null when the handle is null or stale.
void* data(const Cell* h);
// The collector's side: marks the slot when the handle is live.
void mark(const Cell* h);

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
	int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);

void init_type();

}  // namespace vyn::handle
