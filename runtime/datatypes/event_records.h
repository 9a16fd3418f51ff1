// The GUI backend's records of the events it is dispatching.
//
// A backend event! value holds no address: its word 2 is the id of a record
// here. The backend opens a record with what it knows of the event (the
// face, the window, the pointer offset ...), hands the event to the script
// layer, and closes the record when the dispatch is over; an event value
// kept beyond that finds no record, and its fields read as none.
//
// Ids are 32-bit and counted up, so an id is not reused before 2^32 more
// records were opened. A record lives in slot id & (capacity - 1); opening
// skips the ids whose slot is taken, and the table doubles before it is
// half full, so a lookup is one probe. Growing keeps every open record in
// its own slot: two ids in distinct slots of the old table differ in their
// low bits, and so do their slots in the new one.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::event_records {

// The fields an event answers from its record, in this order.
enum Field : uint32_t { FACE, WINDOW, OFFSET, KEY, PICKED, ORIENTATION, FIELD_COUNT };

struct Fields {
	Cell values[FIELD_COUNT];
};

// Fields that all read as none.
Fields none_fields();

// Opens a record holding a copy of the fields; answers its id (never 0).
// The collector keeps the values alive while the record is open.
uint32_t open(const Fields& fields);
// The open record of the id, or null (the record was closed).
Fields* find(uint32_t id);
// Closes the record; an id already closed is left alone.
void close(uint32_t id);
// Records open now.
uint32_t open_count();

// Empties the table and registers the collector's marker (boot).
void init();

}  // namespace vyn::event_records
