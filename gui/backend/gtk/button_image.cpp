#include "gui/backend/gtk/button_image.h"

#include <algorithm>
#include <cmath>

#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/views.h"
#include "gui/draw/image_surface.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/spans.h"

namespace vyn::gtk_button_image {

using gtk_library::lib;

namespace {

// The picture: the image scaled to w x h; null when Cairo cannot make it.
cairo_surface_t* picture(const Cell* img, int w, int h) {
	uint32_t iw = image::width_of(img), ih = image::height_of(img);
	if (!iw || !ih || w <= 0 || h <= 0 || uint32_t(w) > image_surface::MAX_SIDE ||
		uint32_t(h) > image_surface::MAX_SIDE)
		return nullptr;
	cairo_surface_t* src = image_surface::of_image(img, 0, 0, iw, ih);
	if (!src) return nullptr;
	if (uint32_t(w) == iw && uint32_t(h) == ih) return src;
	cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
	cairo_t* cr = cairo_create(out);
	cairo_scale(cr, double(w) / iw, double(h) / ih);
	cairo_set_source_surface(cr, src, 0, 0);
	cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
	cairo_paint(cr);
	cairo_destroy(cr);
	cairo_surface_destroy(src);
	return out;
}

}  // namespace

void apply(backend::View& v, GtkWidget* button) {
	Cell* facet = views::facet(&v.face, views::IMAGE);
	cairo_surface_t* shown = nullptr;
	if (facet && cell::is(facet, T_IMAGE)) {
		shown = picture(facet, int(image::width_of(facet)), int(image::height_of(facet)));
	} else if (facet && cell::is(facet, T_BLOCK)) {
		spans::Cells cells = spans::cells_of(facet);
		if (cells.count && cell::is(cells.head, T_IMAGE)) {
			int w = std::max(1, int(std::lround(v.width))), h = std::max(1, int(std::lround(v.height)));
			if (cells.count == 2 && cell::is(cells.head + 1, T_PAIR)) {
				w = pair::x_of(cells.head + 1);
				h = pair::y_of(cells.head + 1);
			}
			shown = picture(cells.head, w, h);
		}
	}
	GtkButton* b = reinterpret_cast<GtkButton*>(button);
	if (!shown) {
		lib.gtk_button_set_image(b, nullptr);
		return;
	}
	lib.gtk_button_set_image(b, lib.gtk_image_new_from_surface(shown));
	lib.gtk_button_set_always_show_image(b, TRUE);
	cairo_surface_destroy(shown);
}

}  // namespace vyn::gtk_button_image
