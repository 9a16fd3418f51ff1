#include "gui/backend/dispatch.h"

#include <glib.h>

#include <vector>

#include "gui/backend/event_loop.h"
#include "gui/backend/trampoline.h"
#include "gui/backend/views.h"
#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/event_records.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/word.h"
#include "runtime/symbol.h"

namespace vyn::dispatch {

namespace {

// Events posted and not dispatched yet, oldest first; collector roots.
std::vector<Cell> queue;
uint32_t idle_source = 0;

void mark_queue() {
	for (Cell& c : queue) collector::mark_cell(&c);
}

// system/view/awake, or false when it is not a function (yet).
bool find_awake(Cell* out) {
	static const uint32_t system_sym = symbol::make("system");
	static const uint32_t view_sym = symbol::make("view");
	static const uint32_t awake_sym = symbol::make("awake");
	Cell* system = context::global_value(system_sym);
	if (!system || !cell::is(system, T_OBJECT)) return false;
	Cell w;
	word::make_at(view_sym, &w);
	Cell* view = object::get_word_value(system, &w);
	if (!cell::is(view, T_OBJECT)) return false;
	word::make_at(awake_sym, &w);
	Cell* awake = object::get_word_value(view, &w);
	if (!cell::is(awake, T_FUNCTION)) return false;
	*out = *awake;
	return true;
}

// The window face a face belongs to (the face itself for a window), or none.
Cell window_of(const Cell* face) {
	static const uint32_t window_sym = symbol::make("window");
	Cell f = *face;
	for (int guard = 0; guard < 10000 && cell::is(&f, T_OBJECT); guard++) {
		Cell* type = views::facet(&f, views::TYPE);
		if (type && word::is_any_word(cell::type_of(type)) && symbol::same_name(type->data2, window_sym)) return f;
		Cell* parent = views::facet(&f, views::PARENT);
		if (!parent) break;
		f = *parent;
	}
	Cell none;
	cell::make_none(&none);
	return none;
}

// Runs awake on the event; a handler that destroyed a loop-owning window
// ends the innermost waiting loop once it returns.
bool run_awake(const Cell* event, Cell* out) {
	Cell awake;
	if (!find_awake(&awake)) return false;
	int32_t before = event_loop::loop_count();
	bool ok = trampoline::call(&awake, event, 1, out);
	if (event_loop::loop_count() < before) event_loop::quit();
	return ok;
}

gboolean on_idle(gpointer) {
	idle_source = 0;
	if (queue.empty()) return G_SOURCE_REMOVE;
	Cell event = queue.front();
	queue.erase(queue.begin());
	Cell out;
	send_event(&event, &out);
	if (!queue.empty()) idle_source = g_idle_add(on_idle, nullptr);
	return G_SOURCE_REMOVE;
}

}  // namespace

bool send(uint32_t code, const Cell* face, uint32_t flags, const Cell* offset, Cell* out) {
	return send(code, face, flags, offset, nullptr, nullptr, out);
}

bool send(uint32_t code, const Cell* face, uint32_t flags, const Cell* offset, const Cell* key, const Cell* picked,
	Cell* out) {
	return send(code, face, flags, offset, key, picked, nullptr, out);
}

bool send(uint32_t code, const Cell* face, uint32_t flags, const Cell* offset, const Cell* key, const Cell* picked,
	const Cell* orientation, Cell* out) {
	event_records::Fields fields = event_records::none_fields();
	if (key) fields.values[event_records::KEY] = *key;
	if (picked) fields.values[event_records::PICKED] = *picked;
	if (orientation) fields.values[event_records::ORIENTATION] = *orientation;
	fields.values[event_records::FACE] = *face;
	fields.values[event_records::WINDOW] = window_of(face);
	if (offset)
		fields.values[event_records::OFFSET] = *offset;
	else
		pair::make_at(&fields.values[event_records::OFFSET], 0, 0);
	uint32_t record = event_records::open(fields);
	Cell event;
	event::make_backend(&event, code, flags, record);
	bool ok = run_awake(&event, out);
	event_records::close(record);
	return ok;
}

bool send_event(const Cell* event, Cell* out) { return run_awake(event, out); }

void post(const Cell* event) {
	queue.push_back(*event);
	if (!idle_source) idle_source = g_idle_add(on_idle, nullptr);
}

uint32_t queued() { return uint32_t(queue.size()); }

void init() {
	static bool registered = false;
	queue.clear();
	if (idle_source) g_source_remove(idle_source);
	idle_source = 0;
	if (!registered) collector::register_marker(mark_queue);
	registered = true;
}

}  // namespace vyn::dispatch
