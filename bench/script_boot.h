// Boots the whole runtime for the benchmarks that time Vyn source, once, and
// evaluates source text in the global context.
#pragma once

#include <string_view>

#include "boot/boot.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"

namespace vyn::bench {

// Evaluates source text in the global context; the stack is left as found.
inline void run(std::string_view source) {
	Cell* top = stack::top;
	Cell block = *lexer::load(reinterpret_cast<const uint8_t*>(source.data()), uint32_t(source.size()));
	interpreter::eval(&block, false);
	stack::top = top;
}

// Boots the runtime and runs `setup` the first time only.
inline void boot_script(std::string_view setup) {
	static bool done = false;
	if (done) return;
	done = true;
	boot::init_runtime();
	run(setup);
}

}  // namespace vyn::bench
