#include "gui/backend/backend.h"

#include "gui/backend/gtk/gtk_backend.h"
#include "gui/backend/headless/headless.h"
#include "gui/backend/views.h"

namespace vyn::backend {

// Chosen at the first use: GTK when a display opens, headless otherwise.
Backend& current() {
	static Backend* chosen = gtk_backend::open();
	return chosen ? *chosen : headless::instance();
}

std::vector<std::string> Backend::shown_items(View& view) { return view.items; }

}  // namespace vyn::backend
