// Source text to loaded values.
#include "tests/unit/lexer_support.h"

using namespace vyn;

namespace {

using Lexer = vyn::test::LexerTest;

TEST_F(Lexer, IntegersAndTheirLimits) {
	expect_loads({
		{"0 7 42 -3 +5", "0 7 42 -3 5"},
		{"2147483647", "2147483647"},
		{"2147483648", "2147483648.0"},
		{"-2147483648", "-2147483648"},
		{"-2147483649", "-2147483649.0"},
		{"1'000'000", "1000000"},
		{"00000000001", "1.0"},
		{"0000000001", "1"},
		{"ABh 0Ah 7FFFFFFFh FFFFFFFFh", "171 10 2147483647 -1"},
	});
}

TEST_F(Lexer, FloatsPercentsAndSpecials) {
	expect_loads({
		{"1.5 .5 -.5 1. 0.1", "1.5 0.5 -0.5 1.0 0.1"},
		{"1e3 1E3 1.5e-3 2e+2", "1000.0 1000.0 0.0015 200.0"},
		{"1'000.5", "1000.5"},
		{"50% 12.5% 1e2%", "0.5(%) 0.125(%) 1.0(%)"},
		{"1.#INF -1.#inf 1.#nan", "1.#INF -1.#INF 1.#NaN"},
		{"1.7976931348623157e308", "1.7976931348623157e308"},
	});
}

TEST_F(Lexer, Times) {
	expect_loads({
		{"1:30", "time:5400.0"},
		{"1:30.5", "time:90.5"},
		{"1:2:60", "time:3780.0"},
		{"1:60", "time:7200.0"},
		{"-1:30", "time:-5400.0"},
		{"10:00:00.25", "time:36000.25"},
		{"0:0,5", "time:0.5"},
		{"2147483647:00", "time:7730941129200.0"},
		{"-2147483648:0", "time:-7730941132800.0"},
		{"0:99999999:59", "time:5999999999.0"},
		{"0:100000000000", "time:6000000000000.0"},
	});
	// Minutes or seconds that add up to more hours than the hour field holds.
	expect_errors({
		{"2147483647:60", "invalid | (line 1) | type:43 | 2147483647:60"},
		{"0:0:7730941132800", "invalid | (line 1) | type:43 | 0:0:7730941132800"},
		{"0:99999999999999", "invalid | (line 1) | type:43 | 0:99999999999999"},
	});
}

TEST_F(Lexer, StringsAndEscapes) {
	expect_loads({
		{R"x("abc" "")x", R"x("abc" "")x"},
		{R"x("a^"b" "^^" "^/" "^-")x", "\"a\"b\" \"^\" \"\n\" \"\t\""},
		{R"x("^(41)^(tab)^(TAB)^(line)^(esc)^(del)^(null)")x", std::string("\"A\t\t\n\x1b\x7f") + '\0' + "\""},
		{R"x("^a^Z^@^~^{^}^1")x", std::string("\"\x01\x1a") + '\0' + "\x7f{}1\""},
		{R"x("^(1F600)" "^(e9)")x", "\"\U0001F600\" \"\u00e9\""},
		{"\"h\u00e9\u20ac\U0001F600\"", "\"h\u00e9\u20ac\U0001F600\""},
		{"{a{b}c}", "\"a{b}c\""},
		{"{} {{}} x{y}z", "\"\" \"{}\" x \"y\" z"},
		{"{a^{b^}c}", "\"a{b}c\""},
		{"{line1\nline2}", "\"line1\nline2\""},
		{"{a^(2022)b}", "\"a\u2022b\""},
		{"%{a}b}% %{x}%", "\"a}b\" \"x\""},
		{"%%{a}%b}%%", "\"a}%b\""},
		{"%{^(41)}%", "\"^(41)\""},
	});
}

TEST_F(Lexer, StringWidthFollowsTheWidestCharacter) {
	struct Case {
		const char* source;
		uint32_t width;
	} cases[] = {
		{"\"abc\"", 1}, {"\"^(41)\"", 1}, {"{a^(2022)b}", 2}, {"\"\u00e9\"", 2},
		{"\"\u20ac\"", 2}, {"\"\U0001F600\"", 4}, {"\"a^(1F600)\"", 4},
	};
	for (const Case& c : cases) {
		Cell* block = lexer::load(reinterpret_cast<const uint8_t*>(c.source), uint32_t(strlen(c.source)));
		Cell* s = memory::buffer_of(block)->head_cell();
		EXPECT_EQ(string::width_of(s), c.width) << c.source;
		stack::pop(1);
	}
}

TEST_F(Lexer, TextLiterals) {
	expect_loads({
		{"%a/b.txt %\"with space\" %a%20b", "file:a/b.txt file:with space file:a b"},
		{"%%C3%A9 %%E9 %%ZZ", "file:\u00e9 file:\u00e9 file:%ZZ"},
		{"http://x.com/a?b=c&d#f", "url:http://x.com/a?b=c&d#f"},
		{"ftp://a%20b", "url:ftp://a b"},
		{"http://a%E2%82%AC%E2%82", "url:http://a\u20ac\u00e2\u0082"},
		{"<a href=\"x>y\"> </p>", "<a href=\"x>y\"> </p>"},
		{"john@example.com a@b", "email:john@example.com email:a@b"},
		{"#\"a\" #\"^(tab)\" #\"^(1F600)\" #\"\u00e9\" #\"^(22)\" #\"^\"\"", "char:97 char:9 char:128512 char:233 char:34 char:34"},
	});
}

