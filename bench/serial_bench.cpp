// The serialiser on a mixed corpus: 1M small and large integers, 200k short
// strings, 100k nested blocks, and the library's boot image; each encoded
// (compact) and decoded, best of several runs, in wall time and in user
// CPU time (the latter leaves out the kernel's work of mapping fresh pages,
// which dominates on a loaded virtual machine). Prints one line per case:
//   <case> <encode s> <decode s> <encode user s> <decode user s> <bytes>
// then the boot image's decode alone (wall, user). With an argument, also writes the
// corpus as Python literals to that file, for bench/serial_compare.py,
// which times CPython's marshal and pickle on the same data.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
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

constexpr int RUNS = 7;

using Clock = std::chrono::steady_clock;

struct Times {
	double wall = 1e9;
	double user = 1e9;
};

double user_seconds() {
	rusage u;
	getrusage(RUSAGE_THREAD, &u);
	return double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) * 1e-6;
}

template <typename F>
Times best(F f) {
	Times t;
	for (int i = 0; i < RUNS; i++) {
		double user = user_seconds();
		auto start = Clock::now();
		f();
		t.wall = std::min(t.wall, std::chrono::duration<double>(Clock::now() - start).count());
		t.user = std::min(t.user, user_seconds() - user);
		collector::run();
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

void measure(const char* name, uint32_t at) {
	std::vector<uint8_t> bytes = serial_writer::encode_bytes(root_at(at), true);
	Times encode = best([&] {
		Cell out;
		serial_writer::encode(root_at(at), true, &out);
	});
	Times decode = best([&] {
		Cell b;
		block::make_at(&b, 1);
		stack::push(&b);
		serial_reader::decode(bytes.data(), bytes.size(), &b, serial_reader::Mode::codec);
		stack::pop(1);
	});
	std::printf("%s %.6f %.6f %.6f %.6f %zu\n", name, encode.wall, decode.wall, encode.user, decode.user, bytes.size());
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
	uint32_t ints = integers(), smalls = small_integers(), strs = strings(), blocks = nested(), img = image();
	measure("integers", ints);
	measure("small-integers", smalls);
	measure("strings", strs);
	measure("nested-blocks", blocks);
	measure("library-image", img);
	size_t size = size_t(vyn_boot_image_end - vyn_boot_image);
	Times boot = best([&] {
		Cell b;
		block::make_at(&b, 1);
		stack::push(&b);
		serial_reader::decode(vyn_boot_image, size, &b, serial_reader::Mode::boot);
		stack::pop(1);
	});
	std::printf("image-decode %.6f %.6f %zu\n", boot.wall, boot.user, size);
	if (argc > 1) {
		std::string text = "import sys\nimage = ";
		python_literal(block::vs_abs_at(root_at(img), 0), text);
		text += "\n";
		std::ofstream(argv[1]) << text;
	}
	return 0;
}
