// Boots the pieces of the runtime the value benchmarks need, once.
#pragma once

#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

namespace vyn::bench {

// Memory and stacks, then the given type initialisers.
template <typename... Init>
void boot(Init... init) {
	static bool done = false;
	if (done) return;
	done = true;
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
	(init(), ...);
}

// A new empty heap and empty stacks, for benchmarks that start over.
inline void restart_memory() {
	memory::free_all();
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
}

}  // namespace vyn::bench
