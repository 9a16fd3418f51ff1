#include "gui/backend/headless/headless.h"

#include <dlfcn.h>

#include <ctime>
#include <unordered_map>
#include <pango/pangocairo.h>

#include "gui/backend/views.h"
#include "runtime/errors.h"

namespace vyn::headless {

namespace {

constexpr int32_t SCREEN_WIDTH = 1920;
constexpr int32_t SCREEN_HEIGHT = 1080;
constexpr double DPI = 96.0;
// The system message font: what Windows' "Segoe UI" 9 becomes here.
constexpr const char* SYSTEM_FAMILY = "Sans";
constexpr double SYSTEM_SIZE = 9.0;

// Pango is loaded at the first measure: start-up maps none of its libraries.
struct Pango {
	bool tried = false;
	void* lib = nullptr;
	PangoFontMap* (*font_map_new)();
	void (*set_resolution)(PangoCairoFontMap*, double);
	PangoContext* (*create_context)(PangoFontMap*);
	PangoLayout* (*layout_new)(PangoContext*);
	PangoFontDescription* (*desc_new)();
	void (*desc_set_family)(PangoFontDescription*, const char*);
	void (*desc_set_size)(PangoFontDescription*, gint);
	void (*desc_set_weight)(PangoFontDescription*, PangoWeight);
	void (*desc_set_style)(PangoFontDescription*, PangoStyle);
	void (*desc_free)(PangoFontDescription*);
	void (*set_font_description)(PangoLayout*, const PangoFontDescription*);
	void (*set_text)(PangoLayout*, const char*, int);
	void (*get_pixel_size)(PangoLayout*, int*, int*);
	void (*unref)(gpointer);

	template <class F>
	bool find(F& slot, const char* name) {
		slot = reinterpret_cast<F>(dlsym(lib, name));
		return slot != nullptr;
	}

	// False when the library or one of its entries is missing.
	bool load() {
		if (tried) return lib != nullptr;
		tried = true;
		lib = dlopen("libpangocairo-1.0.so.0", RTLD_NOW | RTLD_LOCAL);
		if (!lib) return false;
		bool ok = find(font_map_new, "pango_cairo_font_map_new") &&
			find(set_resolution, "pango_cairo_font_map_set_resolution") &&
			find(create_context, "pango_font_map_create_context") && find(layout_new, "pango_layout_new") &&
			find(desc_new, "pango_font_description_new") &&
			find(desc_set_family, "pango_font_description_set_family") &&
			find(desc_set_size, "pango_font_description_set_size") &&
			find(desc_set_weight, "pango_font_description_set_weight") &&
			find(desc_set_style, "pango_font_description_set_style") &&
			find(desc_free, "pango_font_description_free") &&
			find(set_font_description, "pango_layout_set_font_description") &&
			find(set_text, "pango_layout_set_text") && find(get_pixel_size, "pango_layout_get_pixel_size") &&
			find(unref, "g_object_unref");
		if (!ok) {
			dlclose(lib);
			lib = nullptr;
		}
		return ok;
	}
};

class Headless final : public backend::Backend {
public:
	~Headless() override {
		if (pango) api.unref(pango);
		if (font_map) api.unref(font_map);
	}
	const char* name() const override { return "headless"; }
	std::vector<backend::Screen> screens() override { return {{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 1.0}}; }
	uint32_t current_screen() override { return 0; }
	double dpi() override { return DPI; }
	backend::Font system_font() override { return {SYSTEM_FAMILY, SYSTEM_SIZE}; }

	void text_size(const backend::Font& font, std::string_view utf8, double* width, double* height) override {
		// Without Pango no text can be measured.
		if (!api.load()) errors::fire(errors::id::internal_feature_na);
		PangoLayout* layout = api.layout_new(context());
		PangoFontDescription* desc = api.desc_new();
		api.desc_set_family(desc, font.family.empty() ? SYSTEM_FAMILY : font.family.c_str());
		api.desc_set_size(desc, int((font.size > 0 ? font.size : SYSTEM_SIZE) * PANGO_SCALE));
		if (font.bold) api.desc_set_weight(desc, PANGO_WEIGHT_BOLD);
		if (font.italic) api.desc_set_style(desc, PANGO_STYLE_ITALIC);
		api.set_font_description(layout, desc);
		api.set_text(layout, utf8.data(), int(utf8.size()));
		int w = 0, h = 0;
		api.get_pixel_size(layout, &w, &h);
		api.desc_free(desc);
		api.unref(layout);
		*width = w;
		*height = h;
	}

	// Offscreen views need nothing native: the view records are the windows.
	void view_made(backend::View&) override {}
	void view_changed(backend::View&, uint32_t) override {}
	void view_destroyed(backend::View& v) override { days.erase(v.slot); }
	void window_shown(backend::View&) override {}
	bool dark_mode_supported() override { return false; }

	// An offscreen calendar starts at today.
	void calendar_show(backend::View& v, int32_t year, int32_t month, int32_t day) override {
		days[v.slot] = {year, month, day};
	}
	void calendar_read(backend::View& v, int32_t* year, int32_t* month, int32_t* day) override {
		auto it = days.find(v.slot);
		if (it == days.end()) {
			std::time_t now = std::time(nullptr);
			std::tm local{};
			localtime_r(&now, &local);
			it = days.emplace(v.slot, Day{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}).first;
		}
		*year = it->second.year;
		*month = it->second.month;
		*day = it->second.day;
	}

private:
	struct Day {
		int32_t year, month, day;
	};
	std::unordered_map<int32_t, Day> days;
	Pango api;
	PangoFontMap* font_map = nullptr;
	PangoContext* pango = nullptr;

	PangoContext* context() {
		if (!pango) {
			font_map = api.font_map_new();
			api.set_resolution(reinterpret_cast<PangoCairoFontMap*>(font_map), DPI);
			pango = api.create_context(font_map);
		}
		return pango;
	}
};

}  // namespace

backend::Backend& instance() {
	static Headless backend;
	return backend;
}

}  // namespace vyn::headless

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps its configuration for the life of the process, by design
// (freeing it at exit asserts while Pango still caches fonts): the leak
// checker is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
