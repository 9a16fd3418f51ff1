#include "gui/backend/gtk/gtk_backend.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "gui/backend/dispatch.h"
#include "gui/backend/camera/camera.h"
#include "gui/backend/gtk/base_face.h"
#include "gui/backend/gtk/button_image.h"
#include "gui/backend/gtk/calendar.h"
#include "gui/backend/gtk/control_values.h"
#include "gui/backend/gtk/dark_mode.h"
#include "gui/backend/gtk/dialogs.h"
#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/gtk/keys.h"
#include "gui/backend/gtk/lists.h"
#include "gui/backend/gtk/menus.h"
#include "gui/backend/gtk/paragraph.h"
#include "gui/backend/gtk/services.h"
#include "gui/backend/gtk/tab_panel.h"
#include "gui/backend/headless/headless.h"
#include "gui/backend/platform_routines.h"
#include "gui/backend/trampoline.h"
#include "gui/backend/views.h"
#include "gui/draw/draw.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/symbol.h"

namespace vyn::gtk_backend {

namespace {

using backend::View;
using gtk_library::lib;

// The system message font, as the headless backend names it too.
constexpr const char* SYSTEM_FAMILY = "Sans";
constexpr double SYSTEM_SIZE = 9.0;

// Controls as compact as the faces' sizes ask: our container gives every
// child exactly its face's size, and the theme's paddings must not hide
// the caption in it.
constexpr const char* COMPACT_CSS =
	"button, entry, checkbutton, radiobutton, label, textview { min-height: 0; min-width: 0; }\n"
	"button { padding: 0 4px; }\n"
	"entry { padding: 0 4px; }\n";

// What a view owns on the GTK side.
struct Native {
	GtkWidget* outer = nullptr;    // what the parent's box holds (the window itself for a window)
	GtkWidget* control = nullptr;  // the widget whose signals carry the face's events
	GtkWidget* box = nullptr;      // where the children go (window, panel, base ...), else null
	GtkWidget* partner = nullptr;  // a lone radio's hidden partner, so it can be switched off
	GtkCssProvider* font_css = nullptr;
	int tri_state = 0;  // 0 off, 1 on, 2 undetermined (tri-state check boxes)
	bool window = false;
};

enum Kind { WINDOW, BOX, BUTTON, TOGGLE, CHECK, RADIO, FIELD, AREA, TEXT, TABS, LIST, CALENDAR };

// Our own writes into the controls fire the same GTK signals as the user:
// while this is above 0 the signal handlers send nothing.
int writing = 0;
struct Writing {
	Writing() { writing++; }
	~Writing() { writing--; }
};

int32_t windows_open = 0;
int32_t hover_slot = -1;  // the view under the pointer that had the last `over`

uint32_t code(const char* type) { return event::code_of(symbol::make(type)); }

bool is_type(const View& v, const char* name) { return v.type && symbol::same_name(v.type, symbol::make(name)); }

Kind kind_of(const View& v) {
	if (is_type(v, "window")) return WINDOW;
	if (is_type(v, "button")) return BUTTON;
	if (is_type(v, "toggle")) return TOGGLE;
	if (is_type(v, "check")) return CHECK;
	if (is_type(v, "radio")) return RADIO;
	if (is_type(v, "field")) return FIELD;
	if (is_type(v, "area")) return AREA;
	if (is_type(v, "text")) return TEXT;
	if (is_type(v, "tab-panel")) return TABS;
	if (is_type(v, "text-list") || is_type(v, "drop-list") || is_type(v, "drop-down")) return LIST;
	if (is_type(v, "calendar")) return CALENDAR;
	return BOX;
}

Native* native(const View& v) { return static_cast<Native*>(v.native); }

GObject* object(void* w) { return reinterpret_cast<GObject*>(w); }

void tag(GtkWidget* w, const View& v) { g_object_set_data(object(w), "vyn-slot", GINT_TO_POINTER(v.slot + 1)); }
void untag(GtkWidget* w) {
	if (w) g_object_set_data(object(w), "vyn-slot", nullptr);
}

// The live view a widget shows, or null (not ours, or its view is gone).
View* view_of(GtkWidget* w) {
	if (!w) return nullptr;
	int32_t slot = GPOINTER_TO_INT(g_object_get_data(object(w), "vyn-slot"));
	return slot ? views::of_slot(slot - 1) : nullptr;
}

// True when the face's `flags` facet (a word or a block of words) holds the word.
bool has_flag(const View& v, const char* name) {
	return platform_routines::holds_word(views::facet(&v.face, views::FLAGS), name);
}

// ---- our container ----

// A GtkFixed that gives each child exactly its face's offset and size,
// whatever the child's own minimum, and asks for no size itself (a window
// is as large as its face says).
void fixed_allocate(GtkWidget* w, GtkAllocation* a) {
	lib.gtk_widget_set_allocation(w, a);
	GList* children = lib.gtk_container_get_children(reinterpret_cast<GtkContainer*>(w));
	for (GList* l = children; l; l = l->next) {
		auto* child = static_cast<GtkWidget*>(l->data);
		// A hidden child (a tab panel's page not shown) takes no place.
		if (!lib.gtk_widget_get_visible(child)) continue;
		View* v = view_of(child);
		GtkAllocation c = {a->x, a->y, 1, 1};
		if (v && v == view_of(w)) {
			// The face's own control under its children (a tab panel's notebook).
			c.width = std::max(1, a->width);
			c.height = std::max(1, a->height);
		} else if (v) {
			c.x = a->x + int(std::lround(v->x));
			c.y = a->y + int(std::lround(v->y));
			c.width = std::max(1, int(std::lround(v->width)));
			c.height = std::max(1, int(std::lround(v->height)));
		} else {
			gtk_values::place_bar(child, a, &c);
		}
		// GTK wants the size asked before one is given.
		lib.gtk_widget_get_preferred_size(child, nullptr, nullptr);
		lib.gtk_widget_size_allocate(child, &c);
		// A theme's minimum (a caption's height) must not spill over the
		// neighbours: the child paints within its face's rectangle only.
		lib.gtk_widget_set_clip(child, &c);
	}
	g_list_free(children);
}

void no_size(GtkWidget*, gint* minimum, gint* natural) { *minimum = *natural = 0; }

void fixed_class_init(gpointer klass, gpointer) {
	auto* c = static_cast<GtkWidgetClass*>(klass);
	c->size_allocate = fixed_allocate;
	c->get_preferred_width = no_size;
	c->get_preferred_height = no_size;
}

GtkWidget* new_box() {
	static GType type = g_type_register_static_simple(lib.gtk_fixed_get_type(), "VynFixed", sizeof(GtkFixedClass),
		fixed_class_init, sizeof(GtkFixed), nullptr, GTypeFlags(0));
	return static_cast<GtkWidget*>(g_object_new(type, nullptr));
}

// ---- events ----

bool stopped(const Cell* answer) {
	static const uint32_t stop = symbol::make("stop");
	return word::is_any_word(cell::type_of(answer)) && symbol::same_name(answer->data2, stop);
}

// Sends the event about the view's face; true when a handler answered
// `stop`. Nothing is sent once an exit escaped a handler: the loop raises
// it again before any more Vyn code runs.
bool send(uint32_t type, const View& v, uint32_t flags, const Cell* offset = nullptr, const Cell* key = nullptr,
	const Cell* picked = nullptr) {
	if (trampoline::escaped()) return false;
	Cell face = v.face, out;
	cell::make_none(&out);
	dispatch::send(type, &face, flags, offset, key, picked, &out);
	return stopped(&out);
}

uint32_t modifier_flags(guint state) {
	uint32_t flags = 0;
	if (state & GDK_CONTROL_MASK) flags |= event::FLAG_CONTROL;
	if (state & GDK_SHIFT_MASK) flags |= event::FLAG_SHIFT;
	if (state & GDK_MOD1_MASK) flags |= event::FLAG_ALT;
	return flags;
}

uint32_t pointer_flags(guint state) {
	uint32_t flags = modifier_flags(state);
	if (state & GDK_BUTTON1_MASK) flags |= event::FLAG_DOWN;
	if (state & GDK_BUTTON2_MASK) flags |= event::FLAG_MID_DOWN;
	if (state & GDK_BUTTON3_MASK) flags |= event::FLAG_ALT_DOWN;
	return flags;
}

uint32_t button_flag(guint button) {
	switch (button) {
	case 1: return event::FLAG_DOWN;
	case 2: return event::FLAG_MID_DOWN;
	case 3: return event::FLAG_ALT_DOWN;
	case 8:
	case 9: return event::FLAG_AUX_DOWN;
	default: return 0;
	}
}

// The GDK window of an event belongs to this very widget: an event that
// propagates up from a child's window is the child's, not its parent's.
bool own_event(GtkWidget* w, GdkWindow* window) {
	gpointer owner = nullptr;
	lib.gdk_window_get_user_data(window, &owner);
	return owner == w;
}

// GTK emits a toplevel's own pointer signals twice for one event; the
// second delivery answers as the first did instead of reaching the face again.
struct Delivered {
	GtkWidget* w = nullptr;
	const void* event = nullptr;
	GdkEventType type = GDK_NOTHING;
	guint32 time = 0;
	gboolean answer = FALSE;
};
Delivered delivered;

template <class E>
bool delivered_before(GtkWidget* w, const E* e, gboolean* answer) {
	if (delivered.w != w || delivered.event != e || delivered.type != e->type || delivered.time != e->time)
		return false;
	*answer = delivered.answer;
	return true;
}

template <class E>
gboolean remember(GtkWidget* w, const E* e, gboolean answer) {
	delivered = {w, e, e->type, e->time, answer};
	return answer;
}

// A window's faces lie in its box, below any menu bar.
GtkWidget* pointer_frame(GtkWidget* w) {
	View* v = view_of(w);
	Native* n = v ? native(*v) : nullptr;
	return n && n->window && n->box ? n->box : w;
}

// The pointer position relative to the face's top-left corner.
void offset_in(GtkWidget* w, double x_root, double y_root, Cell* out) {
	w = pointer_frame(w);
	gint ox = 0, oy = 0;
	lib.gdk_window_get_origin(lib.gtk_widget_get_window(w), &ox, &oy);
	if (!lib.gtk_widget_get_has_window(w)) {
		GtkAllocation a;
		lib.gtk_widget_get_allocation(w, &a);
		ox += a.x;
		oy += a.y;
	}
	point2D::make_at(out, float(x_root - ox), float(y_root - oy));
}

gboolean on_button(GtkWidget* w, GdkEventButton* e, gpointer) {
	View* v = view_of(w);
	gboolean answer = FALSE;
	if (!v || !own_event(w, e->window)) return FALSE;
	if (delivered_before(w, e, &answer)) return answer;
	const char* type = nullptr;
	uint32_t flags = pointer_flags(e->state);
	if (e->type == GDK_BUTTON_PRESS) {
		flags |= button_flag(e->button);
		switch (e->button) {
		case 1: type = "down"; break;
		case 2: type = "mid-down"; break;
		case 3: type = "alt-down"; break;
		case 8:
		case 9: type = "aux-down"; break;
		}
	} else if (e->type == GDK_2BUTTON_PRESS) {
		// GTK has already reported the second press as a press: this is
		// the double click itself, between that down and its up.
		if (e->button == 1) type = "dbl-click";
	} else if (e->type == GDK_BUTTON_RELEASE) {
		flags &= ~button_flag(e->button);
		switch (e->button) {
		case 1: type = "up"; break;
		case 2: type = "mid-up"; break;
		case 3: type = "alt-up"; break;
		case 8:
		case 9: type = "aux-up"; break;
		}
	}
	if (!type) return FALSE;
	Cell offset;
	offset_in(w, e->x_root, e->y_root, &offset);
	bool stop = send(code(type), *v, flags, &offset);
	if (e->type == GDK_BUTTON_PRESS && e->button == 3 && !stop && (v = view_of(w)))
		return remember(w, e, gtk_menus::show_context(*v, e, point2D::x_of(&offset), point2D::y_of(&offset)));
	return remember(w, e, stop);
}

gboolean on_motion(GtkWidget* w, GdkEventMotion* e, gpointer) {
	View* v = view_of(w);
	gboolean answer = FALSE;
	if (!v || !own_event(w, e->window)) return FALSE;
	if (delivered_before(w, e, &answer)) return answer;
	bool changed = hover_slot != v->slot;
	hover_slot = v->slot;
	if (!changed && !has_flag(*v, "all-over")) return FALSE;
	Cell offset;
	offset_in(w, e->x_root, e->y_root, &offset);
	return remember(w, e, send(code("over"), *v, pointer_flags(e->state), &offset));
}

gboolean on_leave(GtkWidget* w, GdkEventCrossing* e, gpointer) {
	View* v = view_of(w);
	// Moving onto a child is no leave of the face.
	if (!v || !own_event(w, e->window) || e->detail == GDK_NOTIFY_INFERIOR) return FALSE;
	if (hover_slot == v->slot) hover_slot = -1;
	Cell offset;
	offset_in(w, e->x_root, e->y_root, &offset);
	return send(code("over"), *v, pointer_flags(e->state) | event::FLAG_AWAY, &offset);
}

gboolean on_scroll(GtkWidget* w, GdkEventScroll* e, gpointer) {
	View* v = view_of(w);
	if (!v || !own_event(w, e->window)) return FALSE;
	double steps = 0;
	if (e->direction == GDK_SCROLL_UP) steps = 1;
	else if (e->direction == GDK_SCROLL_DOWN) steps = -1;
	else if (e->direction == GDK_SCROLL_SMOOTH) {
		gdouble dx = 0, dy = 0;
		lib.gdk_event_get_scroll_deltas(reinterpret_cast<GdkEvent*>(e), &dx, &dy);
		steps = -dy;
	}
	if (steps == 0) return FALSE;
	Cell offset, key, picked;
	offset_in(w, e->x_root, e->y_root, &offset);
	word::make_at(symbol::make("wheel"), &key);
	cell::make_float(&picked, steps);
	return send(code("wheel"), *v, modifier_flags(e->state), &offset, &key, &picked);
}

// The face that takes the keys of a window: the focused face, else the window's.
View* key_target(GtkWidget* window) {
	GtkWidget* focus = lib.gtk_window_get_focus(reinterpret_cast<GtkWindow*>(window));
	View* v = view_of(focus);
	return v ? v : view_of(window);
}

void key_cell(const keys::Key& k, Cell* out) {
	if (k.word) word::make_at(symbol::make(k.word), out);
	else if (k.code) char_::make_at(out, k.code);
	else cell::make_none(out);
}

// The press as the script layer sees it, with the key's own character
// (no modifier, upper case) looked up in the keymap.
keys::Press translate(GdkEventKey* e) {
	guint base = e->keyval;
	lib.gdk_keymap_translate_keyboard_state(lib.gdk_keymap_get_for_display(lib.gdk_display_get_default()),
		e->hardware_keycode, GdkModifierType(0), e->group, &base, nullptr, nullptr, nullptr);
	return keys::translate(e->keyval, lib.gdk_keyval_to_unicode(e->keyval),
		lib.gdk_keyval_to_unicode(lib.gdk_keyval_to_upper(base)), e->state);
}

gboolean on_key_press(GtkWidget* window, GdkEventKey* e, gpointer) {
	View* v = key_target(window);
	if (!v) return FALSE;
	keys::Press press = translate(e);
	Cell key;
	key_cell(press.down, &key);
	bool stop = send(code("key-down"), *v, press.down_flags, nullptr, &key);
	if (!stop && press.typed) {
		// The key-down handler may have closed the window.
		v = key_target(window);
		if (!v) return TRUE;
		key_cell(press.key, &key);
		stop = send(code("key"), *v, press.key_flags, nullptr, &key);
	}
	// What the key changed is painted now, not at the next frame: typing
	// shows without the frame clock's wait.
	if (GdkWindow* gw = lib.gtk_widget_get_window(window)) lib.gdk_window_process_updates(gw, TRUE);
	// Tab moves the focus through the script layer's own order.
	return stop || press.tab;
}

gboolean on_key_release(GtkWidget* window, GdkEventKey* e, gpointer) {
	View* v = key_target(window);
	if (!v) return FALSE;
	keys::Press press = translate(e);
	Cell key;
	key_cell(press.down, &key);
	return send(code("key-up"), *v, press.down_flags, nullptr, &key);
}

gboolean on_delete(GtkWidget* w, GdkEvent*, gpointer) {
	// The script layer closes the window (or keeps it) itself.
	if (View* v = view_of(w)) send(code("close"), *v, 0);
	return TRUE;
}

// Writes a size or position the window system gave into the face: as a
// pair! when the facet holds one, else as a point2D!.
void write_xy(View& v, views::Facet f, int x, int y) {
	Cell* facet = views::facet(&v.face, f);
	if (!facet) return;
	if (cell::is(facet, T_PAIR)) pair::make_at(facet, x, y);
	else point2D::make_at(facet, float(x), float(y));
}

gboolean on_configure(GtkWidget* w, GdkEventConfigure* e, gpointer) {
	View* v = view_of(w);
	if (!v) return FALSE;
	int height = e->height - gtk_menus::bar_height(w);
	bool moved = e->x != int(std::lround(v->x)) || e->y != int(std::lround(v->y));
	bool resized = e->width != int(std::lround(v->width)) || height != int(std::lround(v->height));
	if (moved) {
		v->x = e->x;
		v->y = e->y;
		write_xy(*v, views::OFFSET, e->x, e->y);
		Cell offset;
		point2D::make_at(&offset, float(e->x), float(e->y));
		send(code("move"), *v, 0, &offset);
	}
	v = view_of(w);
	if (v && resized) {
		v->width = e->width;
		v->height = height;
		write_xy(*v, views::SIZE, e->width, height);
		Cell size;
		point2D::make_at(&size, float(e->width), float(height));
		send(code("resize"), *v, 0, &size);
	}
	return FALSE;
}

gboolean on_focus(GtkWidget* w, GdkEventFocus* e, gpointer) {
	if (View* v = view_of(w)) send(code(e->in ? "focus" : "unfocus"), *v, 0);
	return FALSE;
}

// ---- native control values ----

// The window face of a view, or null.
View* window_view(const View& v) {
	const View* p = &v;
	for (int guard = 0; guard < 10000 && p && p->parent >= 0; guard++) p = views::of_slot(p->parent);
	return p && native(*p) && native(*p)->window ? const_cast<View*>(p) : nullptr;
}

// The window's `selected` becomes the control's face before its events.
void select_in_window(const View& v) {
	View* w = window_view(v);
	if (!w || w == &v) return;
	if (Cell* selected = views::facet(&w->face, views::SELECTED)) *selected = v.face;
}

void set_text_facet(View& v, const std::string& text) {
	Cell s;
	string::load_at(&s, text);
	// Looked up after the string is made: making it may move the face's values.
	if (Cell* facet = views::facet(&v.face, views::TEXT)) *facet = s;
	v.text = text;
}

void set_data_facet(View& v, int state) {
	Cell* data = views::facet(&v.face, views::DATA);
	if (!data) return;
	if (state == 2) cell::make_none(data);
	else cell::make_logic(data, state == 1);
}

void on_clicked(GtkWidget* w, gpointer) {
	View* v = view_of(w);
	if (!v || writing) return;
	select_in_window(*v);
	send(code("click"), *v, 0);
}

void on_toggled(GtkWidget* w, gpointer) {
	View* v = view_of(w);
	if (!v || writing) return;
	Native* n = native(*v);
	auto* button = reinterpret_cast<GtkToggleButton*>(w);
	Kind kind = kind_of(*v);
	if (kind == RADIO) {
		// Only the radio that becomes checked reports.
		if (!lib.gtk_toggle_button_get_active(button)) return;
		select_in_window(*v);
		set_data_facet(*v, 1);
		send(code("click"), *v, 0);
		return;
	}
	int state = lib.gtk_toggle_button_get_active(button) ? 1 : 0;
	if (kind == CHECK && has_flag(*v, "tri-state")) {
		// Off, on, undetermined, off again: GTK does not cycle through the third.
		state = (n->tri_state + 1) % 3;
		Writing guard;
		lib.gtk_toggle_button_set_active(button, state == 1);
		lib.gtk_toggle_button_set_inconsistent(button, state == 2);
	}
	n->tri_state = state;
	select_in_window(*v);
	set_data_facet(*v, state);
	send(code("change"), *v, 0);
}

void on_entry_changed(GtkWidget* w, gpointer) {
	View* v = view_of(w);
	if (!v || writing) return;
	set_text_facet(*v, lib.gtk_entry_get_text(reinterpret_cast<GtkEntry*>(w)));
	send(code("change"), *v, 0);
}

void on_buffer_changed(GtkTextBuffer* buffer, gpointer control) {
	View* v = view_of(static_cast<GtkWidget*>(control));
	if (!v || writing) return;
	GtkTextIter start, end;
	lib.gtk_text_buffer_get_bounds(buffer, &start, &end);
	gchar* text = lib.gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
	set_text_facet(*v, text);
	g_free(text);
	send(code("change"), *v, 0);
}

void connect(gpointer w, const char* signal, GCallback fn, gpointer data = nullptr) {
	g_signal_connect_data(w, signal, fn, data, nullptr, GConnectFlags(0));
}

void connect_pointer(GtkWidget* w) {
	lib.gtk_widget_add_events(w, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
		GDK_SCROLL_MASK | GDK_LEAVE_NOTIFY_MASK);
	connect(w, "button-press-event", G_CALLBACK(on_button));
	connect(w, "button-release-event", G_CALLBACK(on_button));
	connect(w, "motion-notify-event", G_CALLBACK(on_motion));
	connect(w, "leave-notify-event", G_CALLBACK(on_leave));
	connect(w, "scroll-event", G_CALLBACK(on_scroll));
}

// A camera's latest frame, scaled to fit its face and centred.
void paint_camera(const View& v, GtkWidget* w, cairo_t* cr) {
	std::vector<uint32_t> pixels;
	uint32_t width = 0, height = 0;
	if (!camera::latest(v, &pixels, &width, &height)) return;
	GtkAllocation a;
	lib.gtk_widget_get_allocation(w, &a);
	double scale = std::min(double(a.width) / width, double(a.height) / height);
	cairo_surface_t* frame = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()),
		CAIRO_FORMAT_RGB24, int(width), int(height), int(width * 4));
	cairo_save(cr);
	cairo_translate(cr, (a.width - width * scale) / 2, (a.height - height * scale) / 2);
	cairo_scale(cr, scale, scale);
	cairo_set_source_surface(cr, frame, 0, 0);
	cairo_paint(cr);
	cairo_restore(cr);
	cairo_surface_destroy(frame);
}

