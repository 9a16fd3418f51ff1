#include "gui/backend/views.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>

#include "gui/backend/backend.h"
#include "gui/backend/camera/camera.h"
#include "gui/backend/control_data.h"
#include "gui/backend/event_loop.h"
#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/externals.h"
#include "runtime/io/simple_io.h"
#include "runtime/symbol.h"

namespace vyn::views {

namespace {

constexpr const char* FACET_NAMES[FACET_COUNT] = {
	"type", "offset", "size", "text", "image", "color", "menu", "data", "enabled?", "visible?", "selected",
	"flags", "options", "parent", "pane", "state", "rate", "edge", "para", "font", "actors", "extra", "draw",
};
uint32_t facet_symbols[FACET_COUNT];

int32_t view_class = 0;
std::unordered_map<int32_t, std::unique_ptr<View>> table;

void mark_views() {
	for (auto& [slot, view] : table) {
		collector::mark_cell(&view->face);
		externals::mark(slot, nullptr);
	}
}

bool truthy(const Cell* c) {
	return c && !cell::is(c, T_NONE) && !(cell::is(c, T_LOGIC) && !c->data1);
}

// A pair or a point2D!, as two doubles; false for anything else.
bool read_xy(const Cell* c, double* x, double* y) {
	if (!c) return false;
	if (cell::is(c, T_PAIR)) {
		*x = pair::x_of(c);
		*y = pair::y_of(c);
		return true;
	}
	if (cell::is(c, T_POINT2D)) {
		*x = point2D::x_of(c);
		*y = point2D::y_of(c);
		return true;
	}
	return false;
}

std::string text_of(const Cell* c) {
	if (!c || !string::any_string(c)) return {};
	Cell copy = *c;
	return simple_io::utf8_text(&copy);
}

// The rate facet as a timer period in ms (0: no timer); a bad rate raises
// invalid-facet-type with the value.
uint32_t period_of(const Cell* rate) {
	if (!rate || cell::is(rate, T_NONE)) return 0;
	if (cell::is(rate, T_INTEGER)) {
		int32_t n = cell::get_integer(rate);
		if (n >= 1) return n >= 1000 ? 1 : uint32_t(1000 / n);
	} else if (cell::is(rate, T_TIME)) {
		double s = time::get(rate);
		if (s > 0) return s * 1000 >= 4e9 ? 4000000000u : std::max(1u, uint32_t(std::lround(s * 1000)));
	}
	errors::fire(errors::id::script_invalid_facet_type, rate);
}

Cell* state_cells(const Cell* face, uint32_t* count) {
	Cell* state = facet(face, STATE);
	if (!state || !cell::is(state, T_BLOCK)) return nullptr;
	spans::Cells cells = spans::cells_of(state);
	*count = cells.count;
	return const_cast<Cell*>(cells.head);
}

void read_facets(View& v, uint32_t bits) {
	const Cell* face = &v.face;
	if (bits & (1u << OFFSET)) read_xy(facet(face, OFFSET), &v.x, &v.y);
	if (bits & (1u << SIZE)) read_xy(facet(face, SIZE), &v.width, &v.height);
	if (bits & (1u << TEXT)) v.text = text_of(facet(face, TEXT));
	if (bits & (1u << ENABLED_Q)) v.enabled = truthy(facet(face, ENABLED_Q));
	if (bits & (1u << VISIBLE_Q)) v.visible = truthy(facet(face, VISIBLE_Q));
	if (bits & (1u << RATE)) {
		uint32_t period = period_of(facet(face, RATE));
		if (period != v.period_ms) event_loop::set_timer(v, period);
	}
	if (bits & (1u << TYPE)) {
		Cell* type = facet(face, TYPE);
		v.type = type && word::is_any_word(cell::type_of(type)) ? type->data2 : 0;
	}
}

// The face types a view can be made for.
constexpr const char* TYPE_NAMES[] = {
	"screen", "window", "base", "panel", "tab-panel", "group-box", "button", "toggle", "check", "radio",
	"field", "area", "text", "text-list", "drop-down", "drop-list", "progress", "slider", "image", "camera",
	"caret", "scroller", "rich-text", "calendar",
};

// The face's type word when it names a known type, else raises face-type.
uint32_t known_type(const Cell* face) {
	Cell* type = facet(face, TYPE);
	if (type && word::is_any_word(cell::type_of(type)))
		for (const char* name : TYPE_NAMES)
			if (symbol::same_name(type->data2, symbol::make(name))) return type->data2;
	Cell none;
	cell::make_none(&none);
	errors::fire(errors::id::script_face_type, type ? type : &none);
}

// A new scroller shows a page of `selected` (a fraction, 10% when it is no
// number) at position 0.
void set_up_scroller(const Cell* face) {
	Cell* selected = facet(face, SELECTED);
	if (selected) {
		double page = 0.1;
		if (cell::is(selected, T_INTEGER)) page = cell::get_integer(selected);
		else if (cell::is(selected, T_FLOAT) || cell::is(selected, T_PERCENT)) page = cell::get_double(selected);
		else percent::make_at(selected, 0.1);
		if (page < 0 || page > 1) {
			Cell clamped;
			cell::make_float(&clamped, std::clamp(page, 0.0, 1.0));
			*selected = clamped;
		}
	}
	Cell* data = facet(face, DATA);
	if (data) cell::make_float(data, 0.0);
}

bool is_camera(const View& v) { return v.type && symbol::same_name(v.type, symbol::make("camera")); }
bool is_calendar(const View& v) { return v.type && symbol::same_name(v.type, symbol::make("calendar")); }

void free_view(const Cell* face, bool top, bool empty) {
	View* v = of_face(face);
	if (!v) return;
	event_loop::set_timer(*v, 0);
	Cell* pane = facet(face, PANE);
	if (pane && cell::is(pane, T_BLOCK)) {
		Cell block = *pane;
		spans::Cells cells = spans::cells_of(&block);
		for (uint32_t i = 0; i < cells.count; i++) {
			Cell child = spans::cells_of(&block).head[i];
			if (cell::is(&child, T_OBJECT)) free_view(&child, false, false);
		}
	}
	if (is_camera(*v)) camera::destroyed(*v);
	backend::current().view_destroyed(*v);
	int32_t slot = v->slot;
	table.erase(slot);
	externals::free_handle(slot, false);
	Cell* state = facet(face, STATE);
	if (state) cell::make_none(state);
	if (top && empty) event_loop::owner_closed();
}

}  // namespace

void init() {
	for (uint32_t f = 0; f < FACET_COUNT; f++) facet_symbols[f] = symbol::make(FACET_NAMES[f]);
	static bool registered = false;
	table.clear();
	if (!registered) {
		collector::register_marker(mark_views);
		registered = true;
	}
	view_class = externals::register_class("view", nullptr);
}

uint32_t facet_symbol(Facet f) { return facet_symbols[f]; }

Cell* facet(const Cell* face, Facet f) {
	if (!cell::is(face, T_OBJECT)) return nullptr;
	Node ctx = face->data1;
	int32_t i = context::find_word(ctx, facet_symbols[f], true);
	if (i < 0) return nullptr;
	return context::values(ctx) + i;
}

View* of_slot(int32_t slot) {
	auto it = table.find(slot);
	return it == table.end() ? nullptr : it->second.get();
}

View* of_handle(const Cell* handle) {
	if (!cell::is(handle, T_HANDLE) || !handle::is_live(handle)) return nullptr;
	return of_slot(handle::slot_of(handle));
}

View* of_face(const Cell* face) {
	uint32_t n = 0;
	Cell* state = state_cells(face, &n);
	return state && n > 0 ? of_handle(state) : nullptr;
}

void make(const Cell* face, const Cell* parent, Cell* out) {
	uint32_t type = known_type(face);
	if (symbol::same_name(type, symbol::make("scroller"))) set_up_scroller(face);
	auto view = std::make_unique<View>();
	view->face = *face;
	View* parent_view = parent ? of_handle(parent) : nullptr;
	view->parent = parent_view ? parent_view->slot : -1;
	View& v = *view;
	// Read before the view is registered: a bad rate leaves nothing behind.
	uint32_t period = period_of(facet(face, RATE));
	read_facets(v, ~(1u << RATE));
	int32_t slot = externals::alloc_handle(view.get(), view_class);
	v.slot = slot;
	table.emplace(slot, std::move(view));
	event_loop::set_timer(v, period);
	if (control_data::family_of(v) != control_data::OTHER) control_data::fill(v);
	backend::current().view_made(v);
	if (is_camera(v)) camera::made(v);
	if (is_calendar(v)) control_data::apply_calendar(v);
	handle::make_at(out, slot, handle::WINDOW);
}

void update(const Cell* face) {
	View* v = of_face(face);
	if (!v) return;
	uint32_t n = 0;
	Cell* state = state_cells(face, &n);
	if (n < 2 || !cell::is(state + 1, T_INTEGER)) return;
	uint32_t bits = uint32_t(cell::get_integer(state + 1));
	if (!bits) return;
	// Cleared first: a facet the backend refuses (a bad rate) is reported
	// once, not again by every later update.
	cell::make_integer(state + 1, 0);
	v->face = *face;
	read_facets(*v, bits);
	if ((bits & (1u << DATA)) && control_data::family_of(*v) != control_data::OTHER) control_data::fill(*v);
	backend::current().view_changed(*v, bits);
	if (is_calendar(*v) && (bits & (1u << DATA))) control_data::apply_calendar(*v);
	if (is_camera(*v)) {
		if (bits & (1u << SELECTED)) camera::select(*v);
		if (bits & (1u << IMAGE)) camera::grab(*v);
	}
}

void destroy(const Cell* face, bool empty) { free_view(face, true, empty); }

uint32_t count() { return uint32_t(table.size()); }

}  // namespace vyn::views
