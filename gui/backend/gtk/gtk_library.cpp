#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/gtk/gtk_backend.h"

#include <cstdlib>
#include <cstring>

namespace vyn::gtk_library {

Table lib;

bool display() {
	static int state = 0;  // 0 not tried, 1 open, -1 none
	if (state) return state > 0;
	state = -1;
	const char* headless = std::getenv("VYN_HEADLESS");
	const char* name = std::getenv("DISPLAY");
	if ((headless && std::strcmp(headless, "1") == 0) || !name || !*name) return false;
	if (!shared_library::load("libgtk-3.so.0", {VYN_GTK_FUNCTIONS(VYN_LIBRARY_ENTRY)})) return false;
	// The windows' WM_CLASS is "vyn", "Vyn"; X11 even under a Wayland session,
	// where window positions would not be ours to set.
	g_set_prgname("vyn");
	lib.gdk_set_allowed_backends("x11");
	if (!lib.gtk_init_check(nullptr, nullptr)) return false;
	state = 1;
	return true;
}

}  // namespace vyn::gtk_library

namespace vyn::gtk_backend {

using gtk_library::lib;

int caret_blink_time() {
	if (!gtk_library::display()) return 0;
	GtkSettings* settings = lib.gtk_settings_get_default();
	if (!settings) return 0;
	gboolean blink = TRUE;
	gint time = 0;
	g_object_get(settings, "gtk-cursor-blink", &blink, "gtk-cursor-blink-time", &time, nullptr);
	return blink ? time : -1;
}

}  // namespace vyn::gtk_backend
