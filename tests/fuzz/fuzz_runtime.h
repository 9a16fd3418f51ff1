// Support for the fuzz targets that run Vyn text: a runtime booted once,
// loading under a try frame, walking loaded values, and their mold.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "boot/boot.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"
#include "runtime/utf8.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/string.h"

namespace vyn::fuzz {

inline void check(bool ok, const char* what, const std::string& text) {
	if (ok) return;
	std::fprintf(stderr, "%s: [%s]\n", what, text.c_str());
	std::abort();
}

// Boots once; between inputs empties the stacks and lets the collector
// reclaim the last input's values (no C++ frame holds one then).
inline void fresh_input() {
	static bool booted = [] {
		boot::init_runtime();
		return true;
	}();
	(void)booted;
	stack::reset_all();
	if (memory::collection_requested && collector::active) collector::run(true);
}

// Runs f under a try frame: 0 when it returned, else the error's code (an
// exit other than an error aborts: no Vyn code runs here).
template <typename F>
uint32_t guarded(F f) {
	stack::reset_all();
	Cell name;
	actions::make_word("try", &name);
	stack::mark_try_all(&name);
	try {
		f();
	} catch (const Throw& t) {
		if (t.code != THROW_ERROR) std::abort();
		uint32_t code = uint32_t(error::code_of(stack::get_top()));
		stack::reset_all();
		return code;
	}
	return 0;
}

inline bool is_syntax_error(uint32_t code) {
	return code >= errors::id::syntax_invalid.code() && code <= errors::id::syntax_bad_char.code();
}

// The UTF-8 of a string value from its head.
inline std::string utf8_of(Cell* text) {
	int32_t count = -1;
	uint8_t* bytes = unicode::to_utf8(text, &count);
	return std::string(reinterpret_cast<char*>(bytes), size_t(count));
}

// Mold of a block's values (no brackets), /all or not.
inline std::string mold_items(Cell* block, bool all) {
	Cell buffer;
	string::make_at(&buffer, 64);
	actions::mold(block, &buffer, true, all, false, nullptr, 0x7FFFFFFF, 0);
	return utf8_of(&buffer);
}

}  // namespace vyn::fuzz