// A box's own paint: a base face (and any face without a native control)
// through the draw engine; a window or panel is filled with its colour.
gboolean on_draw(GtkWidget* w, cairo_t* cr, gpointer) {
	View* v = view_of(w);
	if (!v || trampoline::escaped()) return FALSE;
	Cell face = v->face;
	if (kind_of(*v) == WINDOW || is_type(*v, "panel") || is_type(*v, "group-box") || is_type(*v, "tab-panel")) {
		base_face::paint_window(w, cr, &face);
		return FALSE;
	}
	if (is_type(*v, "camera")) paint_camera(*v, w, cr);
	base_face::paint(w, cr, &face);
	return FALSE;
}

void apply_text(View& v) {
	Native* n = native(v);
	Writing guard;
	switch (kind_of(v)) {
	case WINDOW: lib.gtk_window_set_title(reinterpret_cast<GtkWindow*>(n->outer), v.text.c_str()); break;
	case BUTTON:
	case TOGGLE:
	case CHECK:
	case RADIO: lib.gtk_button_set_label(reinterpret_cast<GtkButton*>(n->control), v.text.c_str()); break;
	case FIELD:
		if (v.text != lib.gtk_entry_get_text(reinterpret_cast<GtkEntry*>(n->control)))
			lib.gtk_entry_set_text(reinterpret_cast<GtkEntry*>(n->control), v.text.c_str());
		break;
	case AREA: {
		GtkTextBuffer* buffer = lib.gtk_text_view_get_buffer(reinterpret_cast<GtkTextView*>(n->control));
		lib.gtk_text_buffer_set_text(buffer, v.text.c_str(), int(v.text.size()));
		break;
	}
	case TEXT: lib.gtk_label_set_text(reinterpret_cast<GtkLabel*>(n->control), v.text.c_str()); break;
	case BOX:
	case TABS:
	case LIST:
	case CALENDAR: lib.gtk_widget_queue_draw(n->outer); break;
	}
}

