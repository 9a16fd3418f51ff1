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

bool call(const Cell* fn, const Cell* args, uint32_t count, Cell* out) {
	if (kept != THROW_NONE || kept_pending) return false;  // an exit is on its way out: run nothing
	static uint32_t name_symbol = symbol::make("awake");
	Cell name{T_WORD, 0, name_symbol, 0xFFFFFFFFu};
	cell::make_none(out);
	try {
		interpreter::call_for_value(fn, args, count, &name, out);
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

bool escaped() { return kept != THROW_NONE || kept_pending; }

void resume() {
	kept_pending = false;
	if (kept == THROW_NONE) return;
	uint32_t code = kept;
	kept = THROW_NONE;
	throw Throw{code};
}

}  // namespace vyn::trampoline
