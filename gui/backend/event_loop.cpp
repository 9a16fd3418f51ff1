#include "gui/backend/event_loop.h"

#include <glib.h>

#include <algorithm>

#include "gui/backend/backend.h"
#include "gui/backend/dispatch.h"
#include "gui/backend/trampoline.h"
#include "gui/backend/views.h"
#include "runtime/datatypes/event.h"
#include "runtime/symbol.h"

namespace vyn::event_loop {

namespace {

bool quit_requested = false;
int32_t loops = 0;       // raised by each waiting run, lowered by owner_closed
int32_t exits_owed = 0;  // quits still owed to outer levels
int32_t levels = 0;      // waiting runs in progress
uint32_t timers = 0;     // rate timers running

constexpr uint32_t MIN_PERIOD_MS = 10;

// The event type code of `time`.
uint32_t time_code() {
	static const uint32_t code = event::code_of(symbol::make("time"));
	return code;
}

gboolean on_timer(gpointer data) {
	// The view may be gone by the time the source fires: look it up again.
	int32_t slot = int32_t(GPOINTER_TO_INT(data));
	backend::View* view = views::of_slot(slot);
	if (!view || !view->timer) return G_SOURCE_REMOVE;
	Cell face = view->face;
	Cell out;
	dispatch::send(time_code(), &face, 0, nullptr, &out);
	return G_SOURCE_CONTINUE;
}

// Nothing can ever wake a waiting loop up: no timer, no queued event, no
// window system to deliver input.
bool nothing_to_wait_for() {
	return timers == 0 && dispatch::queued() == 0 && !backend::current().delivers_input();
}

}  // namespace

bool run(bool no_wait) {
	GMainContext* context = g_main_context_default();
	if (no_wait) {
		bool handled = g_main_context_iteration(context, FALSE);
		if (quit_requested) {
			// The quit is used up here: a later waiting loop does not end by it.
			quit_requested = false;
			handled = true;
		}
		trampoline::resume();
		return handled;
	}
	loops++;
	levels++;
	bool handled = false;
	while (!quit_requested && !trampoline::escaped()) {
		if (nothing_to_wait_for() && !g_main_context_pending(context)) break;
		if (g_main_context_iteration(context, TRUE)) handled = true;
	}
	levels--;
	if (quit_requested) {
		quit_requested = false;
		exits_owed = std::max(0, exits_owed - 1);
		if (exits_owed > 0) quit_requested = true;  // the next outer level ends too
	}
	trampoline::resume();
	return handled;
}

void quit() {
	quit_requested = true;
	g_main_context_wakeup(g_main_context_default());
}

// Only running loops can be owed an exit: a window that owned a loop
// already ended (or closed outside any loop) must not end a later one.
void owner_closed() {
	if (exits_owed >= levels) return;
	loops--;
	exits_owed++;
}

void set_timer(backend::View& view, uint32_t period_ms) {
	if (view.timer) {
		g_source_remove(view.timer);
		view.timer = 0;
		timers--;
	}
	view.period_ms = period_ms;
	if (!period_ms) return;
	period_ms = std::max(period_ms, MIN_PERIOD_MS);
	// A timer does not fire inside a loop nested in its own actor: GLib
	// holds a source while its callback runs (the other timers go on).
	view.timer = g_timeout_add(period_ms, on_timer, GINT_TO_POINTER(view.slot));
	timers++;
}

int32_t loop_count() { return loops; }
int32_t exit_count() { return exits_owed; }
int32_t depth() { return levels; }

}  // namespace vyn::event_loop
