#include "gui/backend/gtk/gtk_library.h"

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
	if (!lib.gtk_init_check(nullptr, nullptr)) return false;
	state = 1;
	return true;
}

}  // namespace vyn::gtk_library
