// Helpers shared by the text tests: a fresh heap and stacks per test,
// string values built from codepoints, and catching raised errors.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/unicode.h"

namespace vyn::test {

using Bytes = std::vector<uint8_t>;

class TextTest : public ::testing::Test {
protected:
	void SetUp() override {
		memory::init();
		stack::init();
	}
	void TearDown() override {
		stack::reset_all();
		memory::free_all();
	}
};

// A string! value holding `text` at `width`, head 0, no scratch buffer.
inline Cell make_string(const std::u32string& text, uint32_t width, Type type = T_STRING) {
	Node node = memory::alloc_series(uint32_t(text.size()), width, 0);
	Series* s = memory::series(node);
	for (size_t i = 0; i < text.size(); i++) unicode::put_unit(s->data() + i * width, width, text[i]);
	s->tail = uint32_t(text.size()) * width;
	Cell c;
	cell::set(&c, type, 0, node, 0);
	return c;
}

// The codepoints of a buffer from its first unit.
inline std::u32string text_of(Node node) {
	Series* s = memory::series(node);
	std::u32string out;
	for (uint32_t i = 0; i < unicode::unit_count(s); i++) out += char32_t(unicode::get_unit(unicode::unit_at(s, i), s->unit()));
	return out;
}

// The first argument of the last error raised, kept by the hook below.
inline Cell last_error_arg;
inline bool last_error_has_arg;

// Runs `f` inside a try frame; answers the code of the error it raised, or
// 0 when it raised none.
template <typename F>
uint32_t raised(F f) {
	errors::MakeHook saved_hook = errors::make_hook;
	errors::make_hook = [](errors::Id id, const Cell* arg1, const Cell*, const Cell*, Cell* out) {
		last_error_has_arg = arg1 != nullptr;
		if (arg1) last_error_arg = *arg1;
		cell::set(out, T_ERROR, 0, id.code());
	};
	stack::Frame* frames = stack::frame_top();
	uint32_t code = 0;
	stack::mark_try(nullptr);
	try {
		f();
	} catch (const Throw&) {
		code = errors::code_of(stack::get_top());
	}
	stack::set_frame_top(frames);
	stack::reset_all();
	errors::make_hook = saved_hook;
	return code;
}

inline Bytes bytes_of(Node node) {
	Series* s = memory::series(node);
	return Bytes(s->head_ptr(), s->tail_ptr());
}

}  // namespace vyn::test
