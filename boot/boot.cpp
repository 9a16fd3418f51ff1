#include "boot/boot.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "boot/repl.h"
#include "gui/backend/engine_entries.h"
#include "gui/backend/platform_routines.h"
#include "boot/types.h"
#include "gui/backend/gtk/clipboard.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/extended_loaders.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/library_entries.h"
#include "runtime/evaluator/reactivity.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"
#include "runtime/evaluator/type_tests.h"
#include "runtime/externals.h"
#include "runtime/io/clipboard.h"
#include "runtime/io/http.h"
#include "runtime/io/serial_reader.h"
#include "runtime/io/simple_io.h"
#include "runtime/memory.h"
#include "runtime/platform.h"
#include "runtime/platform_exit.h"
#include "runtime/print_hooks.h"
#include "runtime/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/word.h"
#include "runtime/io/os_info.h"
#include "runtime/symbol.h"

// The boot image, linked into the programs that boot the library (boot/
// image_data.cpp); absent from the runtime library itself, which the image
// builder links.
extern "C" {
extern const uint8_t vyn_boot_image[] __attribute__((weak));
extern const uint8_t vyn_boot_image_end[] __attribute__((weak));
}

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
void run_source(Cell block) {
	stack::reset_all();
	Cell name{T_WORD, 0, stack::body_symbol, 0xFFFFFFFFu};
	stack::mark_try_all(&name);
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

// The image is a block of file name and loaded source pairs, evaluated in
// order. The block stays in the root block, whose buffer may move while a
// source runs: it is found again by position each time.
void run_library() {
	define_make();
	if (!vyn_boot_image) {
		std::fprintf(stderr, "*** Boot Error: no boot image\n");
		std::exit(1);
	}
	Cell* decoded = serial_reader::boot_load(vyn_boot_image, size_t(vyn_boot_image_end - vyn_boot_image));
	uint32_t at = uint32_t(decoded - memory::buffer_of(context::root)->head_cell());
	auto groups = [at] { return block::vs_abs_at(memory::buffer_of(context::root)->head_cell() + at, 0); };
	if (block::length(decoded) != 1 || !cell::is(groups(), T_BLOCK)) {
		std::fprintf(stderr, "*** Boot Error: the boot image holds no source block\n");
		std::exit(1);
	}
	uint32_t count = block::length(groups());
	for (uint32_t i = 0; i + 1 < count; i += 2) {
		Cell* pair = block::vs_abs_at(groups(), i);
		Cell name = pair[0];
		Cell source = pair[1];
		try {
			run_source(source);
		} catch (const Throw& t) {
			std::string file = simple_io::utf8_text(&name);
			std::fprintf(stderr, "*** Loading Error: %s failed (code %u)\n", file.c_str(),
				t.code == THROW_ERROR ? errors::code_of(stack::get_top()) : t.code);
			throw;
		}
	}
}

// The start-up's own value: handles cannot be written in source.
void define_null_handle() {
	Cell* saved = stack::top;
	Cell null;
	handle::make_at(&null, -1, handle::NULL_CLASS);
	Cell word = *word::load("null-handle");
	context::set(&word, &null);
	stack::top = saved;
}

void start_modules() {
	dyn_print::init();
	platform::init();
	memory::free_all();
	memory::init();
	externals::init();
}

void register_datatypes() {
	types::register_all();
	actions::init();
}

void make_heap() {
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
}

void start_evaluator() {
	natives::init();
	lexer::init();
	lexer::install_extended_loaders();
	simple_io::init();
	http::init();
	clipboard::init();
	gtk_clipboard::install();
	interpreter::init();
}

void define_routines() {
	routines::define_all();
	repl::install_input();  // the console's front-end routines, which the console's sources take
	define_null_handle();
	type_tests::define_all();
	collector::init();
	collector::active = true;
}

// event! belongs to the GUI engine: it registers after every other type and
// the routines, in every mode (a headless run makes and reads events too),
// before the library sources that use it; the GUI backend's routines with it.
void register_events() {
	event::init_type();
	platform_routines::define_all();
}

void start_library() {
	// Objects the library makes at start-up take the ids kept for them;
	// run-time objects count from FIRST_CLASS_ID.
	object::last_class_id = object::FIRST_BOOT_CLASS_ID - 1;
	function::boot_no_trace = true;
	run_library();
	function::boot_no_trace = false;
	library_entries::install();
	reactivity::install();
	engine_entries::install();
	object::last_class_id = object::FIRST_CLASS_ID;
	collector::boot_done();
}

}  // namespace

const BootStep boot_steps[] = {
	{"modules", start_modules},
	{"datatypes", register_datatypes},
	{"heap", make_heap},
	{"words", types::init_words},
	{"evaluator", start_evaluator},
	{"routines", define_routines},
	{"events", register_events},
	{"library", start_library},
};
const int boot_step_count = int(std::size(boot_steps));

void init_runtime() {
	for (const BootStep& step : boot_steps) step.run();
}

// The library is the last step.
void init_core() {
	for (int i = 0; i < boot_step_count - 1; i++) boot_steps[i].run();
}

int run(int argc, char** argv) {
	platform::install_exit_handlers();
	platform::set_arguments(argc, argv);
	int status = 0;
	try {
		init_runtime();
		repl::install_print_hooks();
		status = repl::launch();
	} catch (const Throw& t) {
		// Only the start-up lets an error through, after reporting it.
		if (t.code == THROW_ERROR) status = platform::EXIT_UNCAUGHT_ERROR;
		else if (t.code != THROW_QUIT) platform::fatal_error(platform::EXIT_UNCAUGHT_THROW);
	}
	platform::flush_stdout();
	return status;
}

}  // namespace vyn::boot
