// The serialiser on a mixed corpus: 1M small and large integers, 200k short
// strings, 100k nested blocks, and the library's boot image; each encoded
// (compact) and decoded, best of several runs, in wall time and in the
// thread's CPU time (user and system). What a run leaves is collected
// after its timing stops; each case runs with only its corpus in the heap. Prints one line per case:
//   <case> <encode s> <decode s> <encode cpu s> <decode cpu s> <bytes>
// then the boot image's decode alone: image-decode <wall s> <cpu s> <bytes>.
// With a file argument, also writes the corpus as Python literals there,
// for bench/serial_compare.py, which times CPython's marshal and pickle on
// the same data. `--profile <case> encode|decode` repeats one operation
// for three seconds instead, for a profiler.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "boot/boot.h"
#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/io/serial_reader.h"
#include "runtime/io/serial_writer.h"
#include "runtime/io/simple_io.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"

extern "C" {
extern const uint8_t vyn_boot_image[];
extern const uint8_t vyn_boot_image_end[];
}

using namespace vyn;

namespace {

constexpr int RUNS = 15;

using Clock = std::chrono::steady_clock;

struct Times {
	double wall = 1e9;
	double cpu = 1e9;
};

double cpu_seconds() {
	timespec t;
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
	return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Between runs, untimed: a collection, so that the next run finds the room
// the last one's values took free again (as a program that drops its
// results does, and as the peers' allocators give it back at once).
void collect() { collector::run(); }

template <typename F>
Times best(F f) {
	Times t;
	for (int i = 0; i < RUNS; i++) {
		double cpu = cpu_seconds();
		auto start = Clock::now();
		f();
		t.wall = std::min(t.wall, std::chrono::duration<double>(Clock::now() - start).count());
		t.cpu = std::min(t.cpu, cpu_seconds() - cpu);
		collect();
	}
	return t;
}

// A new block kept in the root block; answers its position there.
uint32_t rooted_block(uint32_t capacity) {
	block::make_in(context::root, int32_t(capacity));
	return memory::buffer_of(context::root)->used() / sizeof(Cell) - 1;
}
Cell* root_at(uint32_t k) { return memory::buffer_of(context::root)->head_cell() + k; }

uint32_t integers() {
	uint32_t at = rooted_block(1000000);
	for (uint32_t i = 0; i < 1000000; i++) {
		Cell n;
		int32_t v = i % 2 ? int32_t(i * 2654435761u) : int32_t(i % 64);
		cell::make_integer(&n, v);
		block::append_value(root_at(at), &n);
	}
	return at;
}

uint32_t small_integers() {
	uint32_t at = rooted_block(1000000);
	for (uint32_t i = 0; i < 1000000; i++) {
		Cell n;
		cell::make_integer(&n, int32_t(i % 64));
		block::append_value(root_at(at), &n);
	}
	return at;
}

uint32_t strings() {
	uint32_t at = rooted_block(200000);
	for (uint32_t i = 0; i < 200000; i++) {
		Cell s;
		string::load_at(&s, "item-" + std::to_string(i));
		block::append_value(root_at(at), &s);
	}
	return at;
}

// [i [i]] a hundred thousand times.
uint32_t nested() {
	uint32_t at = rooted_block(100000);
	for (uint32_t i = 0; i < 100000; i++) {
		Cell n;
		cell::make_integer(&n, int32_t(i));
		Cell outer, inner;
		block::make_at(&outer, 2);
		block::append_value(root_at(at), &outer);
		Cell* o = block::vs_abs_at(root_at(at), i);
		block::append_value(o, &n);
		block::make_at(&inner, 1);
		block::append_value(o, &inner);
		block::append_value(block::vs_abs_at(o, 1), &n);
	}
	return at;
}

uint32_t image() {
	uint32_t at = rooted_block(1);
	serial_reader::decode(vyn_boot_image, size_t(vyn_boot_image_end - vyn_boot_image), root_at(at),
		serial_reader::Mode::codec);
	return at;
}

void encode(uint32_t at) {
	Cell out;
	serial_writer::encode(root_at(at), true, &out);
}

void decode(const std::vector<uint8_t>& bytes, serial_reader::Mode mode = serial_reader::Mode::codec) {
	Cell b;
	block::make_at(&b, 1);
	stack::push(&b);
	serial_reader::decode(bytes.data(), bytes.size(), &b, mode);
	stack::pop(1);
}

void measure(const char* name, uint32_t at) {
	std::vector<uint8_t> bytes = serial_writer::encode_bytes(root_at(at), true);
	Times enc = best([&] { encode(at); });
	Times dec = best([&] { decode(bytes); });
	std::printf("%s %.6f %.6f %.6f %.6f %zu\n", name, enc.wall, dec.wall, enc.cpu, dec.cpu, bytes.size());
}

struct Case {
	const char* name;
	uint32_t (*make)();
};

constexpr Case CASES[] = {
	{"integers", integers}, {"small-integers", small_integers}, {"strings", strings},
	{"nested-blocks", nested}, {"library-image", image},
};

int profile(const char* name, const char* operation) {
	for (const Case& c : CASES) {
		if (std::strcmp(c.name, name) != 0) continue;
		uint32_t at = c.make();
		std::vector<uint8_t> bytes = serial_writer::encode_bytes(root_at(at), true);
		bool enc = std::strcmp(operation, "encode") == 0;
		auto until = Clock::now() + std::chrono::seconds(3);
		while (Clock::now() < until) {
			if (enc)
				encode(at);
			else
				decode(bytes);
			collect();
		}
		return 0;
	}
	std::fprintf(stderr, "no case %s\n", name);
	return 1;
}

// Python literals of the values the corpus holds: words and other values
// without a Python kind become their names or molded texts.
void python_literal(const Cell* v, std::string& out) {
	switch (cell::type_of(v)) {
	case T_INTEGER: out += std::to_string(cell::get_integer(v)); return;
	case T_BLOCK: case T_PAREN: case T_PATH: case T_SET_PATH: case T_GET_PATH: case T_LIT_PATH: {
		out += '[';
		Series* s = memory::buffer_of(v);
		for (Cell* c = s->head_cell(); c < s->tail_cell(); c++) {
			python_literal(c, out);
			out += ',';
		}
		out += ']';
		return;
	}
	case T_WORD: case T_SET_WORD: case T_GET_WORD: case T_LIT_WORD: case T_REFINEMENT: case T_ISSUE:
		out += "sys.intern('" + std::string(symbol::name(v->data2)) + "')";
		return;
	case T_STRING: case T_FILE: {
		Cell c = *v;
		std::string text = simple_io::utf8_text(&c);
		out += "bytes.fromhex('";
		static const char* digits = "0123456789abcdef";
		for (unsigned char ch : text) {
			out += digits[ch >> 4];
			out += digits[ch & 15];
		}
		out += "').decode()";
		return;
	}
	default: out += "None"; return;
	}
}

}  // namespace

int main(int argc, char** argv) {
	boot::init_runtime();
	if (argc == 4 && std::strcmp(argv[1], "--profile") == 0) return profile(argv[2], argv[3]);
	// Each case is measured with only its own corpus in the heap, so that
	// collections cost and come as often as they would for that data.
	for (const Case& c : CASES) {
		uint32_t at = c.make();
		collector::run();
		measure(c.name, at);
		if (argc > 1 && c.make == image) {
			std::string text = "import sys\nimage = ";
			python_literal(block::vs_abs_at(root_at(at), 0), text);
			text += "\n";
			std::ofstream(argv[1]) << text;
		}
		cell::make_none(root_at(at));
		collector::run();
	}
	std::vector<uint8_t> image_bytes(vyn_boot_image, vyn_boot_image_end);
	Times boot = best([&] { decode(image_bytes, serial_reader::Mode::boot); });
	std::printf("image-decode %.6f %.6f %zu\n", boot.wall, boot.cpu, image_bytes.size());
	return 0;
}
