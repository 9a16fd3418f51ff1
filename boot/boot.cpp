#include "boot/boot.h"

#include <cstdio>

#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

namespace vyn::boot {

void init_runtime() {
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
}

int run(int, char**) {
	try {
		init_runtime();
	} catch (const Throw& t) {
		std::fprintf(stderr, "*** Runtime Error: start-up failed (code %u)\n", t.code);
		return 1;
	}
	return 0;
}

}  // namespace vyn::boot