TEST_F(Lexer, WordsOfAllKinds) {
	expect_loads({
		{"a set: :get 'lit /ref #issue", "a set: :get 'lit /ref #issue"},
		{"+ - * / // % < <= <> > >= = == =? ...", "+ - * / // % < <= <> > >= = == =? ..."},
		{"a-b a_b? x! face each Each", "a-b a_b? x! face each Each"},
		{"'/ :/ /:", "'/ :/ /:"},
		{"-a +:", "-a +:"},
		{"\u00e9t\u00e9 \u3000x", "\u00e9t\u00e9 \u3000x"},
		{"a\u00a0b", "a b"},
		{"\u00a0\u2003 word", "word"},
		// What follows such white space is read as after a space.
		{"\u00a01 \u00a0\"s\" \u00a0[x]", "1 \"s\" [x]"},
		{"a\n\u00a0b\n\u00a0\u00a0 c", "a \\nb \\nc"},
	});
	expect_errors({{"a\u00a0''b", "invalid | (line 1) | type:15 | ''b"}});
}

TEST_F(Lexer, BlocksParensAndNewLines) {
	expect_loads({
		{"[] () [[]]", "[] () [[]]"},
		{"[1 [2 (3 4)] 5]", "[1 [2 (3 4)] 5]"},
		{"a\nb [\nc]", "a \\nb [\\nc]"},
		{"1 ; comment\n2", "1 \\n2"},
		{"[1 ;x]\n2]", "[1 \\n2]"},
	});
}

TEST_F(Lexer, Paths) {
	expect_loads({
		{"a/b a/b/c", "a/b a/b/c"},
		{"a/b: 1", "a/b: 1"},
		{"a/:b", "a/:b"},
		{"'a/b :a/b", "'a/b :a/b"},
		{"a/1/b a/(1 + 2)/c", "a/1/b a/(1 + 2)/c"},
		{"[a/b]", "[a/b]"},
		{"(a/b)", "(a/b)"},
		{"a/\"s\"", "a/\"s\""},
		{"a/b:", "a/b:"},
		{"a/(b): 1 a/b/c: 2", "a/(b): 1 a/b/c: 2"},
		{"a/b[c] a/b\"s\"", "a/b [c] a/b \"s\""},
		{"b/:i: 9 m/k/:j: x", "b/:i: 9 m/k/:j: x"},
		{"[b/:i:]", "[b/:i:]"},
		{"b/2147483647", "b/2147483647"},
	});
	// A get-word takes the colon of a set-path only as its last segment,
	// and only in a plain path; an integer segment does not overflow into
	// a float, which no path could hold as written.
	expect_errors({
		{":i:", "invalid | (line 1) | type:15 | :i:"},
		{"b/:i:/c", "invalid | (line 1) | type:15 | :i:/c"},
		{"b/:i:x", "invalid | (line 1) | type:15 | :i:x"},
		{"b/2147483648", "invalid | (line 1) | type:11 | 2147483648"},
		{"'b/:i: 1", "bad-char | (line 1) | 'b/:i: 1"},
	});
}

TEST_F(Lexer, Constructions) {
	expect_loads({
		{"#(true) #(FALSE) #(none) #(unset)", "true false none unset"},
		{"#(integer!) #(Block!)", "integer! block!"},
	});
}

TEST_F(Lexer, EmptyInputsGiveAnEmptyBlock) {
	expect_loads({{"", ""}, {"   \n\t", ""}, {"; only a comment", ""}});
	std::string shown;
	lexer::Options one;
	one.one_value = true;
	EXPECT_EQ(scan_type("", one, nullptr, &shown), 0);
	EXPECT_EQ(shown, "[]");
}

TEST_F(Lexer, NulEndsTheText) {
	std::string source("1 2", 3);
	source += '\0';
	source += "3";
	expect_loads({{source.c_str(), "1 2"}});
	Cell* block = lexer::load(reinterpret_cast<const uint8_t*>(source.data()), uint32_t(source.size()));
	EXPECT_EQ(test::show(block), "[1 2]");
}

}  // namespace

namespace {

TEST_F(Lexer, NumberTextHelpersReportThroughTheirErrorCode) {
	struct Case {
		std::u32string text;
		int32_t value;
		int32_t error;
	} integers[] = {
		{U"42", 42, 0}, {U"-2147483648", INT32_MIN, 0}, {U"2147483648", 0, -2}, {U"+1'000", 1000, 0},
		{U"12a", 0, -1}, {U"", 0, -1}, {U"-", 0, -1}, {U"99999999999999999999", 0, -2},
	};
	for (const Case& c : integers) {
		for (uint32_t width : {1u, 2u, 4u}) {
			Cell s = test::make_string_for_lexer(c.text, width);
			int32_t error = 7;
			int32_t v = lexer::scan_integer(memory::buffer_of(&s)->head_ptr(), width, uint32_t(c.text.size()), &error);
			EXPECT_EQ(error, c.error) << width;
			if (!c.error) {
				EXPECT_EQ(v, c.value);
			}
		}
	}
	struct FloatCase {
		std::u32string text;
		double value;
		int32_t error;
	} floats[] = {
		{U"1.5", 1.5, 0}, {U"1,5", 1.5, 0}, {U"-1'000.25", -1000.25, 0}, {U"1e3", 1000, 0},
		{U"1.5x", 0, -1}, {U"", 0, -1}, {U"\u00e9", 0, -1}, {std::u32string(313, U'1'), 0, -1},
	};
	for (const FloatCase& c : floats) {
		Cell s = test::make_string_for_lexer(c.text, 2);
		int32_t error = 7;
		double d = lexer::scan_float(memory::buffer_of(&s)->head_ptr(), 2, uint32_t(c.text.size()), &error);
		EXPECT_EQ(error, c.error);
		if (!c.error) {
			EXPECT_EQ(d, c.value);
		} else {
			EXPECT_TRUE(d != d);
		}
	}
}

}  // namespace
