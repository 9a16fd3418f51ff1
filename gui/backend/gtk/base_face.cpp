#include "gui/backend/gtk/base_face.h"

#include "gui/backend/dispatch.h"
#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/trampoline.h"
#include "gui/backend/views.h"
#include "gui/draw/draw.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/symbol.h"

namespace vyn::base_face {

namespace {

using gtk_library::lib;

bool painting = false;

gboolean paint_again(gpointer widget) {
	lib.gtk_widget_queue_draw(static_cast<GtkWidget*>(widget));
	g_object_unref(widget);
	return G_SOURCE_REMOVE;
}

struct Paint {
	cairo_t* cr;
	Cell face;
};

void run_paint(void* data) {
	auto* p = static_cast<Paint*>(data);
	const Cell* d = views::facet(&p->face, views::DRAW);
	if (d && cell::is(d, T_BLOCK)) {
		draw::paint_face(p->cr, &p->face);
		return;
	}
	// The actor draws through draw-face while the pass is open.
	draw::FacePaint pass(p->cr, &p->face);
	static const uint32_t drawing = event::code_of(symbol::make("drawing"));
	Cell out;
	cell::make_none(&out);
	dispatch::send(drawing, &p->face, 0, nullptr, &out);
}

bool translucent_window(GtkWidget* widget) {
	GtkWidget* top = lib.gtk_widget_get_toplevel(widget);
	GdkScreen* screen = lib.gdk_screen_get_default();
	return screen && lib.gdk_screen_is_composited(screen) &&
		lib.gtk_widget_get_visual(top) == lib.gdk_screen_get_rgba_visual(screen);
}

}  // namespace

bool opaque(const Cell* face) {
	const Cell* colour = views::facet(face, views::COLOR);
	if (!colour || !cell::is(colour, T_TUPLE)) return false;
	return tuple::size_of(colour) == 3 || tuple::bytes_of(colour)[3] == 0;
}

void paint(GtkWidget* widget, cairo_t* cr, const Cell* face) {
	if (painting) {
		// GTK will not ask again for what it thinks was painted.
		g_idle_add(paint_again, g_object_ref(widget));
		return;
	}
	// The face is painted into a back buffer of its own, from clear, and
	// that is laid over what its parent painted: the same pixels as the
	// face's capture into an image, and a clear or translucent face shows
	// its parent through.
	GtkAllocation a;
	lib.gtk_widget_get_allocation(widget, &a);
	int scale = lib.gtk_widget_get_scale_factor(widget);
	if (a.width <= 0 || a.height <= 0) return;
	cairo_surface_t* back = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, a.width * scale, a.height * scale);
	if (cairo_surface_status(back) != CAIRO_STATUS_SUCCESS) {
		cairo_surface_destroy(back);
		return;
	}
	cairo_surface_set_device_scale(back, scale, scale);
	cairo_t* bcr = cairo_create(back);
	painting = true;
	Paint p{bcr, *face};
	trampoline::run(run_paint, &p);
	painting = false;
	cairo_destroy(bcr);
	cairo_save(cr);
	cairo_set_source_surface(cr, back, 0, 0);
	cairo_paint(cr);
	cairo_restore(cr);
	cairo_surface_destroy(back);
}

void prepare_window(GtkWidget* window, const Cell* face) {
	const Cell* colour = views::facet(face, views::COLOR);
	if (!colour || !cell::is(colour, T_TUPLE) || opaque(face)) return;
	GdkScreen* screen = lib.gdk_screen_get_default();
	if (!screen || !lib.gdk_screen_is_composited(screen)) return;
	if (GdkVisual* visual = lib.gdk_screen_get_rgba_visual(screen)) {
		lib.gtk_widget_set_visual(window, visual);
		lib.gtk_widget_set_app_paintable(window, TRUE);
	}
}

void paint_window(GtkWidget* widget, cairo_t* cr, const Cell* face) {
	const Cell* colour = views::facet(face, views::COLOR);
	if (!colour || !cell::is(colour, T_TUPLE)) return;
	const uint8_t* b = tuple::bytes_of(colour);
	double alpha = tuple::size_of(colour) > 3 ? (255 - b[3]) / 255.0 : 1.0;
	cairo_save(cr);
	if (translucent_window(widget)) {
		cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
		cairo_set_source_rgba(cr, b[0] / 255.0, b[1] / 255.0, b[2] / 255.0, alpha);
	} else {
		cairo_set_source_rgb(cr, b[0] / 255.0, b[1] / 255.0, b[2] / 255.0);
	}
	cairo_paint(cr);
	cairo_restore(cr);
}

}  // namespace vyn::base_face
