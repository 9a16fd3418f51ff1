// The serialiser: exact bytes of the compact and fixed-width records, round
// trips that keep sharing, cycles and bindings, the refusals, and the
// reader's checks on hand-made data.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "runtime/datatypes/object.h"
#include "runtime/io/crush.h"
#include "runtime/io/serial_reader.h"
#include "runtime/io/serial_writer.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t NO_CODEC = 512;
constexpr int32_t INVALID_RECORD = 393;
constexpr int32_t INVALID_DATA = 316;

Bytes hex(std::string_view text) {
	Bytes out;
	for (size_t i = 0; i + 1 < text.size() + 1 && i < text.size();) {
		if (text[i] == ' ') {
			i++;
			continue;
		}
		out.push_back(uint8_t(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
		i += 2;
	}
	return out;
}

std::string hex_of(const Bytes& b, size_t from = 0) {
	std::string s;
	char buf[4];
	for (size_t i = from; i < b.size(); i++) {
		std::snprintf(buf, sizeof buf, i + 1 < b.size() ? "%02X " : "%02X", b[i]);
		s += buf;
	}
	return s;
}

void varint(Bytes& out, uint32_t v) {
	while (v >= 0x80) {
		out.push_back(uint8_t(v | 0x80));
		v >>= 7;
	}
	out.push_back(uint8_t(v));
}

// A compact container around a payload, with a symbol table when names
// are given.
Bytes container(const Bytes& payload, const std::vector<std::string>& names = {}) {
	Bytes c = {'V', 'Y', 'N', 'B', 'I', 'N', 2, uint8_t(names.empty() ? 1 : 5)};
	varint(c, 1);
	varint(c, uint32_t(payload.size()));
	if (!names.empty()) {
		Bytes area;
		Bytes offsets;
		for (const std::string& n : names) {
			uint32_t off = uint32_t(area.size());
			for (int k = 0; k < 4; k++) offsets.push_back(uint8_t(off >> (8 * k)));
			area.insert(area.end(), n.begin(), n.end());
			area.push_back(0);
		}
		varint(c, uint32_t(names.size()));
		varint(c, uint32_t(area.size()));
		c.insert(c.end(), offsets.begin(), offsets.end());
		c.insert(c.end(), area.begin(), area.end());
	}
	c.insert(c.end(), payload.begin(), payload.end());
	// A container has 8 bytes at least after its flags; what follows the
	// payload is not read.
	while (c.size() < 16) c.push_back(0);
	return c;
}

// Compact payload of a container without symbols.
std::string payload_of(const Bytes& c) {
	EXPECT_EQ(c[7], 1);
	size_t i = 9;  // root count 1
	while (c[i] & 0x80) i++;
	return hex_of(c, i + 1);
}

// A value's source and the compact payload it encodes to.
struct PayloadCase {
	const char* source;
	const char* payload;
};

class Serial : public ObjectScript {
protected:
	// Evaluates the source; its value encoded.
	static Bytes encoded(std::string_view source, bool compact = true) {
		Cell v = run(source);
		Bytes out;
		Cell e = in_try_frame([&] {
			out = serial_writer::encode_bytes(&v, compact);
			Cell none{T_NONE, 0, 0, 0};
			return none;
		});
		EXPECT_FALSE(cell::is(&e, T_ERROR)) << source;
		return out;
	}

	// The decoded block, or the error raised.
	static Cell decoded(const Bytes& bytes, serial_reader::Mode mode = serial_reader::Mode::codec) {
		return in_try_frame([&] {
			Cell b;
			block::make_at(&b, 4);
			stack::push(&b);
			serial_reader::decode(bytes.data(), bytes.size(), &b, mode);
			return b;
		});
	}

	static int32_t decode_error(const Bytes& bytes, serial_reader::Mode mode = serial_reader::Mode::codec) {
		Cell r = decoded(bytes, mode);
		return cell::is(&r, T_ERROR) ? error::code_of(&r) : 0;
	}

	// The byte position a vb-invalid-record error names.
	static int32_t bad_position(const Bytes& bytes) {
		Cell r = decoded(bytes);
		if (!cell::is(&r, T_ERROR) || error::code_of(&r) != INVALID_RECORD) return -1;
		return cell::get_integer(context::values(r.data1) + error::ARG1);
	}

	static int32_t encode_error(std::string_view source) {
		Cell v = run(source);
		return raised_code([&] { serial_writer::encode_bytes(&v, true); });
	}

	// Molds the decoded block's only value after a round trip in either
	// encoding, and checks both agree.
	static std::string round_trip(std::string_view source) {
		std::string compact = mold_of(first(decoded(encoded(source, true))));
		std::string fixed = mold_of(first(decoded(encoded(source, false))));
		EXPECT_EQ(compact, fixed) << source;
		return compact;
	}

	static Cell first(const Cell& block) {
		if (!cell::is(&block, T_BLOCK)) return block;
		return *memory::buffer_of(&block)->head_cell();
	}

	// Sets a global word to a value (keeping it reachable) for scripts.
	static void define(const char* name, const Cell& value) {
		Cell w = word_of(name);
		context::set(&w, &value);
	}
};

TEST_F(Serial, CompactScalarsHaveTheirExactBytes) {
	PayloadCase cases[] = {
		{"0", "80"},
		{"63", "BF"},
		{"64", "0B 80 01"},
		{"-1", "0B 01"},
		{"-2147483648", "0B FF FF FF FF 0F"},
		{"2147483647", "0B FE FF FF FF 0F"},
		{"true", "C2"},
		{"false", "C3"},
		{"none", "03"},
		{"#\"A\"", "0A 41"},
		{"3.0", "4C 06"},
		{"-2.0", "4C 03"},
		{"3.5", "0C 00 00 00 00 00 00 0C 40"},
		{"-0.0", "0C 00 00 00 00 00 00 00 80"},
		{"2147483001.0", "0C 00 00 40 5E FF FF DF 41"},
		{"12%", "66 18"},
		{"0.5%", "26 7B 14 AE 47 E1 7A 74 3F"},
		{"1:00", "6B A0 38"},
		{"1x-1", "25 02 01"},
		{"1.2.3", "27 01 02 03"},
		{"1.2.3.4", "67 04 01 02 03 04"},
		{"integer!", "01 0B"},
		{"\"abc\"", "07 0C 61 62 63"},
		{"next \"abc\"", "47 01 0C 61 62 63"},
		{"#{0102}", "29 02 01 02"},
		{"make typeset! [none! integer!]", "21 02 10 10"},
	};
	for (const PayloadCase& c : cases) EXPECT_EQ(payload_of(encoded(c.source)), c.payload) << c.source;
}

TEST_F(Serial, WideStringsKeepTheirUnit) {
	// Five characters of two bytes: length field (5 << 2) + 1.
	EXPECT_EQ(payload_of(encoded("\"\u0101bcde\"")), "07 15 01 01 62 00 63 00 64 00 65 00");
	EXPECT_EQ(round_trip("\"\u0101bcde\""), "\"\u0101bcde\"");
	EXPECT_EQ(payload_of(encoded("\"\U0001F600\"")), "07 06 00 F6 01 00");
}

TEST_F(Serial, NewLinesAndNestedBlocks) {
	// The second value is on a new line: prefix 0xC0.
	EXPECT_EQ(payload_of(encoded("[1\n2 [3]]")), "05 03 81 C0 82 05 01 83");
	EXPECT_EQ(round_trip("[1\n2 [3]]"), mold_of(run("[1\n2 [3]]")));
}

TEST_F(Serial, WordsUseTheSymbolTableInFirstUseOrder) {
	Bytes b = encoded("[foo bar: 'foo :baz /foo #foo]");
	// flags 5, root 1, payload length, 3 symbols in 12 bytes of names.
	EXPECT_EQ(hex_of(Bytes(b.begin(), b.begin() + 14)), "56 59 4E 42 49 4E 02 05 01 0E 03 0C 00 00");
	std::string names(b.begin() + 24, b.begin() + 36);
	EXPECT_EQ(names, std::string("foo\0bar\0baz\0", 12));
	EXPECT_EQ(hex_of(b, 36), "05 06 0F 00 10 01 11 00 12 02 13 00 14 00");
	EXPECT_EQ(round_trip("[foo bar: 'foo :baz /foo #foo]"), "[foo bar: 'foo :baz /foo #foo]");
}

TEST_F(Serial, RoundTripsKeepValuesOfEveryKind) {
	const char* sources[] = {
		"[1 -1 63 64 2147483647 -2147483648 1.5 -0.0 1e300 12% 0.5% 1:02:03 1:00:00.5]",
		"[#\"a\" #\"^(3042)\" 10x-20 1.2.3 1.2.3.4.5.6.7.8.9.10.11.12 $1.25 -$3 USD$7 (1.5, 2) (1, 2, 3)]",
		"[5-Jan-2024 5-Jan-2024/10:30:00+02:00 integer! none true false]",
		"[\"a\" %file http://example.org <tag> user@example.org @ref #{DEADBEEF}]",
		"[(1 + 2) a/b/c 'a/b :a/b a/b:]",
		"make hash! [a 1 b 2]",
		"make map! [a 1 \"k\" [2 3]]",
		"make vector! [integer! 16 [1 -2 3]]",
		"make vector! [float! 64 [1.5 2.5]]",
		"make bitset! \"abc\"",
		"complement make bitset! \"abc\"",
		"make typeset! [block! map!]",
		"next next [1 2 3]",
	};
	for (const char* s : sources) {
		Cell v = run(s);
		EXPECT_EQ(round_trip(s), mold_of(v)) << s;
	}
}

TEST_F(Serial, SeriesMetTwiceAreWrittenOnceAndStayShared) {
	run("s: \"ab\" pair-of-s: reduce [s next s]");
	Bytes b = encoded("pair-of-s");
	// The second meeting: reference prefix, lead with the head flag, head 1,
	// path [0 0] (the block, its first cell).
	EXPECT_EQ(payload_of(b), "05 02 07 08 61 62 C1 47 01 02 00 00");
	Cell out = decoded(b);
	define("decoded", first(out));
	run("append pick decoded 1 \"c\"");
	EXPECT_EQ(mold_of(run("decoded")), "[\"abc\" \"bc\"]");
}

TEST_F(Serial, PathsNameEveryLevelDownToTheFirstMeeting) {
	PayloadCase cases[] = {
		{"s: \"ab\" reduce [reduce [reduce [s]] s]", "05 02 05 01 05 01 07 08 61 62 C1 07 04 00 00 00 00"},
		{"s: \"ab\" reduce [1 reduce [2 s] reduce [s]]", "05 03 81 05 02 82 07 08 61 62 05 01 C1 07 03 00 01 01"},
		// An error already met opens a level of its own for its values.
		{"e: make error! [type: 'user id: 'message arg1: \"ab\"] reduce [e e]",
			"05 02 22 A0 06 07 08 61 62 03 03 03 03 03 22 A0 06 C1 07 03 00 00 00 03 03 03 03 03"},
	};
	for (const PayloadCase& c : cases) EXPECT_EQ(payload_of(encoded(c.source)), c.payload) << c.source;
	// A string at the bottom of 3000 levels, met again at the top.
	run("s: \"ab\" b: reduce [s] loop 2999 [b: reduce [b]] deep: reduce [b s]");
	define("deep", first(decoded(encoded("deep"))));
	EXPECT_EQ(mold_of(run("t: deep/1 loop 3000 [t: t/1] append t \"c\" deep/2")), "\"abc\"");
}

TEST_F(Serial, NestingDeeperThanTheStackRaisesAnError) {
	run("b: [] loop 300000 [b: reduce [b]]");
	Cell v = run("b");
	EXPECT_EQ(raised_code([&] { serial_writer::encode_bytes(&v, true); }), 904);
	Bytes nested;
	for (int i = 0; i < 300000; i++) nested.insert(nested.end(), {0x05, 0x01});
	nested.push_back(0x80);
	EXPECT_EQ(decode_error(container(nested)), 904);
}

TEST_F(Serial, CyclesComeBackAsCycles) {
	Cell out = decoded(encoded("b: [1] append/only b b b"));
	Cell inner = first(out);
	Cell* cells = memory::buffer_of(&inner)->head_cell();
	ASSERT_TRUE(cell::is(cells + 1, T_BLOCK));
	EXPECT_EQ(cells[1].data2, inner.data2);
}

TEST_F(Serial, MapsThatHoldThemselvesAreIndexed) {
	// The inner reference is read before the map's index exists: it gets
	// the index once the map is complete.
	run("m: make map! [a 1] m/b: m");
	define("dm", first(decoded(encoded("m"))));
	EXPECT_EQ(mold_of(run("dm/b/b/a")), "1");
	EXPECT_EQ(mold_of(run("dm/c: 5 dm/b/c")), "5");
}

TEST_F(Serial, ObjectsAndFunctionsKeepTheirBindings) {
	run("o: make object! [a: 10 f: func [x][x + a] g: does [f 1]]");
	define("d", first(decoded(encoded("o"))));
	EXPECT_EQ(mold_of(run("d/f 5")), "15");
	EXPECT_EQ(mold_of(run("d/a: 20 d/g")), "21");
	// The original is untouched.
	EXPECT_EQ(mold_of(run("o/g")), "11");
}

TEST_F(Serial, WordsBoundToOneObjectShareIt) {
	run("o: make object! [a: 1 b: 2] ws: reduce [in o 'a in o 'b]");
	Cell out = decoded(encoded("ws"));
	Cell ws = first(out);
	Cell* w = memory::buffer_of(&ws)->head_cell();
	EXPECT_EQ(w[0].data1, w[1].data1);
	EXPECT_EQ(w[1].data3, 1u);
	define("dw", ws);
	EXPECT_EQ(mold_of(run("reduce dw")), "[1 2]");
	// The first word carries the object in full, the second a path to the
	// first word.
	Bytes b = encoded("ws");
	std::string p = hex_of(b);
	EXPECT_NE(p.find("C1 4F 01 02 02 00 00"), std::string::npos) << p;
}

TEST_F(Serial, FunctionsThatCallThemselvesRun) {
	run("fact: func [n][either n < 2 [1][n * fact n - 1]] fs: reduce [:fact]");
	define("dfs", first(decoded(encoded("fs"))));
	EXPECT_EQ(mold_of(run("df: pick dfs 1 df 5")), "120");
}

TEST_F(Serial, ChangeHandlersAreSetUpAgain) {
	run("seen: none h: make object! [x: 1 on-change*: func [word old new][seen: new]]");
	Cell d = first(decoded(encoded("h")));
	EXPECT_NE(d.data3, 0u);
	EXPECT_EQ(object::class_of(&d), -1);
	define("dh", d);
	EXPECT_EQ(mold_of(run("dh/x: 7 seen")), "7");
}

TEST_F(Serial, NativesActionsAndOperatorsComeFromTheRuntime) {
	Cell d = first(decoded(encoded("reduce [:if :+ :append 9]")));
	define("dn", d);
	EXPECT_EQ(mold_of(run("reduce [type? pick dn 1 type? pick dn 2 type? pick dn 3 pick dn 4]")),
		"[native! op! action! 9]");
	EXPECT_EQ(mold_of(run("f: pick dn 1 f true [3]")), "3");
	EXPECT_EQ(mold_of(run("p: pick dn 2 2 p 3")), "5");
	EXPECT_EQ(mold_of(run("reflect pick dn 1 'spec")), mold_of(run("reflect :if 'spec")));
}

TEST_F(Serial, ImagesCarryTheirPixelWords) {
	const char* img = "make image! [2x1 #{FF0000 00FF00} #{00 80}]";
	// Opaque red 0xFFFF0000, then green with opacity 0x7F, little-endian.
	EXPECT_EQ(payload_of(encoded(img)), "35 02 01 00 00 FF FF 00 FF 00 7F");
	EXPECT_EQ(payload_of(encoded((std::string("next ") + img).c_str())), "75 01 02 01 00 00 FF FF 00 FF 00 7F");
	Bytes fixed = encoded(img, false);
	EXPECT_EQ(hex_of(fixed, fixed.size() - 16), "00 00 00 00 02 00 01 00 00 00 FF FF 00 FF 00 7F");
	EXPECT_EQ(round_trip(img), mold_of(run(img)));
	// One record shared by two positions is written once and shared again.
	Cell r = first(decoded(encoded("i: make image! 3x3 reduce [i at i 4]")));
	define("ri", r);
	EXPECT_EQ(mold_of(run("reduce [same? head ri/2 ri/1 index? ri/2 ri/1/5]")), "[true 4 255.255.255.0]");
	EXPECT_EQ(mold_of(first(decoded(encoded("make image! 0x0")))), mold_of(run("make image! 0x0")));
}

TEST_F(Serial, ImageRecordsAreCheckedBeforeTheyAreMade) {
	EXPECT_EQ(bad_position(container({0x35, 0x80, 0x80, 0x04, 0x01})), 11);   // width 65536
	EXPECT_EQ(bad_position(container({0x75, 0x03, 0x01, 0x01, 0, 0, 0, 0})), 11);  // head past the pixels
	EXPECT_EQ(decode_error(container({0x35, 0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0x03, 0x00})), INVALID_RECORD);
	EXPECT_EQ(decode_error(container({0x35, 0x02, 0x01, 0x00, 0x00, 0xFF, 0xFF})), INVALID_RECORD);
}

TEST_F(Serial, RefusedValuesRaiseNoCodec) {
	EXPECT_EQ(encode_error(":quit-return"), NO_CODEC);
	EXPECT_EQ(encode_error("reduce [1 :quit-return]"), NO_CODEC);
	// A word bound to an error's context: nothing could rebuild it.
	EXPECT_EQ(encode_error("e: try [1 / 0] reduce [in e 'arg1]"), NO_CODEC);
}

TEST_F(Serial, EachEncodeStartsAfresh) {
	Bytes fresh = encoded("[\"x\" \"y\"]");
	EXPECT_EQ(encode_error("s: \"x\" reduce [s s :quit-return]"), NO_CODEC);
	EXPECT_EQ(encoded("[\"x\" \"y\"]"), fresh);
	EXPECT_EQ(encoded("[\"x\" \"y\"]"), fresh);
}

TEST_F(Serial, ManySymbolsAreIndexedInFirstUseOrder) {
	std::string src = "[";
	for (int i = 0; i < 400; i++) src += "w" + std::to_string(i) + " ";
	src += "w7 w0]";
	Bytes b = encoded(src);
	std::string tail = hex_of(b, b.size() - 4);
	EXPECT_EQ(tail, "0F 07 0F 00");  // w7 then w0: indexes 7 and 0
	EXPECT_EQ(round_trip(src), mold_of(run(src)));
}

TEST_F(Serial, CorruptDataNamesTheBytePosition) {
	struct Case {
		Bytes payload;
		int32_t position;  // of the failing byte, 1-based from the magic
	} cases[] = {
		{{0x00}, 11},                      // id 0
		{{0x2A}, 11},                      // id 42 (series!)
		{{0x37}, 11},                      // id 55
		{{0xC5}, 11},                      // unknown lead
		{{0x0B, 0x80}, 13},                // ends inside a varint
		{{0x0B, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}, 16},  // 6-byte varint
		{{0xC1, 0x81}, 12},                // reference before a small integer
		{{0xC4, 0x0F, 0x00, 0x81}, 11},    // set prefix in codec mode
		{{0x05, 0x05, 0x81}, 13},          // block of 5 with one record
		{{0x0F, 0x00}, 12},                // word, no symbol table
		{{0x27 | 0x40, 0x0D}, 11},         // tuple of 13 bytes
		{{0x21, 0x0D}, 11},                // typeset of 13 bytes
		{{0xC1, 0x05, 0x01, 0x05}, 14},    // path position outside the block
	};
	for (const Case& c : cases) {
		EXPECT_EQ(bad_position(container(c.payload)), c.position) << hex_of(c.payload);
	}
	// Symbol index equal to the count.
	EXPECT_EQ(bad_position(container({0x0F, 0x01}, {"a"})), 20);
	// A name area that does not end with its 0 byte.
	Bytes b = container({0x0F, 0x00}, {"a"});
	b[b.size() - 3] = 'b';
	EXPECT_EQ(decode_error(b), INVALID_RECORD);
}

TEST_F(Serial, RefusedIdsAndBadContainers) {
	for (uint8_t id : {29, 31, 46, 48, 54}) EXPECT_EQ(decode_error(container({id})), NO_CODEC) << int(id);
	EXPECT_EQ(decode_error(hex("56 59 4E 42 49 4F 02 01 01 01 80 00 00")), INVALID_DATA);
	// A fixed-width header needs 8 bytes; a compact one ends where its fields do.
	EXPECT_EQ(decode_error(hex("56 59 4E 42 49 4E 02 00 01 00 00 00")), INVALID_DATA);
	EXPECT_EQ(decode_error(hex("56 59 4E 42 49 4E 02 01 01")), INVALID_RECORD);
	// Compressed flag over a stream that is not CRUSH.
	EXPECT_EQ(decode_error(hex("56 59 4E 42 49 4E 02 03 01 01 80 00 00 00 00 00")), INVALID_DATA);
}

TEST_F(Serial, CodecModeChecksTheIndexesItIsGiven) {
	// An object with one field a, then a word bound to it with index 5.
	Bytes object_word = {0x4F, 0x00, 0x0A /*index 5*/, 0x20, 0x01, 0x0E, 0x12, 0x01, 0x00, 0x81};
	EXPECT_EQ(decode_error(container(object_word, {"a"})), INVALID_RECORD);
	object_word[2] = 0x00;  // index 0: fine
	EXPECT_EQ(decode_error(container(object_word, {"a"})), 0);
	// A native slot past the table, an action slot 0.
	EXPECT_EQ(decode_error(container({0x15, 0x7F, 0x05, 0x00})), INVALID_RECORD);
	EXPECT_EQ(decode_error(container({0x16, 0x00, 0x05, 0x00})), INVALID_RECORD);
	// An error code naming no catalog entry.
	EXPECT_EQ(decode_error(container({0x22, 0xE7, 0x07, 3, 3, 3, 3, 3, 3})), INVALID_RECORD);
	// A function whose context has a word its spec does not declare.
	Bytes fn = {0x18, 0x01, 0x00, 0x0E, 0x05, 0x01, 0x00, 0x05, 0x01, 0x0F, 0x01, 0x05, 0x00};
	EXPECT_EQ(decode_error(container(fn, {"x", "y"})), INVALID_RECORD);
	fn[10] = 0x00;  // spec [x]: matches
	EXPECT_EQ(decode_error(container(fn, {"x", "y"})), 0);
	// A change-handler slot naming a field that holds no function.
	Bytes handler = {0x60, 0x00, 0x80, 0x80, 0x04, 0x00, 0x0E, 0x12, 0x01, 0x00, 0x81};
	EXPECT_EQ(decode_error(container(handler, {"on-change*"})), INVALID_RECORD);
	// A date with month 0; a money digit above 9.
	EXPECT_EQ(decode_error(container({0x2F, 0x80, 0x00, 0xD0, 0x0F})), INVALID_RECORD);
	EXPECT_EQ(decode_error(container({0x31, 0, 0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), INVALID_RECORD);
	// Sizes are checked before anything is allocated.
	EXPECT_EQ(decode_error(container({0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F})), INVALID_RECORD);
	EXPECT_EQ(decode_error(container({0x07, 0xFE, 0xFF, 0xFF, 0xFF, 0x0F})), INVALID_RECORD);
	EXPECT_EQ(decode_error(container({0x23, 0x2E, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F})), INVALID_RECORD);
}

TEST_F(Serial, ReaderFormsNoWriterProduces) {
	// Whole-value reference: a copy of the cell at the path.
	Cell out = decoded(container({0x05, 0x01, 0x0B, 0x29, 0xFF, 0x02, 0x00, 0x00}));
	EXPECT_EQ(mold_of(out), "[[-21] -21]");
	// Escape: id 11 written as 63 then a varint.
	EXPECT_EQ(mold_of(decoded(container({0x3F, 0x0B, 0x04}))), "[2]");
	// A standalone context record reads back as an object.
	out = decoded(container({0x0E, 0x12, 0x01, 0x00, 0x85}, {"k"}));
	EXPECT_EQ(mold_of(out), "[make object! [\n    k: 5\n]]");
	// Boot mode: a set prefix assigns a global word and leaves nothing.
	out = decoded(container({0xC4, 0x10, 0x00, 0x87, 0x84}, {"boot-set-probe"}), serial_reader::Mode::boot);
	EXPECT_EQ(mold_of(out), "[4]");
	EXPECT_EQ(mold_of(run("boot-set-probe")), "7");
	// Boot mode: a word naming its object by literal index 0.
	out = decoded(container({0x0E, 0x12, 0x01, 0x00, 0x86, 0x4F, 0x00, 0x00, 0x00}, {"k"}),
		serial_reader::Mode::boot);
	define("boot-words", out);
	EXPECT_EQ(mold_of(run("get pick boot-words 2")), "6");
}

TEST_F(Serial, FixedWidthPaddingWordsAndPathRecords) {
	// A padding word, integer 5, then a path record standing for a copy of
	// the first value.
	Bytes c = hex("56 59 4E 42 49 4E 02 00 01 00 00 00 18 00 00 00 "
		"00 00 00 00 0B 00 00 00 05 00 00 00 FF 00 00 00 01 00 00 00 00 00 00 00");
	EXPECT_EQ(mold_of(decoded(c)), "[5 5]");
	// Ids no record has: 13, 42, 55 and above.
	for (uint8_t id : {13, 42, 55, 200}) {
		Bytes bad = hex("56 59 4E 42 49 4E 02 00 01 00 00 00 04 00 00 00 00 00 00 00");
		bad[16] = id;
		EXPECT_EQ(bad_position(bad), 17) << int(id);
	}
}

TEST_F(Serial, FixedWidthOperatorsOfFunctionsReadBack) {
	// make op! func [a b][b]: the op's header carries the wrapped id 24 in
	// bits 16-23, which sets bit 19, the reference bit of other records.
	Bytes c = hex("56 59 4E 42 49 4E 02 04 01 00 00 00 68 00 00 00 02 00 00 00 10 00 00 00 "
		"00 00 00 00 08 00 00 00 61 00 00 00 00 00 00 00 62 00 00 00 00 00 00 00 "
		"17 00 18 00 "                                         // op of a function
		"18 00 00 00 02 00 00 00 01 00 00 00 "                 // function, spec 2, body 1
		"0E 00 00 24 02 00 00 00 00 00 00 00 01 00 00 00 "     // context on the stack: a b
		"05 00 00 00 00 00 00 00 02 00 00 00 "                 // spec [a b]
		"0F 00 00 02 00 00 00 00 00 00 00 00 0F 00 00 02 01 00 00 00 00 00 00 00 "
		"05 00 00 00 00 00 00 00 01 00 00 00 "                 // body [b]
		"0F 00 08 00 01 00 00 00 01 00 00 00 FF 00 00 00 01 00 00 00 00 00 00 00");
	Cell out = decoded(c);
	ASSERT_TRUE(cell::is(&out, T_BLOCK)) << error::code_of(&out);
	define("fixed-op", first(out));
	EXPECT_EQ(mold_of(run("reduce [type? :fixed-op 2 fixed-op 5]")), "[op! 5]");
	EXPECT_EQ(round_trip("make op! func [a b /local t][t: a - b t * t]"),
		"make op! func [a b /local t][t: a - b t * t]");
	define("fixed-sq", first(decoded(encoded("make op! func [a b /local t][t: a - b t * t]", false))));
	EXPECT_EQ(mold_of(run("7 fixed-sq 4")), "9");
}

TEST_F(Serial, CompressedPayloadsAreExpandedFirst) {
	Bytes plain = encoded("append/dup copy [] \"some text\" 50");
	Bytes body(plain.begin() + 8, plain.end());
	auto work = std::make_unique<crush::Workspace>();
	Bytes packed(body.size());
	int64_t n = crush::compress(body.data(), uint32_t(body.size()), packed.data(), *work);
	ASSERT_GT(n, 0);
	Bytes c(plain.begin(), plain.begin() + 8);
	c[7] |= 2;
	c.insert(c.end(), packed.begin(), packed.begin() + n);
	EXPECT_EQ(mold_of(decoded(c)), mold_of(decoded(plain)));
}

TEST_F(Serial, FixedWidthLayout) {
	// Header word, then the fields; floats start on a multiple of 8 of the
	// payload, after a zero padding word when needed.
	Bytes b = encoded("reduce [none 1.5]", false);
	ASSERT_EQ(b[7], 0);
	EXPECT_EQ(hex_of(b, 16), "05 00 00 00 00 00 00 00 02 00 00 00 03 00 00 00 "
		"0C 00 00 00 00 00 F8 3F 00 00 00 00");
	b = encoded("[1 1.5]", false);
	EXPECT_EQ(hex_of(b, 16), "05 00 00 00 00 00 00 00 02 00 00 00 0B 00 00 00 01 00 00 00 "
		"00 00 00 00 0C 00 00 00 00 00 F8 3F 00 00 00 00")
		<< "the integer record ends on 8 already: a padding word is still one word short";
	// A 3-character Latin-1 string: header (unit 1), head, count, 3 bytes, 1 padding byte.
	EXPECT_EQ(hex_of(encoded("\"abc\"", false), 16), "07 01 00 00 00 00 00 00 03 00 00 00 61 62 63 00");
	// A tuple of 4 bytes: 4 in bits 8-15.
	EXPECT_EQ(hex_of(encoded("1.2.3.4", false), 16), "27 04 00 00 01 02 03 04 00 00 00 00 00 00 00 00");
	EXPECT_EQ(round_trip("reduce [none 1.5 \"abc\" 1.2.3.4 [a b] 5x6]"), "[none 1.5 \"abc\" 1.2.3.4 [a b] 5x6]");
}

}  // namespace
}  // namespace vyn::test::objects
