// The collector: a stop-the-world mark-compact collection of series buffers
// and nodes.
//
// Invariants:
//  - A collection runs only at a safe point (the evaluator between
//    expressions, at each loop step and function call) or from `recycle`,
//    never inside an allocation: C++ code may hold buffer addresses between
//    two calls that can evaluate Vyn code, never across one.
//  - Roots are precise: the root block, the data and call stacks, the
//    global context, the symbol table, the slot table, the interpreter's
//    current code, the lexer's live scans, the cycle stack, the root guards
//    (roots.h) and the registered markers. The ownership table is weak: an
//    entry lives only while its series and its owner are otherwise reached.
//  - Marking runs on an explicit work stack, so nesting depth costs heap,
//    never C++ stack. Marks are bits beside the buffers, one per node
//    handle; buffers carry none.
//  - Live buffers slide toward their frame's start (or into the previous
//    frame's free tail); a buffer's node slot is rewritten when it moves.
//  - Node handles change only when a node frame is evacuated, which happens
//    only in a collection run with `handles_may_move` (no C++ frame holds a
//    handle outside a root guard then). Every handle the collector reaches
//    is rewritten through the relocation map.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace vyn::collector {

// The on flag: off at start-up until the boot data is in place.
extern bool active;
// Stress mode: every collection moves every live buffer and safe points keep
// asking for one. VYN_GC_STRESS=1 turns it on from start-up;
// VYN_GC_STRESS=after-boot once the library is loaded (start-up runs the same
// code in every process: checking it once is enough). Every safe point
// collects while the call stack is shallower than 2 * STRESS_DEPTH_STEP
// frames; deeper, about one in depth / STRESS_DEPTH_STEP does, so that a
// deep recursion costs time in proportion to its depth, not its square.
// VYN_GC_STRESS_GAP=N makes it about one safe point in N at least.
extern bool stress;
constexpr uint32_t STRESS_DEPTH_STEP = 64;
// The console is library code run for every line it reads: after boot
// (VYN_GC_STRESS=after-boot), code it hands over (console_base: the call depth where that code starts,
// -1 outside it) is stressed by its depth from there, and the console's own
// work between commands only at one safe point in CONSOLE_STRESS_MEAN.
extern int32_t console_base;
extern bool console_running;
constexpr uint32_t CONSOLE_STRESS_MEAN = 16;

void init();
// The library is loaded: turns on the stress mode VYN_GC_STRESS deferred.
void boot_done();

// One collection now (a no-op while one runs). With handles_may_move, node
// frames whose use has been stable may be evacuated.
void run(bool handles_may_move = false);

// Runs the collection that an allocation asked for, when the collector is on.
void run_requested();

// Statistics.
uint32_t cycles();
uint32_t nodes_cycles();
inline bool collecting() { return memory::collecting; }

// Marking entries for markers and type hooks. mark_buffer answers true when
// the buffer was not marked before; each rewrites the handle when its node
// moved.
bool mark_buffer(Node* slot);
void mark_block(Node* slot);     // the buffer, then its cells
void mark_context(Node* slot);   // the context's buffer, words, values and owner
void mark_cells(Cell* first, Cell* end);
inline void mark_cell(Cell* c) { mark_cells(c, c + 1); }

// Per-type marking: what a cell of the type holds that must survive.
using TypeMarker = void (*)(Cell* value);
void set_type_marker(Type type, TypeMarker marker);

// External root markers, called during every marking phase.
using Marker = void (*)();
void register_marker(Marker marker);
void unregister_marker(Marker marker);

// image!: called with an image cell's node during marking, once the node's
// buffer is marked; installed by the image datatype.
extern void (*image_hook)(Node node);

}  // namespace vyn::collector
