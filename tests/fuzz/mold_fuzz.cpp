// Loads arbitrary text and molds what loads: the mold must load again, and
// mold the same. Both molds are tried, plain and /all (constructions for
// true, none, datatypes, ...). Text is what the lexer loads, so the values
// are literals only: no function!, object! or other value that mold writes
// as something other than its source, and the check needs no list of
// types to skip. Equal molds rather than equal values: a plain mold of
// #(true) loads back as the word true, which molds the same.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_runtime.h"

using namespace vyn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
	fuzz::fresh_input();
	std::vector<uint8_t> in(data, data + size);
	Cell loaded;
	if (fuzz::guarded([&] { loaded = *lexer::load(in.data(), uint32_t(size)); }) != 0) return 0;
	for (bool all : {false, true}) {
		std::string first, second;
		if (fuzz::guarded([&] { first = fuzz::mold_items(&loaded, all); }) != 0) continue;  // e.g. too deep
		Cell again;
		uint32_t code = fuzz::guarded([&] {
			again = *lexer::load(reinterpret_cast<const uint8_t*>(first.data()), uint32_t(first.size()));
		});
		fuzz::check(code == 0, all ? "a mold/all that does not load" : "a mold that does not load", first);
		fuzz::guarded([&] { second = fuzz::mold_items(&again, all); });
		fuzz::check(first == second, all ? "a mold/all that loads as another value" : "a mold that loads as another value",
			first + "] then [" + second);
	}
	return 0;
}
