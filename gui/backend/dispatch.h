// Events into the script layer: every event, from the window system or
// sent by a script, reaches system/view/awake here, through the trampoline.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::dispatch {

// Dispatches a backend event of the type code (event.h) about the face,
// with the modifier flags and the pointer offset; `out` takes awake's
// answer. False when awake could not run or an exit escaped it.
bool send(uint32_t code, const Cell* face, uint32_t flags, const Cell* offset, Cell* out);
// The same with the key and picked fields (none where null).
bool send(uint32_t code, const Cell* face, uint32_t flags, const Cell* offset, const Cell* key, const Cell* picked,
	Cell* out);
// The same with the orientation field too (a scroll bar's event).
bool send(uint32_t code, const Cell* face, uint32_t flags, const Cell* offset, const Cell* key, const Cell* picked,
	const Cell* orientation, Cell* out);
// Dispatches an event! value (a synthetic one keeps its own fields).
bool send_event(const Cell* event, Cell* out);
// Queues an event! value: the event loop dispatches it when it next runs.
void post(const Cell* event);
// Queued events not dispatched yet.
uint32_t queued();

// Registers the collector's marker of the queue (backend start).
void init();

}  // namespace vyn::dispatch
