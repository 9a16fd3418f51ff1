// C++ entries for the relation engine of library/reactivity.vyn:
// add-relation, identify-sources, check, eval-reaction, eval and pending?
// of system/reactivity. Each function keeps its library definition (spec
// and body, shown by reflection); the entries do the same work without the
// interpreter, and find the records of a source object through an index of
// the relation table instead of scanning the table.
//
// Invariants of the index:
//  - It covers the cells [0, indexed) of one relations buffer; for each
//    source context it lists, ascending, the cell positions holding that
//    object. Record boundaries are checked at lookup, relative to the
//    position the relations field holds (so no-react's tail position hides
//    what precedes it).
//  - The buffer is watched (ownership::watch): a change that touches a cell
//    below `indexed` drops the index; cells appended later are indexed at
//    the next lookup. A collection that moved node handles drops it too.
#pragma once

namespace vyn::reactivity {

// Gives the engine's functions their entries; run once the library's
// sources have run (does nothing when the library has no reactivity).
void install();

}  // namespace vyn::reactivity
