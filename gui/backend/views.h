// Views: the native side of shown faces, one record per face that `show`
// made a view for, reached through the handle! in the face's state/1.
//
// Invariants:
//  - A view lives in an externals slot of class "view" (handle class
//    window) from make-view to destroy-view; the slot holds its View.
//  - While it lives, the view keeps its face alive (a collector root) and
//    its slot marked, whoever else still refers to the face.
//  - A view's facet copies (offset, size, text, visible?, enabled?, rate)
//    are what the last make or update applied: update-view applies the
//    facets whose change bits are set in state/2 and clears them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/cell.h"

namespace vyn::backend {

struct View {
	int32_t slot = -1;    // externals slot; the handle's id is slot + 1
	int32_t parent = -1;  // the parent view's slot, -1 for a window
	Cell face;
	uint32_t type = 0;  // the face's type word (symbol)
	double x = 0, y = 0, width = 0, height = 0;
	std::string text;
	bool visible = true, enabled = true;
	uint32_t period_ms = 0;  // the rate timer's period, 0 without one
	uint32_t timer = 0;      // its GLib source id
	// List and tab controls: the items the control shows, in order.
	std::vector<std::string> items;
	void* native = nullptr;  // the backend's own record
};

}  // namespace vyn::backend

namespace vyn::views {

using backend::View;

// Facet positions in face!, which are also their change bits.
enum Facet : uint32_t {
	TYPE, OFFSET, SIZE, TEXT, IMAGE, COLOR, MENU, DATA, ENABLED_Q, VISIBLE_Q, SELECTED, FLAGS, OPTIONS,
	PARENT, PANE, STATE, RATE, EDGE, PARA, FONT, ACTORS, EXTRA, DRAW, FACET_COUNT
};

// Registers the handle class and the collector's marker (backend start).
void init();

// The facet of a face object (its word looked up by name), or null.
Cell* facet(const Cell* face, Facet f);
// The symbol of a facet's word.
uint32_t facet_symbol(Facet f);

// The live view in an externals slot, or null.
View* of_slot(int32_t slot);
// The live view of a handle, or null.
View* of_handle(const Cell* handle);
// The live view of a face's state/1, or null.
View* of_face(const Cell* face);

// Makes the view of the face under the parent handle (null handle: none);
// writes its handle into `out`.
void make(const Cell* face, const Cell* parent, Cell* out);
// Applies the facets whose bits are set in the face's state/2, then clears
// them. A face without a view is left alone.
void update(const Cell* face);
// Destroys the face's view and those of its pane, setting each state to
// none. `empty`: the window owned a waiting event loop (event_loop).
void destroy(const Cell* face, bool empty);
// Views alive now.
uint32_t count();

}  // namespace vyn::views
