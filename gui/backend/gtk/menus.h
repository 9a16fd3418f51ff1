// Menus: a window's menu block as a GtkMenuBar inside its GTK window (the
// window grows by the bar, the faces keep their area), any other face's
// block (or a window's starting with `popup`) as a context menu on the
// right button. A chosen item sends `menu` with its word as `picked`.
#pragma once

#include <gtk/gtk.h>

#include "gui/backend/views.h"

namespace vyn::gtk_menus {

// Puts the window's menu bar (or none) above its box, rebuilt from `menu`.
void set_bar(backend::View& v, GtkWidget* window, GtkWidget* box);
// The height of the window's menu bar; 0 without one.
int bar_height(GtkWidget* window);
// Offers the face's context menu at a right-button press at the offset
// (face coordinates); true when one was shown.
bool show_context(backend::View& v, GdkEventButton* press, double x, double y);

}  // namespace vyn::gtk_menus
