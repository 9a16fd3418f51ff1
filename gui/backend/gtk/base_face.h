// Faces the program paints itself (base, rich-text, the console's
// terminal) on GTK, and windows whose colour lets the desktop show through.
#pragma once

#include <gtk/gtk.h>

#include "runtime/cell.h"

namespace vyn::base_face {

// True when the face's colour hides what lies below: a tuple of three
// bytes, or of four with a transparency of 0.
bool opaque(const Cell* face);

// A face's paint from GTK's draw signal: its `draw` block when it has one,
// else a `drawing` event inside an open pass for its `on-drawing` actor.
// One paint at a time: a paint asked for while another runs is skipped and
// asked for again once the loop is idle.
void paint(GtkWidget* widget, cairo_t* cr, const Cell* face);

// Before a window is shown: a translucent window gets the screen's alpha
// visual when a compositor runs (without one X11 cannot blend top-level
// windows, and the window stays opaque).
void prepare_window(GtkWidget* window, const Cell* face);
// A window's background: its colour, translucent ones replacing what was
// there when the window has an alpha visual.
void paint_window(GtkWidget* widget, cairo_t* cr, const Cell* face);

}  // namespace vyn::base_face
