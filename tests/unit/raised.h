// Test support: runs code under a try frame and answers the code of the
// language error it raised, 0 when it raised none. Needs stack::init().
#pragma once

#include <cstdint>

#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"

namespace vyn::test {

template <class F>
uint32_t raised(F&& run) {
	stack::Frame* frames = stack::frames_top;
	Cell* top = stack::top;
	Cell* arguments = stack::arguments;
	stack::mark_symbol(0, stack::OPEN_TRY);
	uint32_t code = 0;
	try {
		run();
	} catch (const Throw&) {
		code = errors::code_of(stack::get_top());
	}
	stack::frames_top = frames;
	stack::top = top;
	stack::arguments = arguments;
	return code;
}

}  // namespace vyn::test
