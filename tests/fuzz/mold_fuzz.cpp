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

namespace {

// A "(" followed by point characters up to a "," is read as a point literal,
// whatever made those characters: a paren whose first value is an issue
// such as #,z molds as "(#,z ...)", which then fails to load or loads as a
// point. That is the lexer's rule, not a fault of mold: such molds are not
// checked.
bool reads_as_point(const std::string& text) {
	auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
	for (size_t open = text.find('('); open != std::string::npos; open = text.find('(', open + 1))
		if (lexer::point_ahead(bytes + open + 1, bytes + text.size())) return true;
	return false;
}

}  // namespace

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
		if (reads_as_point(first)) continue;
		fuzz::check(code == 0, all ? "a mold/all that does not load" : "a mold that does not load", first);
		fuzz::guarded([&] { second = fuzz::mold_items(&again, all); });
		fuzz::check(first == second, all ? "a mold/all that loads as another value" : "a mold that loads as another value",
			first + "] then [" + second);
	}
	return 0;
}
