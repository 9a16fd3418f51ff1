// event!: one GUI event handed to the script's actors: its type, the face
// and window it concerns, the pointer offset, the key, the picked item and
// the modifier and button flags.
//
// Cell:
//  - header: type 54; SYNTHETIC set for an event made by `make event!`
//  - word 1: the type code (1-38, 0 for none) in bits 0-7; a synthetic
//    event's key, its whole code point, in bits 8-31 (0: no key)
//  - word 2: a synthetic event's block [face window offset picked] (0 when
//    none of these was given), which the event owns; a backend event's
//    record id (event_records.h)
//  - word 3: the flag bits (FLAG_*) and, in bits 0-15, the key code or
//    item id (a key above U+FFFF does not fit: it is kept in word 1, or in
//    the backend's record, and these bits stay 0)
//
// The type registers late, after the library's first definitions, as the
// GUI engine's own type; until then event! has a name and no actions.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::event {

constexpr uint32_t SYNTHETIC = 0x1000;

constexpr uint32_t FLAG_AUX_DOWN = 0x00400000;
constexpr uint32_t FLAG_ALT_DOWN = 0x00800000;
constexpr uint32_t FLAG_MID_DOWN = 0x01000000;
constexpr uint32_t FLAG_DOWN = 0x02000000;
constexpr uint32_t FLAG_AWAY = 0x04000000;
constexpr uint32_t FLAG_CONTROL = 0x10000000;
constexpr uint32_t FLAG_SHIFT = 0x20000000;
constexpr uint32_t FLAG_ALT = 0x40000000;
constexpr uint32_t FLAG_COMMAND = 0x80000000;

constexpr uint32_t TYPE_COUNT = 38;  // codes 1 to 38

// The code of a type word (matched by canonical symbol), 0 when it names
// no event type.
uint32_t code_of(uint32_t symbol);

// A backend event in `out`: type code, flags word (key in bits 0-15) and
// the id of its open record.
Cell* make_backend(Cell* out, uint32_t code, uint32_t flags, uint32_t record);

// Pushes a copy of the event on the data stack.
Cell* push(const Cell* event);

// Registers event! (id 54) with its action row, and the routines event?
// and find-flag?.
void init_type();

}  // namespace vyn::event
