#include "gui/backend/gtk/control_library.h"

#include <dlfcn.h>

namespace vyn::control_library {

Table lib;

bool load() {
	static int state = 0;  // 0 not tried, 1 loaded, -1 missing
	if (state) return state > 0;
	state = -1;
	// The backend opened GTK already: no second copy is mapped.
	void* gtk = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
	if (!gtk) return false;
	bool ok = true;
#define VYN_CONTROL_LOOKUP(name) \
	ok = (*reinterpret_cast<void**>(&lib.name) = dlsym(gtk, #name)) != nullptr && ok;
	VYN_GTK_CONTROL_FUNCTIONS(VYN_CONTROL_LOOKUP)
#undef VYN_CONTROL_LOOKUP
	if (ok) state = 1;
	return ok;
}

}  // namespace vyn::control_library
