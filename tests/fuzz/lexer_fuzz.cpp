// Lexes arbitrary bytes in every mode. Checks: no out-of-bounds access or
// undefined behaviour (sanitizers); the only error any mode raises is a
// syntax error; a scan never reports more than it was given; and whatever
// loads holds only names of whole UTF-8 characters and text of codepoints
// up to U+10FFFF (anything else could not be molded or printed).
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/word.h"
#include "tests/fuzz/fuzz_runtime.h"

using namespace vyn;

namespace {

bool whole_utf8(std::string_view name) {
	auto p = reinterpret_cast<const uint8_t*>(name.data());
	const uint8_t* end = p + name.size();
	while (p < end) {
		int32_t cp;
		p = unicode::detail::decode_sequence<true>(p, end, &cp);
		if (cp < 0) return false;
	}
	return true;
}

void check_values(Cell* block, const std::string& text, int depth) {
	Series* s = memory::buffer_of(block);
	Cell* end = s->tail_cell();
	for (Cell* c = s->head_cell() + block->data1; c < end; c++) {
		Type t = cell::type_of(c);
		if (word::is_any_word(t)) {
			fuzz::check(whole_utf8(symbol::name(c->data2)), "a name that is not whole UTF-8", text);
		} else if (spans::is_any_string(t)) {
			spans::Units u = spans::units_of(c);
			for (uint32_t i = 0; i < u.count; i++)
				fuzz::check(u.at(i) <= unicode::MAX_CODEPOINT,
					"a character past U+10FFFF", text);
		} else if ((spans::is_block_like(t) || (t >= T_PATH && t <= T_GET_PATH)) && depth < 200) {
			check_values(c, text, depth + 1);
		}
	}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
	fuzz::fresh_input();
	std::vector<uint8_t> in(data, data + size);  // exact size: a read past it is caught
	std::string text(data, data + size);
	uint32_t length = uint32_t(size);
	uint32_t code = fuzz::guarded([&] {
		Cell* block = lexer::load(in.data(), length);
		check_values(block, text, 0);
	});
	fuzz::check(code == 0 || fuzz::is_syntax_error(code), "load raised an error that is not a syntax error", text);
	for (lexer::Options o : {lexer::Options{.one_value = true}, lexer::Options{.scan = true},
			 lexer::Options{.prescan = true}, lexer::Options{.one_value = true, .always_block = true}}) {
		uint32_t consumed = 0;
		code = fuzz::guarded([&] {
			Cell* result = stack::alloc_slot();
			lexer::scan(result, in.data(), length, o, &consumed);
		});
		fuzz::check(code == 0 || fuzz::is_syntax_error(code), "a scan raised an error that is not a syntax error", text);
		fuzz::check(consumed <= length, "a scan consumed more than its input", text);
	}
	return 0;
}
