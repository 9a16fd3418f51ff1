// Syntax errors: id, line text, datatype or missing character, near text.
#include "tests/unit/lexer_support.h"

using namespace vyn;

namespace {

using Lexer = vyn::test::LexerTest;

TEST_F(Lexer, UnbalancedLevelsAreMissing) {
	expect_errors({
		{"[1 2", "missing | (line 1) | ] | [1 2"},
		{"1 2]", "missing | (line 1) | [ | ]"},
		{"(a b", "missing | (line 1) | ) | (a b"},
		{"a b)", "missing | (line 1) | ( | )"},
		{"[1 2)", "missing | (line 1) | ] | )"},
		{"(a 2]", "missing | (line 1) | ) | ]"},
		{"[a [b]", "missing | (line 1) | ] | [a [b]"},
		{"1\n2\n[3\n4", "missing | (line 4) | ] | [3"},
		{"#[a 1", "missing | (line 1) | ] | #[a 1"},
		{"(x, y)", "missing | (line 1) | ( | )"},
		{"(1 + 2", "missing | (line 1) | ) | (1 + 2"},
	});
}

TEST_F(Lexer, InvalidLiteralsNameTheirDatatype) {
	// type ids: 7 string, 8 file, 10 char, 11 integer, 12 float, 15 word,
	// 17 lit-word, 19 refinement, 20 issue, 25 path, 38 percent, 43 time, 44 tag
	expect_errors({
		{"{a", "invalid | (line 1) | type:7 | {a"},
		{"x {a{b}", "invalid | (line 1) | type:7 | {a{b}"},
		{"\"abc", "invalid | (line 1) | type:7 | \"abc"},
		{"\"a\nb\"", "invalid | (line 1) | type:7 | \"a"},
		{"%{x", "invalid | (line 1) | type:7 | %{x"},
		{"%%{x}%", "invalid | (line 1) | type:7 | %%{x}%"},
		{"%\"abc", "invalid | (line 1) | type:8 | %\"abc"},
		{"#\"ab\"", "invalid | (line 1) | type:10 | #\"ab\""},
		{"#\"\"", "invalid | (line 1) | type:10 | #\"\""},
		{"1''0", "invalid | (line 1) | type:11 | 1''0"},
		{"12g", "invalid | (line 1) | type:11 | 12g"},
		{"123456789h", "invalid | (line 1) | type:11 | 123456789h"},
		{"1h", "invalid | (line 1) | type:11 | 1h"},
		{"1.#X", "invalid | (line 1) | type:12 | 1.#X"},
		{"1e", "invalid | (line 1) | type:12 | 1e"},
		{"1e+", "invalid | (line 1) | type:12 | 1e+"},
		{":a:", "invalid | (line 1) | type:15 | :a:"},
		{"Ah", "invalid | (line 1) | type:15 | Ah"},
		{"a\xC0", "invalid | (line 1) | type:15 | a\u00c0"},
		{"'a:", "invalid | (line 1) | type:17 | 'a:"},
		{"/a:", "invalid | (line 1) | type:19 | /a:"},
		{"#", "invalid | (line 1) | type:20 | #"},
		{"a/", "invalid | (line 1) | type:25 | a/"},
		{"a//b", "invalid | (line 1) | type:25 | /b"},
		{"a/b:/c", "invalid | (line 1) | type:25 | b:/c"},
		{"1:", "invalid | (line 1) | type:43 | 1:"},
		{"1:2:", "invalid | (line 1) | type:43 | 1:2:"},
		{"1:2e5", "invalid | (line 1) | type:43 | 1:2e5"},
		{"<a", "invalid | (line 1) | type:44 | <a"},
		{"%a%C3%28", "invalid | (line 1) | type:8 | %a%C3%28"},
		{"\n\n\n  12g", "invalid | (line 4) | type:11 | 12g"},
	});
}

// Names become symbols byte for byte: bytes that are no whole UTF-8
// character make the word, issue or refinement invalid, as they make a
// string invalid, whether loading or only scanning.
TEST_F(Lexer, NamesHoldOnlyWholeUtf8Characters) {
	const std::string bad[] = {
		"\xB0",              // a stray follower
		"\xC3",              // a sequence cut (by the end, or by the next byte)
		"\xE2\x82",
		"\xF4\x90\x80\x80",  // past U+10FFFF
		"\xF5\x80\x80\x80",
		"\xED\xA0\x80",      // an encoded surrogate
		"\xE0\x80\x80",      // an overlong form
	};
	struct Form {
		const char* before;
		const char* after;
		int type;
	} forms[] = {
		{"a", "", 15}, {"a", ": 1", 15}, {":a", "", 15}, {"'a", "", 15}, {"#a", "", 20}, {"/a", "", 19},
		{"p/a", "", 15}, {"p/a", "/q", 15}, {"[x a", "]", 15},
	};
	for (const std::string& b : bad)
		for (const Form& f : forms) {
			std::string source = f.before + b + f.after;
			std::string prefix = "invalid | (line 1) | type:" + std::to_string(f.type) + " | ";
			EXPECT_EQ(error_of(source).substr(0, prefix.size()), prefix) << source;
			EXPECT_EQ(scan_type(source, lexer::Options{.scan = true}), T_ERROR) << source;
		}
	expect_loads({{"\u00e9t\u00e9 #\U0001F600 /\u4E2D a/\u00e9", "\u00e9t\u00e9 #\U0001F600 /\u4E2D a/\u00e9"}});
}

TEST_F(Lexer, EscapesBeyondUnicodeAreInvalidInStringsAsInChars) {
	expect_errors({
		{"#\"^(110000)\"", "invalid | (line 1) | type:10 | #\"^(110000)\""},
		{"\"^(110000)\"", "invalid | (line 1) | type:7 | \"^(110000)\""},
		{"{^(110000)}", "invalid | (line 1) | type:7 | {^(110000)}"},
		{"\"^(1234567)\"", "invalid | (line 1) | type:7 | \"^(1234567)\""},
		{"\"^(zz)\"", "invalid | (line 1) | type:7 | \"^(zz)\""},
		{"\"^()\"", "invalid | (line 1) | type:7 | \"^()\""},
		{"\"^(41\"", "invalid | (line 1) | type:7 | \"^(41\""},
	});
	expect_loads({{"\"^(10FFFF)\"", "\"\U0010FFFF\""}});
}

TEST_F(Lexer, ExtendedLiteralsAreInvalidUntilTheirTypesExist) {
	// 37 pair, 39 tuple, 41 binary, 47 date, 49 money, 50 ref, 51 point2D, 52 point3D, 40 map
	expect_errors({
		{"1x2", "invalid | (line 1) | type:37 | 1x2"},
		{"1.2.3", "invalid | (line 1) | type:39 | 1.2.3"},
		{"#{00}", "invalid | (line 1) | type:41 | #{00}"},
		{"16#{0A}", "invalid | (line 1) | type:41 | 16#{0A}"},
		{"12-Dec-2012", "invalid | (line 1) | type:47 | 12-Dec-2012"},
		{"$1.00", "invalid | (line 1) | type:49 | $1.00"},
		{"USD$1", "invalid | (line 1) | type:49 | USD$1"},
		{"@ref", "invalid | (line 1) | type:50 | @ref"},
		{"(1, 2)", "invalid | (line 1) | type:51 | 1, 2)"},
		{"(1, 2, 3)", "invalid | (line 1) | type:52 | 1, 2, 3)"},
		{"#[a 1 b]", "invalid | (line 1) | type:40 | #[a 1 b]"},
		{"#[a 1]", "invalid | (line 1) | type:40 | #[a 1]"},
	});
}

TEST_F(Lexer, BadCharactersAndConstructions) {
	expect_errors({
		{"}", "bad-char | (line 1) | }"},
		{"a \\ b", "bad-char | (line 1) | \\ b"},
		{"\xC0", "bad-char | (line 1) | \u00c0"},
		{"\x80", "bad-char | (line 1) | \u0080"},
		{"#(true", "bad-char | (line 1) | #(true"},
		{"'a/b:", "bad-char | (line 1) | 'a/b:"},
		{"a, b", "invalid | (line 1) | type:51 | , b"},
		{"#(foo)", "malconstruct | (line 1) | #(foo)"},
		{"#(trueish)", "malconstruct | (line 1) | #(trueish)"},
		{"#(integer)", "malconstruct | (line 1) | #(integer)"},
	});
}

TEST_F(Lexer, NearTextStopsAtLineEndsAndKeepsWholeCharacters) {
	expect_errors({
		{"[abc\ndef", "missing | (line 2) | ] | [abc"},
		{"[aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "missing | (line 1) | ] | [aaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
		{"[aaaaaaaaaaaaaaaaaaaaaaaaaaa\u00e9\u00e9", "missing | (line 1) | ] | [aaaaaaaaaaaaaaaaaaaaaaaaaaa\u00e9"},
		{"[aaaaaaaaaaaaaaaaaaaaaaaaaaa\u20ac", "missing | (line 1) | ] | [aaaaaaaaaaaaaaaaaaaaaaaaaaa"},
	});
}

}  // namespace

namespace {

// Random text from fragments that stress the automaton's edges: every
// outcome must be values or a syntax error, in every mode.
TEST_F(Lexer, RandomSourcesLoadOrRaiseSyntaxErrors) {
	static const std::string pieces[] = {
		"[", "]", "(", ")", "{", "}", "#[", "#(", "#{", "#\"", "\"", "^", "^(", "%", "%{", "}%", "/", "//",
		":", "'", "a", "Ab", "FFh", "1", "0", "9'", ".", "e", "E", "+", "-", "x", "T", "@", "$", "<", ">",
		",", ";", "\n", " ", "\t", "\\", "\x80", "\xC3\xA9", "\xE2\x80", "\xF0\x9F\x98\x80", "\xC0", "\xFF",
		"\xC2\xA0", "1.#", "NaN", "http:", "=", "!", "~", "&", "*", "?", "_", "|", "`", "\x01", std::string(1, '\0'),
	};
	uint64_t seed = 0x9E3779B97F4A7C15ull;
	auto next = [&seed] {
		seed ^= seed << 13;
		seed ^= seed >> 7;
		seed ^= seed << 17;
		return seed;
	};
	const uint32_t syntax_first = errors::id::syntax_invalid.code(), syntax_last = errors::id::syntax_bad_char.code();
	for (int round = 0; round < 20000; round++) {
		std::string text;
		int n = int(next() % 12);
		for (int i = 0; i < n; i++) text += pieces[next() % (sizeof pieces / sizeof pieces[0])];
		uint32_t code = raised([&] { load(text); });
		EXPECT_TRUE(code == 0 || (code >= syntax_first && code <= syntax_last)) << text << " code " << code;
		for (lexer::Options o : {lexer::Options{.one_value = true}, lexer::Options{.scan = true},
				 lexer::Options{.prescan = true}}) {
			uint32_t consumed = 0;
			code = raised([&] { scan_type(text, o, &consumed); });
			EXPECT_TRUE(code == 0 || (code >= syntax_first && code <= syntax_last)) << text;
			EXPECT_LE(consumed, text.size());
		}
	}
}

}  // namespace
