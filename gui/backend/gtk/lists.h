// Text lists (a GtkListBox of labels) and drop lists / drop-downs (a
// GtkComboBoxText, with an entry for a drop-down), filled from the view's
// items; the user's choice becomes `select`, `selected` and `change`.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "gui/backend/views.h"

namespace vyn::gtk_lists {

// The list's widgets: `outer` goes into the parent, `control` carries the
// items.
void make(backend::View& v, GtkWidget** outer, GtkWidget** control);
// The control shows the view's items and its `selected` item.
void fill(backend::View& v, GtkWidget* control);
// The control selects the `selected` item.
void select(backend::View& v, GtkWidget* control);
// The items the control shows.
std::vector<std::string> shown(backend::View& v, GtkWidget* control);

}  // namespace vyn::gtk_lists
