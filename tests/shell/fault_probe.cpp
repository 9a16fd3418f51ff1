// A program that links the runtime and ends in one of the ways the runtime
// must report: `fault_probe <how>`. It runs with the handlers vyn installs.
#include <sys/mman.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "boot/boot.h"
#include "boot/repl.h"
#include "runtime/context.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/platform_exit.h"

namespace {

using namespace vyn;

// The faults are meant: the sanitizers must not report them first.
#define RAW_FAULT __attribute__((noinline, no_sanitize("address", "undefined")))

RAW_FAULT int write_through_null() {
	volatile int* volatile p = nullptr;
	*p = 1;
	return 0;
}

RAW_FAULT int write_read_only_page() {
	void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	if (page == MAP_FAILED) return 2;
	*static_cast<volatile int*>(page) = 1;
	return 0;
}

RAW_FAULT int divide_by_zero() {
	volatile int a = 1, b = 0;
	return a / b;
}

RAW_FAULT int recurse(int depth) {
	volatile char frame[256];
	frame[0] = char(depth);
	if (depth < 0) return 0;  // never: the stack runs out first
	return recurse(depth + 1) + frame[0];
}

int exhaust_memory() {
#if defined(__SANITIZE_ADDRESS__)
	// The sanitizer's allocator reports a failure itself, before operator new
	// would call the handler; call it as operator new does.
	std::get_new_handler()();
	return 0;
#else
	// Larger than any machine's memory and address space allows.
	void* p = ::operator new(size_t(1) << 62);
	std::printf("%p\n", p);
	return 0;
#endif
}

// A routine whose body leaves with a throw code nothing catches.
void native_throw() { throw Throw{0x1234}; }

int uncaught_native_throw() {
	boot::init_runtime();
	repl::install_print_hooks();
	const char* spec = "[[]]";
	Cell* top = stack::top;
	Cell* loaded = stack::push(lexer::load(reinterpret_cast<const uint8_t*>(spec), uint32_t(std::strlen(spec))));
	Cell spec_block = *memory::buffer_of(loaded)->head_cell();
	Cell none{T_NONE, 0, 0, 0}, value;
	routine::push(&spec_block, &none, routine::register_entry(native_throw), 0, false, &value);
	Cell word = *word::load("native-throw");
	context::set(&word, &value);
	stack::top = top;
	return repl::run_script("Vyn [] print \"before\" native-throw print \"after\"");
}

}  // namespace

int main(int argc, char** argv) {
	platform::install_exit_handlers();
	std::string how = argc > 1 ? argv[1] : "";
	std::printf("started\n");  // must be flushed by every exit that can flush
	if (how == "null") return write_through_null();
	if (how == "read-only") return write_read_only_page();
	if (how == "divide") return divide_by_zero();
	if (how == "stack") return recurse(0);
	if (how == "memory") return exhaust_memory();
	if (how == "throw") return uncaught_native_throw();
	std::fprintf(stderr, "usage: fault_probe null|read-only|divide|stack|memory|throw\n");
	return 2;
}
