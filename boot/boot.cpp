#include "boot/boot.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "boot/boot_sources.h"
#include "boot/repl.h"
#include "boot/types.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/extended_loaders.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"
#include "runtime/externals.h"
#include "runtime/io/simple_io.h"
#include "runtime/memory.h"
#include "runtime/platform.h"
#include "runtime/print_hooks.h"
#include "runtime/context.h"
#include "runtime/datatypes/native.h"
#include "runtime/symbol.h"

namespace vyn::boot {

namespace {

// Moves a loaded script past its header: the word Vyn and a block.
void skip_header(Cell* block) {
	Series* s = memory::buffer_of(block);
	Cell* head = s->head_cell() + block->data1;
	if (s->tail_cell() - head >= 2 && cell::is(head, T_WORD) && symbol::name(head->data2) == "Vyn" &&
		cell::is(head + 1, T_BLOCK))
		block->data1 += 2;
}

// Evaluates one library source in the global context; a failure is fatal.
void run_source(const BootSource& src) {
	stack::reset_all();
	Cell name{T_WORD, 0, stack::body_symbol, 0xFFFFFFFFu};
	stack::mark_try_all(&name);
	Cell block = *lexer::load(reinterpret_cast<const uint8_t*>(src.text), uint32_t(std::strlen(src.text)));
	skip_header(&block);
	interpreter::eval(&block, true);
	stack::reset_all();
}

// `make` exists before the library, which makes every other native and
// action with it.
void define_make() {
	const char* spec = "[\"Makes a value of a type from a spec\" type [any-type!] spec [any-type!]]";
	Cell* block = lexer::load(reinterpret_cast<const uint8_t*>(spec), uint32_t(std::strlen(spec)));
	Cell spec_block = *memory::buffer_of(block)->head_cell();
	Cell make;
	native::make_entry(&make, T_ACTION, &spec_block, A_MAKE - 1);
	Cell* word = context::add_global(symbol::make("make"));
	context::set(word, &make);
	stack::reset_all();
}

void run_library() {
	define_make();
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
	return repl::run_script(text.str());
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
	lexer::install_extended_loaders();
	simple_io::init();
	interpreter::init();
	routines::define_all();
	collector::init();
	collector::active = true;
	run_library();
	collector::boot_done();
}

int run(int argc, char** argv) {
	try {
		init_runtime();
		repl::install_print_hooks();
		if (argc > 1) return run_script(argv[1]);
		return repl::run_stdin();
	} catch (const Throw& t) {
		if (t.code == THROW_QUIT) return 0;
		std::fprintf(stderr, "*** Runtime Error 95: no CATCH for THROW\n");
		return 95;
	}
}

}  // namespace vyn::boot
