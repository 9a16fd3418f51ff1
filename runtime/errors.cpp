#include "runtime/errors.h"

#include "runtime/evaluator/stack.h"

namespace vyn::errors {

uint32_t pending = THROW_NONE;

namespace {

// Until the error! datatype installs its builder: a bare error cell whose
// word 2 carries the code.
void make_bare(Id id, const Cell*, const Cell*, const Cell*, Cell* out) {
	cell::set(out, T_ERROR, 0, id.code());
}

}  // namespace

MakeHook make_hook = make_bare;

void fire(Id id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
	Cell error;
	make_hook(id, arg1, arg2, arg3, &error);
	stack::throw_error(&error);
}

uint32_t code_of(const Cell* error) { return error->data2; }

}  // namespace vyn::errors
