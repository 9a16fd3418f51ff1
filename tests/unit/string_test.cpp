#include "runtime/datatypes/string.h"

#include <gtest/gtest.h>

#include "runtime/evaluator/stack.h"

using namespace vyn;

namespace {

class StringBasics : public ::testing::Test {
protected:
	void SetUp() override {
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		stack::init();
	}
	static std::u32string text(Cell* s) {
		std::u32string out;
		uint32_t w = string::width_of(s);
		for (uint8_t* p = string::vs_head(s); p < string::vs_tail(s); p += w) out += char32_t(unicode::get_unit(p, w));
		return out;
	}
};

TEST_F(StringBasics, AppendCharWidensAboveAscii) {
	struct Case {
		uint32_t cp;
		uint32_t width;
	} cases[] = {{'a', 1}, {0x7F, 1}, {0xE9, 2}, {0x100, 2}, {0xFFFF, 2}, {0x10000, 4}, {0x1F600, 4}};
	for (const Case& c : cases) {
		Cell s;
		string::make_at(&s, 4);
		string::append_literal(&s, "ab");
		string::append_char(&s, c.cp);
		EXPECT_EQ(string::width_of(&s), c.width) << std::hex << c.cp;
		EXPECT_EQ(text(&s), (std::u32string{U'a', U'b', char32_t(c.cp)}));
	}
}

TEST_F(StringBasics, AppendStringToItselfDoublesTheText) {
	Cell s;
	string::load_at(&s, "h\xC3\xA9!");
	ASSERT_EQ(string::width_of(&s), 1u) << "loads keep width 1 up to 0xFF";
	string::append_string(&s, &s, -1);
	EXPECT_EQ(text(&s), U"h\u00e9!h\u00e9!");
}

TEST_F(StringBasics, AppendUtf8AndTruncate) {
	Cell s;
	string::make_at(&s, 1);
	std::string_view src = "x\xE2\x82\xAC\xF0\x9F\x98\x80y";
	string::append_utf8(&s, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()));
	EXPECT_EQ(text(&s), U"x\u20ac\U0001F600y");
	string::truncate(&s, 2);
	EXPECT_EQ(text(&s), U"x\u20ac");
	string::truncate(&s, 5);
	EXPECT_EQ(string::vs_length(&s), 2u) << "never moves the tail forward";
}

}  // namespace
