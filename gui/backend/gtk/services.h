// What the GTK backend gives the files of its control families (menus,
// tab panels, lists, calendar, dialogs): the faces' views behind widgets
// and the one way events reach the script layer.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

#include "gui/backend/views.h"

namespace vyn::gtk_backend {

// The event type code of a type word's name.
uint32_t event_code(const char* type);
// Sends the event about the view's face; true when a handler answered
// `stop`.
bool send_event(uint32_t code, const backend::View& v, uint32_t flags, const Cell* offset = nullptr,
	const Cell* key = nullptr, const Cell* picked = nullptr);
// Marks the widget as the view's, so its signals find the view.
void tag_widget(GtkWidget* w, const backend::View& v);
// The live view a widget shows, or null.
backend::View* view_of_widget(GtkWidget* w);
// The GTK window of a view (its window face's), or null.
GtkWidget* window_widget_of(const backend::View& v);
// Shows or hides the view's widget and says so in its `visible?`.
void show_view(backend::View& v, bool visible);
void connect_signal(gpointer w, const char* signal, GCallback fn, gpointer data = nullptr);

}  // namespace vyn::gtk_backend
