// port!: an object whose actions are carried out by script code. Its
// fields are those of system/standard/port (spec, scheme, actor, awake,
// state, data, extra); nearly every action applied to a port calls the
// function of the same name in the port's actor object, which the port's
// scheme (system/schemes) supplied when the port was made.
//
// Cell: the object! layout (context node, class id, on-set record) with
// type id 48.
//
// The 37 forwarded actions (slots 25 to 62 but open?) reach the actor
// from the action stack forms (evaluator/actions.cpp), which hand a port
// the call as it was made, before any type's preparation of the
// arguments. The actor function gets the port, the action's further
// arguments, then for each refinement its flag and its arguments, in the
// action's spec order; an absent refinement is false, its arguments none.
// The row itself holds make, form and mold, reflect, eval-path and
// compare from object!, and the typed read, write and open through which
// url! reaches the port of a URL.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::port {

// True for the slots a port hands to its actor.
bool forwards(Slot slot);

// Calls the actor's function for the action in the current frame (the
// port first) and leaves its answer in the frame's result slot. `refs` are
// the stack form's refinement positions.
void forward(Slot slot, const int32_t* refs);

// Calls the actor's function for `slot` with `values` (the port first,
// then the rest in the order above); the answer goes to `out`.
void call_actor(Slot slot, const Cell* values, uint32_t count, Cell* out);

// The shape of a forwarded action: its arguments after the port and the
// argument count of each refinement, in spec order.
struct Shape {
	uint8_t arguments;
	const char* refinements;  // one digit per refinement: its argument count
};
Shape shape_of(Slot slot);

// Row entries.
Cell* make(Cell* proto, Cell* spec, Type type);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, bool allow, const Cell* access);
Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool info, const Cell* as);
Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append, const Cell* part,
	const Cell* seek, const Cell* allow, const Cell* as);

// Registers port! (id 48, parent object!).
void init_type();

}  // namespace vyn::port