// The face's data into a check mark: none is off (undetermined for a
// tri-state check box), a logic! its value, anything else on.
void apply_data(View& v) {
	Kind kind = kind_of(v);
	if (kind != CHECK && kind != RADIO && kind != TOGGLE) return;
	Native* n = native(v);
	Cell* data = views::facet(&v.face, views::DATA);
	int state = 1;
	if (!data || cell::is(data, T_NONE)) state = kind == CHECK && has_flag(v, "tri-state") ? 2 : 0;
	else if (cell::is(data, T_LOGIC)) state = data->data1 ? 1 : 0;
	Writing guard;
	auto* button = reinterpret_cast<GtkToggleButton*>(n->control);
	if (kind == RADIO && state != 1) lib.gtk_toggle_button_set_active(reinterpret_cast<GtkToggleButton*>(n->partner), TRUE);
	else lib.gtk_toggle_button_set_active(button, state == 1);
	lib.gtk_toggle_button_set_inconsistent(button, state == 2);
	n->tri_state = state;
}

// A face's font! (already mapped to a family of this system) as CSS of
// the control.
void apply_font(View& v, const backend::Font& font) {
	Native* n = native(v);
	if (font.family.empty() && font.size <= 0 && !font.bold && !font.italic && !font.underline && !font.strike &&
		!n->font_css)
		return;
	if (!n->font_css) {
		n->font_css = lib.gtk_css_provider_new();
		lib.gtk_style_context_add_provider(lib.gtk_widget_get_style_context(n->control),
			reinterpret_cast<GtkStyleProvider*>(n->font_css), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
	}
	std::string css = "* {";
	if (!font.family.empty()) css += " font-family: \"" + font.family + "\";";
	if (font.size > 0) css += " font-size: " + std::to_string(font.size) + "pt;";
	if (font.bold) css += " font-weight: bold;";
	if (font.italic) css += " font-style: italic;";
	if (font.underline || font.strike)
		css += std::string(" text-decoration-line:") + (font.underline ? " underline" : "") +
			(font.strike ? " line-through" : "") + ";";
	css += " }";
	lib.gtk_css_provider_load_from_data(n->font_css, css.c_str(), -1, nullptr);
}

void show_or_hide(View& v) {
	Native* n = native(v);
	// A window is first shown by show-window.
	if (n->window && v.visible) return;
	lib.gtk_widget_set_visible(n->outer, v.visible);
}

gboolean destroy_later(gpointer w) {
	lib.gtk_widget_destroy(static_cast<GtkWidget*>(w));
	g_object_unref(w);
	return G_SOURCE_REMOVE;
}

// A list's or tab panel's control shows its items again (`refill`), or
// selects its `selected` item.
void apply_items(View& v, bool refill) {
	Native* n = native(v);
	if (!n) return;
	if (kind_of(v) == LIST) refill ? gtk_lists::fill(v, n->control) : gtk_lists::select(v, n->control);
	if (kind_of(v) == TABS) refill ? gtk_tabs::fill(v, n->control) : gtk_tabs::select(v, n->control);
}

class Gtk final : public backend::Backend {
public:
	Gtk() {
		GtkCssProvider* css = lib.gtk_css_provider_new();
		lib.gtk_css_provider_load_from_data(css, COMPACT_CSS, -1, nullptr);
		lib.gtk_style_context_add_provider_for_screen(lib.gdk_screen_get_default(),
			reinterpret_cast<GtkStyleProvider*>(css), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
	}

	const char* name() const override { return "gtk"; }

	void redraw(View& v) override {
		if (Native* n = native(v); n && n->outer) lib.gtk_widget_queue_draw(n->outer);
	}

	std::vector<backend::Screen> screens() override {
		GdkDisplay* display = lib.gdk_display_get_default();
		std::vector<backend::Screen> out;
		GdkMonitor* primary = lib.gdk_display_get_primary_monitor(display);
		int count = lib.gdk_display_get_n_monitors(display);
		for (int i = 0; i < count; i++) {
			GdkMonitor* m = lib.gdk_display_get_monitor(display, i);
			GdkRectangle r;
			lib.gdk_monitor_get_geometry(m, &r);
			int scale = std::max(1, lib.gdk_monitor_get_scale_factor(m));
			backend::Screen s{r.x * scale, r.y * scale, r.width * scale, r.height * scale, double(scale)};
			if (m == primary) out.insert(out.begin(), s);
			else out.push_back(s);
		}
		if (out.empty()) out.push_back({0, 0, 640, 480, 1.0});
		return out;
	}

	uint32_t current_screen() override {
		GdkDisplay* display = lib.gdk_display_get_default();
		gint x = 0, y = 0;
		lib.gdk_device_get_position(lib.gdk_seat_get_pointer(lib.gdk_display_get_default_seat(display)), nullptr, &x, &y);
		GdkMonitor* at = lib.gdk_display_get_monitor_at_point(display, x, y);
		GdkMonitor* primary = lib.gdk_display_get_primary_monitor(display);
		if (!at || at == primary) return 0;
		// screens() lists the primary first, the others in GDK's order.
		uint32_t index = 1;
		for (int i = 0; i < lib.gdk_display_get_n_monitors(display); i++) {
			GdkMonitor* m = lib.gdk_display_get_monitor(display, i);
			if (m == at) return index;
			if (m != primary) index++;
		}
		return 0;
	}

	// X11 has one whole-number scale for the display (GDK_SCALE).
	double dpi() override { return 96.0 * screens()[0].scale; }

	backend::Font system_font() override { return {SYSTEM_FAMILY, SYSTEM_SIZE}; }

	void text_size(const backend::Font& font, std::string_view utf8, double* width, double* height) override {
		// Logical pixels: the same Pango measure as without a display.
		headless::instance().text_size(font, utf8, width, height);
	}

	void view_made(View& v) override {
		auto* n = new Native;
		v.native = n;
		Kind kind = kind_of(v);
		switch (kind) {
		case WINDOW: {
			n->window = true;
			n->outer = n->control = lib.gtk_window_new(GTK_WINDOW_TOPLEVEL);
			auto* window = reinterpret_cast<GtkWindow*>(n->outer);
			lib.gtk_window_set_title(window, v.text.c_str());
			int w = std::max(1, int(std::lround(v.width))), h = std::max(1, int(std::lround(v.height)));
			lib.gtk_window_set_default_size(window, w, h);
			lib.gtk_window_move(window, int(std::lround(v.x)), int(std::lround(v.y)));
			base_face::prepare_window(n->outer, &v.face);
			n->box = new_box();
			lib.gtk_container_add(reinterpret_cast<GtkContainer*>(n->outer), n->box);
			// The menu bar is GTK's window's: the faces keep their whole area.
			gtk_menus::set_bar(v, n->outer, n->box);
			if (int bar = gtk_menus::bar_height(n->outer)) lib.gtk_window_set_default_size(window, w, h + bar);
			lib.gtk_widget_add_events(n->outer, GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_STRUCTURE_MASK |
				GDK_FOCUS_CHANGE_MASK);
			connect(n->outer, "key-press-event", G_CALLBACK(on_key_press));
			connect(n->outer, "key-release-event", G_CALLBACK(on_key_release));
			connect(n->outer, "delete-event", G_CALLBACK(on_delete));
			connect(n->outer, "configure-event", G_CALLBACK(on_configure));
			connect(n->outer, "focus-in-event", G_CALLBACK(on_focus));
			connect(n->outer, "focus-out-event", G_CALLBACK(on_focus));
			windows_open++;
			break;
		}
		case BUTTON:
			n->outer = n->control = lib.gtk_button_new_with_label(v.text.c_str());
			connect(n->control, "clicked", G_CALLBACK(on_clicked));
			gtk_button_image::apply(v, n->control);
			break;
		case TOGGLE:
			n->outer = n->control = lib.gtk_toggle_button_new_with_label(v.text.c_str());
			connect(n->control, "toggled", G_CALLBACK(on_toggled));
			break;
		case CHECK:
			n->outer = n->control = lib.gtk_check_button_new_with_label(v.text.c_str());
			connect(n->control, "toggled", G_CALLBACK(on_toggled));
			break;
		case RADIO:
			// Its hidden partner in the same group takes the mark when the
			// radio is switched off.
			n->partner = lib.gtk_radio_button_new_with_label_from_widget(nullptr, "");
			g_object_ref_sink(n->partner);
			n->outer = n->control = lib.gtk_radio_button_new_with_label_from_widget(
				reinterpret_cast<GtkRadioButton*>(n->partner), v.text.c_str());
			connect(n->control, "toggled", G_CALLBACK(on_toggled));
			break;
		case FIELD:
			n->outer = n->control = lib.gtk_entry_new();
			connect(n->control, "changed", G_CALLBACK(on_entry_changed));
			break;
		case AREA: {
			n->outer = lib.gtk_scrolled_window_new(nullptr, nullptr);
			n->control = lib.gtk_text_view_new();
			lib.gtk_container_add(reinterpret_cast<GtkContainer*>(n->outer), n->control);
			lib.gtk_widget_show(n->control);
			GtkTextBuffer* buffer = lib.gtk_text_view_get_buffer(reinterpret_cast<GtkTextView*>(n->control));
			connect(buffer, "changed", G_CALLBACK(on_buffer_changed), n->control);
			break;
		}
		case TEXT:
			n->outer = lib.gtk_event_box_new();
			lib.gtk_event_box_set_visible_window(reinterpret_cast<GtkEventBox*>(n->outer), FALSE);
			n->control = lib.gtk_label_new(v.text.c_str());
			lib.gtk_label_set_ellipsize(reinterpret_cast<GtkLabel*>(n->control), PANGO_ELLIPSIZE_END);
			lib.gtk_label_set_xalign(reinterpret_cast<GtkLabel*>(n->control), 0);
			lib.gtk_container_add(reinterpret_cast<GtkContainer*>(n->outer), n->control);
			lib.gtk_widget_show(n->control);
			break;
		case BOX:
			// Slider, progress and scroller faces have their own control.
			if ((n->outer = n->control = gtk_values::make(v))) break;
			[[fallthrough]];
		case TABS:
			// Base faces and those without a native control of their own:
			// painted by the draw engine, holding their pane's faces.
			n->outer = n->control = lib.gtk_event_box_new();
			n->box = new_box();
			lib.gtk_container_add(reinterpret_cast<GtkContainer*>(n->outer), n->box);
			if (kind == TABS) n->control = gtk_tabs::make(v, n->box);
			break;
		case LIST: gtk_lists::make(v, &n->outer, &n->control); break;
		case CALENDAR:
			n->outer = n->control = gtk_calendar::make(v);
			gtk_calendar::colour(v, n->control);
			break;
		}
		tag(n->outer, v);
		tag(n->control, v);
		if (n->box) {
			tag(n->box, v);
			connect(n->box, "draw", G_CALLBACK(on_draw));
			lib.gtk_widget_show(n->box);
		}
		// Pointer events where the face's input arrives: its event box, its
		// control, or the window.
		GtkWidget* pointer = kind == BOX || kind == TEXT || kind == TABS ? n->outer : n->control;
		if (kind == TEXT) lib.gtk_event_box_set_visible_window(reinterpret_cast<GtkEventBox*>(n->outer), TRUE);
		connect_pointer(pointer);
		apply_data(v);
		// An edit control starts with the face's text (silently).
		if (kind == FIELD || kind == AREA) apply_text(v);
		if (kind != BOX && kind != WINDOW) apply_font(v, platform_routines::face_font(&v.face));
		gtk_paragraph::apply_para(v, n->control);
		gtk_paragraph::apply_hint(v, n->control);
		lib.gtk_widget_set_sensitive(n->outer, v.enabled);
		if (!n->window) {
			View* parent = views::of_slot(v.parent);
			Native* pn = parent ? native(*parent) : nullptr;
			if (pn && pn->box) lib.gtk_fixed_put(reinterpret_cast<GtkFixed*>(pn->box), n->outer, 0, 0);
			if (pn && kind_of(*parent) == TABS) gtk_tabs::fit_page(v, *parent, pn->control);
			show_or_hide(v);
		}
	}

	void view_changed(View& v, uint32_t bits) override {
		Native* n = native(v);
		if (!n) return;
		if (!bits) bits = ~0u;  // a deep change: everything is read again
		auto has = [&](views::Facet f) { return (bits & (1u << f)) != 0; };
		if (has(views::MENU) && n->window) gtk_menus::set_bar(v, n->outer, n->box);
		if (n->window && (has(views::OFFSET) || has(views::SIZE) || has(views::MENU))) {
			auto* window = reinterpret_cast<GtkWindow*>(n->outer);
			lib.gtk_window_move(window, int(std::lround(v.x)), int(std::lround(v.y)));
			// The size is the faces' area: a menu bar comes on top of it.
			lib.gtk_window_resize(window, std::max(1, int(std::lround(v.width))),
				std::max(1, int(std::lround(v.height))) + gtk_menus::bar_height(n->outer));
		} else if (has(views::OFFSET) || has(views::SIZE)) {
			lib.gtk_widget_queue_resize(n->outer);
		}
		if (has(views::TEXT)) apply_text(v);
		if (has(views::DATA)) apply_data(v);
		gtk_values::changed(v, n->control, bits);
		if (has(views::PARA)) gtk_paragraph::apply_para(v, n->control);
		if (has(views::OPTIONS)) gtk_paragraph::apply_hint(v, n->control);
		if (has(views::DATA) || has(views::SELECTED)) apply_items(v, has(views::DATA));
		if (has(views::COLOR) && kind_of(v) == CALENDAR) gtk_calendar::colour(v, n->control);
		if (has(views::SIZE) && kind_of(v) == TABS) gtk_tabs::refit(v, n->control);
		if (has(views::ENABLED_Q)) lib.gtk_widget_set_sensitive(n->outer, v.enabled);
		if (has(views::VISIBLE_Q)) show_or_hide(v);
		if (has(views::FONT) && !n->box) apply_font(v, platform_routines::face_font(&v.face));
		if (has(views::SELECTED) && n->window) {
			Cell* selected = views::facet(&v.face, views::SELECTED);
			View* target = selected && cell::is(selected, T_OBJECT) ? views::of_face(selected) : nullptr;
			if (target && native(*target)) lib.gtk_widget_grab_focus(native(*target)->control);
		}
		if (has(views::IMAGE) && kind_of(v) == BUTTON) gtk_button_image::apply(v, n->control);
		if (has(views::COLOR) || has(views::DRAW) || has(views::IMAGE) || has(views::FONT) || has(views::PARA))
			lib.gtk_widget_queue_draw(n->outer);
	}

	void view_destroyed(View& v) override {
		Native* n = native(v);
		if (!n) return;
		v.native = nullptr;
		if (hover_slot == v.slot) hover_slot = -1;
		untag(n->outer);
		untag(n->control);
		untag(n->box);
		if (n->window) windows_open--;
		// The view may go from one of its own signals: the widgets go once
		// GTK is back in the loop.
		lib.gtk_widget_hide(n->outer);
		g_idle_add(destroy_later, g_object_ref(n->outer));
		if (n->partner) g_idle_add(destroy_later, n->partner);
		if (n->font_css) g_object_unref(n->font_css);
		delete n;
	}

	void items_changed(View& v) override { apply_items(v, true); }

	std::vector<std::string> shown_items(View& v) override {
		Native* n = native(v);
		if (!n) return v.items;
		if (kind_of(v) == LIST) return gtk_lists::shown(v, n->control);
		if (kind_of(v) == TABS) return gtk_tabs::shown(n->control);
		return v.items;
	}

	void calendar_show(View& v, int32_t year, int32_t month, int32_t day) override {
		if (Native* n = native(v)) gtk_calendar::show(n->control, year, month, day);
	}

	void calendar_read(View& v, int32_t* year, int32_t* month, int32_t* day) override {
		if (Native* n = native(v)) gtk_calendar::read(n->control, year, month, day);
	}

	bool request_files(const backend::FileRequest& r, std::vector<std::string>* chosen) override {
		return gtk_dialogs::request_files(r, chosen);
	}

	bool request_font(const backend::Font& start, bool mono, backend::Font* chosen) override {
		return gtk_dialogs::request_font(start, mono, chosen);
	}

	void window_shown(View& v) override {
		Native* n = native(v);
		if (!n || !n->window) return;
		if (v.visible) {
			lib.gtk_widget_show(n->outer);
			lib.gtk_window_present(reinterpret_cast<GtkWindow*>(n->outer));
		}
	}

	bool dark_mode_supported() override { return dark_mode::supported(); }
	void set_dark_mode(View&, bool dark) override { dark_mode::set(dark); }
	void para_changed(View& v) override {
		if (Native* n = native(v)) gtk_paragraph::apply_para(v, n->control);
	}
	void scroll_bar_changed(View& v, const backend::ScrollBar& bar) override {
		Native* n = native(v);
		if (n && n->box) gtk_values::set_bar(v, n->box, bar);
	}
	bool delivers_input() override { return windows_open > 0; }
};

}  // namespace

uint32_t event_code(const char* type) { return code(type); }

bool send_event(uint32_t code, const View& v, uint32_t flags, const Cell* offset, const Cell* key, const Cell* picked) {
	return send(code, v, flags, offset, key, picked);
}

void tag_widget(GtkWidget* w, const View& v) { tag(w, v); }
View* view_of_widget(GtkWidget* w) { return view_of(w); }

GtkWidget* window_widget_of(const View& v) {
	View* w = window_view(v);
	return w ? native(*w)->outer : nullptr;
}

void show_view(View& v, bool visible) {
	if (Cell* facet = views::facet(&v.face, views::VISIBLE_Q)) cell::make_logic(facet, visible);
	v.visible = visible;
	if (native(v)) show_or_hide(v);
}

void connect_signal(gpointer w, const char* signal, GCallback fn, gpointer data) { connect(w, signal, fn, data); }

backend::Backend* open() {
	if (!gtk_library::display()) return nullptr;
	static Gtk backend;
	return &backend;
}

}  // namespace vyn::gtk_backend
