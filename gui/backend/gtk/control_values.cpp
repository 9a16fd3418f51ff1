#include "gui/backend/gtk/control_values.h"

#include <algorithm>
#include <cmath>

#include "gui/backend/dispatch.h"
#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/trampoline.h"
#include "runtime/context.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/word.h"
#include "runtime/symbol.h"

namespace vyn::gtk_values {

namespace {

using backend::View;
using gtk_library::lib;

enum Kind { NONE, SLIDER, PROGRESS, SCROLLER };

// The scroller face's bar: positions 0..100.
constexpr double SCROLLER_MAX = 100;
// The line step of a scroller face without a `steps` number.
constexpr double DEFAULT_STEPS = 0.1;

// GTK reports our own writes as value changes too: while this is above 0
// the handlers send nothing.
int writing = 0;
struct Writing {
	Writing() { writing++; }
	~Writing() { writing--; }
};

Kind kind_of(const View& v) {
	if (!v.type) return NONE;
	if (symbol::same_name(v.type, symbol::make("slider"))) return SLIDER;
	if (symbol::same_name(v.type, symbol::make("progress"))) return PROGRESS;
	if (symbol::same_name(v.type, symbol::make("scroller"))) return SCROLLER;
	return NONE;
}

GObject* object(void* w) { return reinterpret_cast<GObject*>(w); }
GtkRange* range(GtkWidget* w) { return reinterpret_cast<GtkRange*>(w); }

// The view a signal's data names (its slot + 1), or null once it is gone.
View* view_of(gpointer data) { return views::of_slot(GPOINTER_TO_INT(data) - 1); }
gpointer data_of(const View& v) { return GINT_TO_POINTER(v.slot + 1); }

bool vertical(const View& v) { return v.height > v.width; }
// The length positions count over: the larger side, at least 1.
double length_of(const View& v) { return std::max(1.0, std::round(std::max(v.width, v.height))); }

bool is_number(const Cell* c) { return c && (cell::is(c, T_FLOAT) || cell::is(c, T_PERCENT)); }

// A number the face holds as float! or percent! (an integer too), else `otherwise`.
double number_of(const Cell* c, double otherwise) {
	if (!c) return otherwise;
	if (cell::is(c, T_INTEGER)) return cell::get_integer(c);
	if (is_number(c)) return cell::get_double(c);
	return otherwise;
}

// A facet of the face that is no facet of face! (the style's `steps`).
Cell* extra_word(const Cell* face, const char* name) {
	if (!cell::is(face, T_OBJECT)) return nullptr;
	int32_t i = context::find_word(face->data1, symbol::make(name), true);
	return i < 0 ? nullptr : context::values(face->data1) + i;
}

bool send(const char* type, View& v, const Cell* key = nullptr, const Cell* picked = nullptr,
	const Cell* orientation = nullptr) {
	if (trampoline::escaped()) return false;
	Cell face = v.face, out;
	cell::make_none(&out);
	return dispatch::send(event::code_of(symbol::make(type)), &face, 0, nullptr, key, picked, orientation, &out);
}

// ---- slider and progress ----

// The theme pads a scale for marks and a value we do not draw: within a
// face's height (24 for a slider) the padding would leave its trough no room.
constexpr const char* SCALE_CSS = "scale { padding: 0; margin: 0; min-height: 0; min-width: 0; }";

void compact_scale(GtkWidget* w) {
	static GtkCssProvider* css = nullptr;
	if (!css) {
		css = lib.gtk_css_provider_new();
		lib.gtk_css_provider_load_from_data(css, SCALE_CSS, -1, nullptr);
	}
	lib.gtk_style_context_add_provider(lib.gtk_widget_get_style_context(w), reinterpret_cast<GtkStyleProvider*>(css),
		GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// The position `data` asks for, whole, 0..L.
double position_of(const View& v) {
	Cell face = v.face;
	Cell* data = views::facet(&face, views::DATA);
	double fraction = is_number(data) ? cell::get_double(data) : 0;
	double l = length_of(v);
	return std::clamp(std::trunc(fraction * l), 0.0, l);
}

void set_slider(View& v, GtkWidget* w) {
	double l = length_of(v);
	Writing guard;
	lib.gtk_adjustment_configure(lib.gtk_range_get_adjustment(range(w)), position_of(v), 0, l, 1, std::max(1.0, l / 10), 0);
}

void set_progress(View& v, GtkWidget* w) {
	lib.gtk_progress_bar_set_fraction(reinterpret_cast<GtkProgressBar*>(w), position_of(v) / length_of(v));
}

void on_slider_moved(GtkRange* r, gpointer data) {
	View* v = view_of(data);
	if (!v || writing) return;
	double fraction = lib.gtk_adjustment_get_value(lib.gtk_range_get_adjustment(r)) / length_of(*v);
	// A percent! stays one; anything else becomes a float!.
	if (Cell* facet = views::facet(&v->face, views::DATA)) {
		if (cell::is(facet, T_PERCENT)) percent::make_at(facet, fraction);
		else cell::make_float(facet, fraction);
	}
	send("change", *v);
}

// ---- scroller faces ----

double page_of(const View& v) {
	Cell face = v.face;
	return std::clamp(number_of(views::facet(&face, views::SELECTED), 0.1), 0.0, 1.0);
}

// Page and position from `selected` and `data`; the bar's upper bound is
// one past its last position, as the scroll bars count.
void set_scroller(View& v, GtkWidget* w) {
	Cell face = v.face;
	double page = std::round(page_of(v) * SCROLLER_MAX);
	double data = std::clamp(number_of(views::facet(&face, views::DATA), 0), 0.0, 1.0);
	double steps = number_of(extra_word(&face, "steps"), DEFAULT_STEPS);
	Writing guard;
	lib.gtk_adjustment_configure(lib.gtk_range_get_adjustment(range(w)), std::round(data * SCROLLER_MAX), 0,
		SCROLLER_MAX + 1, std::max(1.0, std::round(steps * SCROLLER_MAX)), std::max(1.0, page), page);
}

// The user moves a scroller face's bar: a line by `steps` of the range, a
// page by `selected` of it, the thumb where it is dragged; then `data`
// and `selected` follow the bar, and `change` is sent.
gboolean on_scroller_moved(GtkRange* r, GtkScrollType scroll, gdouble value, gpointer data) {
	View* v = view_of(data);
	if (!v || writing) return TRUE;
	GtkAdjustment* a = lib.gtk_range_get_adjustment(r);
	double pos = lib.gtk_adjustment_get_value(a);
	Cell face = v->face;
	double steps = number_of(extra_word(&face, "steps"), DEFAULT_STEPS) * SCROLLER_MAX;
	double page = page_of(*v) * SCROLLER_MAX;
	switch (scroll) {
	case GTK_SCROLL_STEP_BACKWARD:
	case GTK_SCROLL_STEP_UP:
	case GTK_SCROLL_STEP_LEFT: pos -= steps; break;
	case GTK_SCROLL_STEP_FORWARD:
	case GTK_SCROLL_STEP_DOWN:
	case GTK_SCROLL_STEP_RIGHT: pos += steps; break;
	case GTK_SCROLL_PAGE_BACKWARD:
	case GTK_SCROLL_PAGE_UP:
	case GTK_SCROLL_PAGE_LEFT: pos -= page; break;
	case GTK_SCROLL_PAGE_FORWARD:
	case GTK_SCROLL_PAGE_DOWN:
	case GTK_SCROLL_PAGE_RIGHT: pos += page; break;
	default: pos = value; break;
	}
	double last = lib.gtk_adjustment_get_upper(a) - lib.gtk_adjustment_get_page_size(a);
	pos = std::clamp(std::round(pos), 0.0, std::max(0.0, last));
	{
		Writing guard;
		lib.gtk_adjustment_set_value(a, pos);
	}
	if (Cell* facet = views::facet(&v->face, views::DATA)) cell::make_float(facet, pos / SCROLLER_MAX);
	if (Cell* facet = views::facet(&v->face, views::SELECTED))
		percent::make_at(facet, lib.gtk_adjustment_get_page_size(a) / SCROLLER_MAX);
	send("change", *v);
	return TRUE;
}

// ---- the bars of a face's own ----

constexpr const char* BAR_KEY = "vyn-bar";  // 1 vertical, 2 horizontal

const char* bar_data_key(bool vertical) { return vertical ? "vyn-vertical-bar" : "vyn-horizontal-bar"; }

GtkWidget* bar_of(GtkWidget* box, bool vertical) {
	return static_cast<GtkWidget*>(g_object_get_data(object(box), bar_data_key(vertical)));
}

// The key of a scroll bar event: the words of the request, as the
// vertical or horizontal bar names it.
const char* scroll_key(GtkScrollType scroll, bool vertical) {
	switch (scroll) {
	case GTK_SCROLL_STEP_BACKWARD:
	case GTK_SCROLL_STEP_UP:
	case GTK_SCROLL_STEP_LEFT: return vertical ? "up" : "left";
	case GTK_SCROLL_STEP_FORWARD:
	case GTK_SCROLL_STEP_DOWN:
	case GTK_SCROLL_STEP_RIGHT: return vertical ? "down" : "right";
	case GTK_SCROLL_PAGE_BACKWARD:
	case GTK_SCROLL_PAGE_UP:
	case GTK_SCROLL_PAGE_LEFT: return vertical ? "page-up" : "page-left";
	case GTK_SCROLL_PAGE_FORWARD:
	case GTK_SCROLL_PAGE_DOWN:
	case GTK_SCROLL_PAGE_RIGHT: return vertical ? "page-down" : "page-right";
	case GTK_SCROLL_JUMP: return "track";
	default: return "end";
	}
}

// The bar stays where the scroller put it: the script answers the `scroll`
// event by setting the scroller's position.
gboolean on_bar_moved(GtkRange* r, GtkScrollType scroll, gdouble value, gpointer data) {
	View* v = view_of(data);
	if (!v) return TRUE;
	bool vertical = GPOINTER_TO_INT(g_object_get_data(object(r), BAR_KEY)) == 1;
	GtkAdjustment* a = lib.gtk_range_get_adjustment(r);
	double pos = scroll == GTK_SCROLL_JUMP ? value : lib.gtk_adjustment_get_value(a);
	double last = lib.gtk_adjustment_get_upper(a) - lib.gtk_adjustment_get_page_size(a);
	pos = std::clamp(std::round(pos), lib.gtk_adjustment_get_lower(a), std::max(lib.gtk_adjustment_get_lower(a), last));
	Cell key, picked, orientation;
	word::make_at(symbol::make(scroll_key(scroll, vertical)), &key);
	cell::make_integer(&picked, int32_t(pos));
	word::make_at(symbol::make(vertical ? "vertical" : "horizontal"), &orientation);
	send("scroll", *v, &key, &picked, &orientation);
	return TRUE;
}

}  // namespace

GtkWidget* make(View& v) {
	Kind kind = kind_of(v);
	if (kind == NONE || !gtk_library::display()) return nullptr;
	GtkOrientation orientation = vertical(v) ? GTK_ORIENTATION_VERTICAL : GTK_ORIENTATION_HORIZONTAL;
	GtkWidget* w = nullptr;
	switch (kind) {
	case SLIDER:
		w = lib.gtk_scale_new(orientation, nullptr);
		lib.gtk_scale_set_draw_value(reinterpret_cast<GtkScale*>(w), FALSE);
		compact_scale(w);
		lib.gtk_range_set_round_digits(range(w), 0);
		// A vertical slider counts from the bottom.
		lib.gtk_range_set_inverted(range(w), vertical(v));
		set_slider(v, w);
		g_signal_connect_data(w, "value-changed", G_CALLBACK(on_slider_moved), data_of(v), nullptr, GConnectFlags(0));
		break;
	case PROGRESS:
		w = lib.gtk_progress_bar_new();
		lib.gtk_orientable_set_orientation(reinterpret_cast<GtkOrientable*>(w), orientation);
		// A vertical bar fills from the bottom.
		lib.gtk_progress_bar_set_inverted(reinterpret_cast<GtkProgressBar*>(w), vertical(v));
		set_progress(v, w);
		break;
	case SCROLLER:
		w = lib.gtk_scrollbar_new(orientation, nullptr);
		set_scroller(v, w);
		g_signal_connect_data(w, "change-value", G_CALLBACK(on_scroller_moved), data_of(v), nullptr,
			GConnectFlags(0));
		break;
	case NONE: break;
	}
	return w;
}

void changed(View& v, GtkWidget* control, uint32_t bits) {
	Kind kind = kind_of(v);
	if (kind == NONE || !control || !gtk_library::display()) return;
	auto has = [&](views::Facet f) { return (bits & (1u << f)) != 0; };
	switch (kind) {
	case SLIDER:
		if (has(views::DATA) || has(views::SIZE)) set_slider(v, control);
		break;
	case PROGRESS:
		if (has(views::DATA) || has(views::SIZE)) set_progress(v, control);
		break;
	case SCROLLER:
		if (has(views::DATA) || has(views::SELECTED)) set_scroller(v, control);
		break;
	case NONE: break;
	}
}

void set_bar(View& v, GtkWidget* box, const backend::ScrollBar& bar) {
	if (!gtk_library::display()) return;
	GtkWidget* w = bar_of(box, bar.vertical);
	if (!w) {
		w = lib.gtk_scrollbar_new(bar.vertical ? GTK_ORIENTATION_VERTICAL : GTK_ORIENTATION_HORIZONTAL, nullptr);
		g_object_set_data(object(w), BAR_KEY, GINT_TO_POINTER(bar.vertical ? 1 : 2));
		g_object_set_data(object(box), bar_data_key(bar.vertical), w);
		g_signal_connect_data(w, "change-value", G_CALLBACK(on_bar_moved), data_of(v), nullptr, GConnectFlags(0));
		lib.gtk_fixed_put(reinterpret_cast<GtkFixed*>(box), w, 0, 0);
	}
	// Positions 1..max with a page of `page`; a bar with nothing to scroll
	// stays on the screen, disabled.
	double max = std::max(1, bar.max), page = std::max(0, bar.page);
	lib.gtk_adjustment_configure(lib.gtk_range_get_adjustment(range(w)), bar.position, 1, max + 1, 1,
		std::max(1.0, page), page);
	lib.gtk_widget_set_sensitive(w, max > page);
	lib.gtk_widget_set_visible(w, bar.visible);
	lib.gtk_widget_queue_resize(box);
}

bool place_bar(GtkWidget* child, const GtkAllocation* box, GtkAllocation* out) {
	int which = GPOINTER_TO_INT(g_object_get_data(object(child), BAR_KEY));
	if (!which || !gtk_library::display()) return false;
	gint minimum = 0, natural = 0;
	// The thickness the theme gives a bar; the other bar's corner is left free.
	if (which == 1) lib.gtk_widget_get_preferred_width(child, &minimum, &natural);
	else lib.gtk_widget_get_preferred_height(child, &minimum, &natural);
	int thick = std::max(1, std::max(minimum, natural));
	GtkWidget* parent = lib.gtk_widget_get_parent(child);
	GtkWidget* other = parent ? bar_of(parent, which != 1) : nullptr;
	int corner = other && lib.gtk_widget_get_visible(other) ? thick : 0;
	if (which == 1) *out = {box->x + box->width - thick, box->y, thick, std::max(1, box->height - corner)};
	else *out = {box->x, box->y + box->height - thick, std::max(1, box->width - corner), thick};
	return true;
}

}  // namespace vyn::gtk_values
