// The parse engine on binary! input: bytes are matched by integers and by
// chars (their code), strings by their UTF-8, bitsets by byte value, and
// datatypes by what the lexer recognises in the bytes. The binary cells are
// built directly, so these cases need nothing of binary! beyond its cell and
// byte buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "runtime/context.h"
#include "runtime/symbol.h"
#include "tests/unit/object_support.h"

namespace vyn::test {
namespace {

struct Case {
	const char* input;  // bytes of `bin`
	const char* source;
	const char* expected;  // molded result
};

class ParseBinary : public objects::ObjectScript {
protected:
	// Sets the global word `name` to a binary! holding `bytes`.
	static void define_binary(const char* name, std::string_view bytes) {
		Node node = memory::alloc_series(uint32_t(bytes.size()) + 1, 1, 0);
		Series* s = memory::series(node);
		std::memcpy(s->head_ptr(), bytes.data(), bytes.size());
		s->tail = s->head + uint32_t(bytes.size());
		Cell bin;
		cell::set(&bin, T_BINARY, 0, node, 0);
		context::set(context::add_global(symbol::make(name)), &bin);
	}

	// Each case: `bin` holds the input bytes, the source gives the result.
	void check(std::initializer_list<Case> cases) {
		for (const Case& c : cases) {
			define_binary("bin", c.input);
			EXPECT_EQ(molded(c.source), c.expected) << c.source;
		}
	}
};

TEST_F(ParseBinary, MatchesBytesCharsStringsAndBitsets) {
	check({
		{"abc", "parse bin [#\"a\" #\"b\" #\"c\"]", "true"},
		{"abc", "parse bin [\"ab\" #\"c\"]", "true"},
		{"abc", "parse bin [\"abcd\"]", "false"},
		{"abc", "b: 98 parse bin [skip b skip]", "true"},
		{"abc", "b: 300 parse bin [skip b skip]", "false"},
		{"abc", "parse bin [quote 97 2 skip]", "true"},
		{"\xE9t\xC3\xA9", "parse bin [#\"\xC3\xA9\" \"t\xC3\xA9\"]", "true"},
		{"\xC3\xA9", "parse bin [#\"\xC3\xA9\" skip]", "false"},
		{"\xC3\xA9", "parse bin [2 skip]", "true"},
		{"\xFF\xFF", "parse bin [some #\"^(FF)\"]", "true"},
		{"abc1", "bs: make bitset! [#\"a\" - #\"z\"] parse bin [some bs #\"1\"]", "true"},
		{"ab", "bs: make bitset! [#\"a\" - #\"z\"] parse bin [3 bs]", "false"},
		{"", "parse bin [end]", "true"},
		{"", "parse bin [skip]", "false"},
	});
}

TEST_F(ParseBinary, SearchesWithToAndThru) {
	check({
		{"key=value;", "parse bin [thru #\"=\" to #\";\" skip]", "true"},
		{"key=value;", "parse bin [to \"val\" 6 skip]", "true"},
		{"key=value;", "parse bin [thru \"value\" #\";\"]", "true"},
		{"key=value;", "parse bin [thru \"values\"]", "false"},
		{"a\r\nb", "crlf-bytes: make bitset! [#\"^M\" #\"^/\"] parse bin [thru crlf-bytes #\"^/\" skip]", "true"},
		{"abc", "parse bin [to end]", "true"},
		{"abcabc", "parse bin [thru [#\"c\" #\"a\"] 2 skip]", "true"},
	});
}

TEST_F(ParseBinary, CapturesBytesAsIntegers) {
	check({
		{"AB", "parse bin [set x skip skip] x", "65"},
		{"AB", "parse bin [set x opt #\"z\" 2 skip] x", "none"},
		{"AB", "parse bin [collect [some [keep skip]]]", "[65 66]"},
		{"AB", "parse bin [collect [keep pick 2 skip]]", "[65 66]"},
		{"AB", "parse bin [skip p: skip] index? p", "2"},
	});
}

// The lexer recognises one value at the position; the input moves past what
// it scanned.
TEST_F(ParseBinary, MatchesDatatypesByScanning) {
	check({
		{"12 abc", "parse bin [integer! word!]", "true"},
		{"12 abc", "parse bin [word! to end]", "false"},
		{"\"hi\" 3.5", "parse bin [string! number!]", "true"},
		{"[1 2] x", "parse bin [block! word!]", "true"},
		{"12", "parse bin [integer! end]", "true"},
	});
}

TEST_F(ParseBinary, IntoABinaryInsideABlock) {
	define_binary("bin", "xy");
	EXPECT_EQ(molded("parse reduce [1 bin] [integer! into [#\"x\" #\"y\"]]"), "true");
	EXPECT_EQ(molded("parse reduce [bin 1] [into [#\"x\"] integer!]"), "false");
	EXPECT_EQ(molded("parse reduce [bin] [collect [into [keep skip keep skip]]]"), "[120 121]");
}

TEST_F(ParseBinary, ErrorsOfBinaryInput) {
	check({
		{"ab", "r: try [parse bin [into [skip]]] r/id", "parse-block"},
		{"ab", "r: try [parse bin [keep skip]] r/id", "parse-keep"},
		{"ab", "r: try [x: [x skip] parse bin x] r/id", "parse-stack"},
		{"ab", "r: try [parse bin [collect into bin [keep skip]]] r/id", "parse-into-bad"},
		{"ab", "r: try [parse \"ab\" [collect into bin [keep skip]]] r/id", "parse-into-type"},
	});
}

}  // namespace
}  // namespace vyn::test
