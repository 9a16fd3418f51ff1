#include "boot/boot.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "boot/boot_sources.h"
#include "boot/repl.h"
#include "boot/types.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/externals.h"
#include "runtime/memory.h"
#include "runtime/platform.h"
#include "runtime/print_hooks.h"

namespace vyn::boot {

namespace {

// Evaluates one library source in the global context; a failure is fatal.
void run_source(const BootSource& src) {
	stack::reset_all();
	Cell* code = stack::alloc_slot();
	lexer::load_utf8(reinterpret_cast<const uint8_t*>(src.text), uint32_t(std::strlen(src.text)), code);
	Cell block = *code;
	interpreter::eval(&block, true);
	stack::reset_all();
}

void run_library() {
	for (int i = 0; i < boot_source_count; i++) {
		try {
			run_source(boot_sources[i]);
		} catch (const Throw& t) {
			std::fprintf(stderr, "*** Loading Error: %s failed (code %u)\n", boot_sources[i].name,
				t.code == THROW_ERROR ? errors::code_of(stack::get_top()) : t.code);
			throw;
		}
	}
}

int run_script(const char* path) {
	std::ifstream in(path, std::ios::binary);
	if (!in) {
		std::fprintf(stderr, "*** Access Error: cannot open: %s\n", path);
		return 1;
	}
	std::stringstream text;
	text << in.rdbuf();
	(void)text;
	return repl::run_stdin();
}

}  // namespace

void init_runtime() {
	dyn_print::init();
	platform::init();
	memory::free_all();
	memory::init();
	externals::init();
	types::register_all();
	actions::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
	types::init_words();
	natives::init();
	lexer::init();
	interpreter::init();
	run_library();
}

int run(int argc, char** argv) {
	try {
		init_runtime();
		if (argc > 1) return run_script(argv[1]);
		return repl::run_stdin();
	} catch (const Throw& t) {
		if (t.code == THROW_QUIT) return 0;
		std::fprintf(stderr, "*** Runtime Error 95: no CATCH for THROW\n");
		return 95;
	}
}

}  // namespace vyn::boot
