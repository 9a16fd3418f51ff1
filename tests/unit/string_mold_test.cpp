#include <gtest/gtest.h>

#include "tests/unit/string_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class StringMold : public StringTest {};

TEST_F(StringMold, QuotedEscapes) {
	struct Case {
		std::u32string text;
		uint32_t width;
		bool all;
		const char* mold;
	} cases[] = {
		{U"abc", 1, false, "\"abc\""},
		{U"a\tb\nc", 1, false, "\"a^-b^/c\""},
		{std::u32string(1, 0), 1, false, "\"^@\""},
		{U"\x01\x08\x0B\x1A\x1B\x1C\x1D\x1F", 1, false, "\"^A^H^K^Z^[^\\^]^_\""},
		{U"\x1E", 1, false, "\"^(1E)\""},
		{U"\x7F", 1, false, "\"^~\""},
		{U"\u0085\u009F", 2, false, "\"^(85)^(9F)\""},
		{U"^", 1, false, "\"^^\""},
		{U"\u00e9\u4E2D", 2, false, "\"\u00e9\u4E2D\""},
		{U"\u00e9\u4E2D\U0001F600", 4, true, "\"^(E9)^(4E2D)^(1F600)\""},
		{U"{x}", 1, false, "\"{x}\""},
		{U"", 1, false, "\"\""},
	};
	for (const Case& c : cases) EXPECT_EQ(molded(wide(c.text, c.width), c.all), c.mold) << c.mold;
}

TEST_F(StringMold, QuotesOrBraces) {
	std::string k49(49, 'k'), k50(50, 'k');
	struct Case {
		std::string text;
		std::string mold;
	} cases[] = {
		{k49, "\"" + k49 + "\""},
		{k50, "{" + k50 + "}"},
		{"say \"hi\"", "{say \"hi\"}"},
		{"a\nb\nc", "\"a^/b^/c\""},
		{"a\nb\nc\n", "{a^/b^/c^/}"},
		{"^\t\x1E", "\"^^^-^(1E)\""},
	};
	for (const Case& c : cases) EXPECT_EQ(molded(str(c.text)), c.mold) << c.text;
}

TEST_F(StringMold, BracesBalanceInBracedForm) {
	struct Case {
		const char* text;
		const char* mold;
	} cases[] = {
		{"\"{a}\"", "{\"{a}\"}"},           // a balanced pair stays plain
		{"\"}a", "{\"^}a}"},                // a closing brace with none open
		{"\"{a {b}", "{\"^{a ^{b^}}"},      // from the unbalanced one on, every opening brace escapes
		{"\"{a} {b", "{\"{a} ^{b}"},        // a later unbalanced one escapes too
		{"\"}{", "{\"^}^{}"},
		{"\"a^b\t", "{\"a^^b^-}"},
	};
	for (const Case& c : cases) EXPECT_EQ(molded(str(c.text)), c.mold) << c.text;
}

TEST_F(StringMold, FormIsTheBareText) {
	EXPECT_EQ(formed(str("a\tb\"c")), "a\tb\"c");
	Cell s = at(str("hello"), 3);
	EXPECT_EQ(formed(s), "llo");
}

TEST_F(StringMold, PartLimits) {
	struct Case {
		const char* text;
		bool mold;
		int32_t limit;
		const char* out;
		int32_t left;
	} cases[] = {
		{"abcdef", false, 4, "abcd", 0},
		{"ab", false, 4, "ab", 2},
		{"abcdef", true, 10, "\"abcdef\"", 2},
		{"a\tb", true, 10, "\"a^-b\"", 4},
		{"abcdef", true, 3, "\"abc\"", -2},
	};
	for (const Case& c : cases) {
		Cell v = str(c.text), out, flag = int_value(c.limit);
		string::make_at(&out, 8);
		int32_t left = c.mold ? actions::mold(&v, &out, false, false, false, &flag, c.limit, 0)
							  : actions::form(&v, &out, &flag, c.limit);
		EXPECT_EQ(utf8(out), c.out) << c.text;
		EXPECT_EQ(left, c.left) << c.text;
	}
}

