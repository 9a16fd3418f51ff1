#include "gui/backend/trampoline.h"

#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"

namespace vyn::trampoline {

namespace {

// THROW_NONE: nothing kept.
uint32_t kept = THROW_NONE;
// A break or return that left the function: errors::pending stays set.
bool kept_pending = false;

}  // namespace

bool run(void (*body)(void* data), void* data) {
	if (kept != THROW_NONE || kept_pending) return false;
	try {
		body(data);
		if (errors::pending) {
			kept_pending = true;
			return false;
		}
		return true;
	} catch (const Throw& t) {
		kept = t.code;
		return false;
	}
}

bool call(const Cell* fn, const Cell* args, uint32_t count, Cell* out) {
	static uint32_t name_symbol = symbol::make("awake");
	struct Call {
		const Cell* fn;
		const Cell* args;
		uint32_t count;
		Cell name;
		Cell* out;
	} c{fn, args, count, Cell{T_WORD, 0, name_symbol, 0xFFFFFFFFu}, out};
	cell::make_none(out);
	return run([](void* p) {
		auto* c = static_cast<Call*>(p);
		interpreter::call_for_value(c->fn, c->args, c->count, &c->name, c->out);
	}, &c);
}

bool escaped() { return kept != THROW_NONE || kept_pending; }

void resume() {
	kept_pending = false;
	if (kept == THROW_NONE) return;
	uint32_t code = kept;
	kept = THROW_NONE;
	throw Throw{code};
}

}  // namespace vyn::trampoline
