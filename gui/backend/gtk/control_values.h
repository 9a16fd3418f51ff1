// Native controls whose value is a number (slider, progress, scroller
// faces) and the scroll bars a scroller! object gives a face of its own.
//
// A slider or progress of length L (its larger side; vertical when it is
// taller than wide, counting from the bottom) holds a whole position
// 0..L, and its `data` is position / L. A scroller face's bar runs over
// 0..100 with a page of `selected` x 100; its `data` is the position / 100.
// A face's own bar runs from 1 to the scroller's `max-size` with a page of
// `page-size`; it moves only when the script sets its scroller (the user's
// moves arrive as `scroll` events).
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

#include "gui/backend/backend.h"
#include "gui/backend/views.h"

namespace vyn::gtk_values {

// The control of a slider, progress or scroller face, connected; null for
// the other face types.
GtkWidget* make(backend::View& v);
// Applies the facets of the change bits (data, selected, size) to it.
void changed(backend::View& v, GtkWidget* control, uint32_t bits);

// Shows, moves or hides the bar of the face's box that the scroller sets.
void set_bar(backend::View& v, GtkWidget* box, const backend::ScrollBar& bar);
// Where a bar goes in a box allocated `box`: along its right or bottom
// edge. False when the child is no bar.
bool place_bar(GtkWidget* child, const GtkAllocation* box, GtkAllocation* out);

}  // namespace vyn::gtk_values