TEST_F(StringMold, MoldIntoItsOwnBuffer) {
	Cell s = str("a\"b");
	string::mold(&s, &s, false, false, false, nullptr, 0x7FFFFFFF, 0);
	EXPECT_EQ(utf8(s), "a\"b{a\"b}");
}

TEST_F(StringMold, LargeTextsCopyRunsAcrossWidths) {
	std::u32string text;
	for (int i = 0; i < 1000; i++) text += U"ab\u4E2D\n";
	std::string expect = "{";
	for (int i = 0; i < 1000; i++) expect += "ab\u4E2D^/";
	expect += "}";
	EXPECT_EQ(molded(wide(text, 2)), expect);
	EXPECT_EQ(molded(wide(text, 4)), expect);
}

}  // namespace

#include "runtime/evaluator/lexer.h"

namespace {

// What mold writes, read back by the lexer, is the same value.
class MoldLoadsBack : public StringTest {
protected:
	void SetUp() override {
		StringTest::SetUp();
		lexer::init();
	}
	static Cell reloaded(Cell value) {
		std::string text = molded(value);
		Cell* out = stack::alloc_slot();
		lexer::load_value(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), out);
		return *out;
	}
};

TEST_F(MoldLoadsBack, TextsOfEveryKind) {
	std::string long_text(60, 'x');
	struct Case {
		std::u32string text;
		Type type;
	} cases[] = {
		{U"plain", T_STRING},
		{U"tab\there, line\nthere, \"quoted\" and ^caret", T_STRING},
		{U"{a} {b", T_STRING},
		{U"}{ \"", T_STRING},
		{U"{{}}} \"", T_STRING},
		{U"a\nb\nc\nd {x", T_STRING},
		{std::u32string(1, 0) + U"\x1E\x1F\x7F\u0085\u009F\u00A0\u00e9\u4E2D\U0001F600", T_STRING},
		{std::u32string(long_text.begin(), long_text.end()) + U"^}", T_STRING},
		{U"", T_STRING},
		{U"dir/file.txt", T_FILE},
		{U"my file \"1\" ^2^.txt", T_FILE},
		{U"100%/x", T_FILE},
		{U"caf\u00e9/\u4E2D", T_FILE},
		{U"", T_FILE},
		{U"http://a.b/c d?e=\u00e9", T_URL},
		{U"a href=\"x\"", T_TAG},
		{U"joe@example.com", T_EMAIL},
	};
	for (const Case& c : cases) {
		Cell v = wide(c.text, 4, c.type);
		Cell back{};
		uint32_t error = raised([&] { back = reloaded(v); });
		EXPECT_EQ(error, 0u) << molded(v);
		if (error) continue;
		EXPECT_EQ(cell::type_of(&back), c.type) << molded(v);
		if (cell::type_of(&back) != c.type) continue;
		EXPECT_EQ(text_of(back.data2), c.text) << molded(v);
	}
}

}  // namespace

namespace {

class MoldWidths : public StringTest {};

// Latin-1 texts are scanned 16 units at a time, wider ones unit by unit:
// both must write the same.
TEST_F(MoldWidths, LatinTextsMoldAsTheirWideCopies) {
	const char32_t alphabet[] = {U'a', U' ', U'"', U'^', U'{', U'}', U'\n', U'\t', 0x1E, 0x7F, 0x85, 0xA0, 0xE9, 0xFF, 0};
	uint32_t x = 7;
	for (int round = 0; round < 300; round++) {
		std::u32string text;
		x = x * 1103515245u + 12345u;
		uint32_t length = (x >> 16) % 90;
		for (uint32_t i = 0; i < length; i++) {
			x = x * 1103515245u + 12345u;
			uint32_t r = (x >> 16) % 64;
			text += r < 40 ? U'a' + char32_t(r % 26) : alphabet[r % std::size(alphabet)];
		}
		for (bool all : {false, true})
			EXPECT_EQ(molded(wide(text, 1), all), molded(wide(text, 4), all)) << "round " << round;
	}
}

}  // namespace
