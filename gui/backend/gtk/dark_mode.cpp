#include "gui/backend/gtk/dark_mode.h"

#include <cstdlib>
#include <cstring>

#include "gui/backend/gtk/gtk_library.h"

namespace vyn::dark_mode {

namespace {

using gtk_library::lib;

constexpr const char* PREFER_DARK = "gtk-application-prefer-dark-theme";

GObject* settings() {
	if (!gtk_library::display()) return nullptr;
	return reinterpret_cast<GObject*>(lib.gtk_settings_get_default());
}

bool high_contrast(const char* theme) { return theme && std::strncmp(theme, "HighContrast", 12) == 0; }

}  // namespace

void set(bool dark) {
	if (GObject* s = settings()) g_object_set(s, PREFER_DARK, gboolean(dark), nullptr);
}

bool supported() {
	GObject* s = settings();
	if (!s) return false;
	// GTK_THEME overrides the theme the settings name.
	if (high_contrast(std::getenv("GTK_THEME"))) return false;
	gchar* theme = nullptr;
	g_object_get(s, "gtk-theme-name", &theme, nullptr);
	bool contrast = high_contrast(theme);
	g_free(theme);
	return !contrast;
}

}  // namespace vyn::dark_mode
