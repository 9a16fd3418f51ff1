#include "gui/backend/headless/headless.h"

#include <pango/pangocairo.h>

#include "gui/backend/views.h"

namespace vyn::headless {

namespace {

constexpr int32_t SCREEN_WIDTH = 1920;
constexpr int32_t SCREEN_HEIGHT = 1080;
constexpr double DPI = 96.0;
// The system message font: what Windows' "Segoe UI" 9 becomes here.
constexpr const char* SYSTEM_FAMILY = "Sans";
constexpr double SYSTEM_SIZE = 9.0;

class Headless final : public backend::Backend {
public:
	~Headless() override {
		if (pango) g_object_unref(pango);
		if (font_map) g_object_unref(font_map);
	}
	const char* name() const override { return "headless"; }
	std::vector<backend::Screen> screens() override { return {{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 1.0}}; }
	uint32_t current_screen() override { return 0; }
	double dpi() override { return DPI; }
	backend::Font system_font() override { return {SYSTEM_FAMILY, SYSTEM_SIZE}; }

	void text_size(const backend::Font& font, std::string_view utf8, double* width, double* height) override {
		PangoLayout* layout = pango_layout_new(context());
		PangoFontDescription* desc = pango_font_description_new();
		pango_font_description_set_family(desc, font.family.empty() ? SYSTEM_FAMILY : font.family.c_str());
		pango_font_description_set_size(desc, int((font.size > 0 ? font.size : SYSTEM_SIZE) * PANGO_SCALE));
		if (font.bold) pango_font_description_set_weight(desc, PANGO_WEIGHT_BOLD);
		if (font.italic) pango_font_description_set_style(desc, PANGO_STYLE_ITALIC);
		pango_layout_set_font_description(layout, desc);
		pango_layout_set_text(layout, utf8.data(), int(utf8.size()));
		int w = 0, h = 0;
		pango_layout_get_pixel_size(layout, &w, &h);
		pango_font_description_free(desc);
		g_object_unref(layout);
		*width = w;
		*height = h;
	}

	// Offscreen views need nothing native: the view records are the windows.
	void view_made(backend::View&) override {}
	void view_changed(backend::View&, uint32_t) override {}
	void view_destroyed(backend::View&) override {}
	void window_shown(backend::View&) override {}
	bool dark_mode_supported() override { return false; }

private:
	PangoFontMap* font_map = nullptr;
	PangoContext* pango = nullptr;

	PangoContext* context() {
		if (!pango) {
			font_map = pango_cairo_font_map_new();
			pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(font_map), DPI);
			pango = pango_font_map_create_context(font_map);
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
