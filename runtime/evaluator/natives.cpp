#include "runtime/evaluator/natives.h"

#include "runtime/errors.h"

namespace vyn::natives {

Entry table[TABLE_SIZE];

namespace {

// A slot whose family of natives is not part of the runtime yet.
void not_done(bool, const int32_t*) { errors::fire(errors::id::internal_not_done); }

}  // namespace

void set(Slot slot, Entry entry) { table[slot - 1] = entry; }

void init() {
	for (int i = 0; i < NATIVE_COUNT; i++) table[i] = not_done;
	register_control();
	register_evaluation();
	register_comparison();
	register_print();
	register_math();
	register_series();
	register_system();
	register_parse();
}

}  // namespace vyn::natives
