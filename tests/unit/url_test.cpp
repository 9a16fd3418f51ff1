#include "runtime/datatypes/url.h"

#include <gtest/gtest.h>

#include "tests/unit/string_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Url : public StringTest {};

TEST_F(Url, MoldPercentEncodes) {
	struct Case {
		const char* text;
		const char* mold;
	} cases[] = {
		{"http://a.b/c?d=1&e=f#g", "http://a.b/c?d=1&e=f#g"},
		{"http://a.b/x y", "http://a.b/x%20y"},
		{"http://a.b/caf\xC3\xA9", "http://a.b/caf%C3%A9"},
		{"ftp://h/%\"<>{}", "ftp://h/%25%22%3C%3E%7B%7D"},
		{"x:\xE4\xB8\xAD", "x:%E4%B8%AD"},
	};
	for (const Case& c : cases) EXPECT_EQ(molded(str(c.text, T_URL)), c.mold) << c.text;
}

TEST_F(Url, MoldStopsAtTheLimit) {
	Cell u = str("a b", T_URL), out, flag = int_value(3);
	string::make_at(&out, 8);
	int32_t left = actions::mold(&u, &out, false, false, false, &flag, 3, 0);
	EXPECT_EQ(utf8(out), "a%2");
	EXPECT_EQ(left, 0);
}

TEST_F(Url, Decoding) {
	struct Case {
		const char* text;
		const char* decoded;
	} cases[] = {
		{"%41", "A"},
		{"%C3%A9", "\xC3\xA9"},
		{"%7E%7e", "~~"},
		{"%ZZ", "%ZZ"},
		{"%4", "%4"},
		{"a%", "a%"},
		{"%E9", "\xC3\xA9"},               // a lone byte stands for its Latin-1 character
		{"%C3", "\xC3\x83"},               // a lead byte without its follower, too
		{"%E4%B8%ADx", "\xE4\xB8\xADx"},
		{"%E4%B8", "\xC3\xA4\xC2\xB8"},
		{"caf\xC3\xA9%20ok", "caf\xC3\xA9 ok"},
	};
	for (const Case& c : cases) {
		Cell in = str(c.text), out;
		string::make_at(&out, 8);
		url::decode(&in, &out);
		EXPECT_EQ(utf8(out), c.decoded) << c.text;
	}
	Cell bad = str("%C3%28"), out;
	string::make_at(&out, 8);
	EXPECT_EQ(raised([&] { url::decode(&bad, &out); }), code(errors::id::access_invalid_utf8));
}

TEST_F(Url, EncodingModes) {
	struct Case {
		const char* text;
		int32_t mode;
		const char* encoded;
	} cases[] = {
		{"a b/c?d", url::ENCODE_UNRESERVED, "a%20b%2Fc%3Fd"},
		{"a b/c?d", url::ENCODE_URL, "a%20b/c?d"},
		{"-._~\xC3\xA9", url::ENCODE_UNRESERVED, "-._~%C3%A9"},
	};
	for (const Case& c : cases) {
		Cell in = str(c.text), out;
		string::make_at(&out, 8);
		url::encode(&in, &out, c.mode);
		EXPECT_EQ(utf8(out), c.encoded) << c.text;
	}
	Cell out;
	url::load_decoded(&out, reinterpret_cast<const uint8_t*>("x%C3%A9"), 7);
	EXPECT_EQ(utf8(out), "x\xC3\xA9");
}

TEST_F(Url, PathJoinsWithOneSlash) {
	struct Case {
		const char* url;
		const char* element;
		const char* joined;
	} cases[] = {
		{"http://a/", "b", "http://a/b"},
		{"http://a", "b", "http://a/b"},
		{"http://a/", "/b", "http://a/b"},
		{"http://a", "/b", "http://a/b"},
	};
	for (const Case& c : cases) {
		Cell u = str(c.url, T_URL), keep = u, e = str(c.element);
		Cell* r = actions::eval_path(&u, &e, nullptr, nullptr, nullptr, nullptr, -1, false, true, true, false);
		EXPECT_EQ(cell::type_of(r), T_URL);
		EXPECT_EQ(utf8(*r), c.joined);
		EXPECT_EQ(utf8(keep), c.url) << "the url itself is not changed";
	}
	// A get-word element gives its value first; other words are formed.
	Cell name = word_of("name"), value = str("/page");
	context::set(&name, &value);
	Cell get = word_of("name", T_GET_WORD), plain = word_of("name"), base = str("http://a/", T_URL);
	Cell base2 = base;
	EXPECT_EQ(utf8(*actions::eval_path(&base, &get, nullptr, nullptr, nullptr, nullptr, -1, false, true, true, false)),
		"http://a/page");
	EXPECT_EQ(utf8(*actions::eval_path(&base2, &plain, nullptr, nullptr, nullptr, nullptr, -1, false, true, true,
				  false)),
		"http://a/name");
	Cell u = str("http://a", T_URL), e = str("b"), v = str("c");
	EXPECT_EQ(raised([&] { actions::eval_path(&u, &e, &v, nullptr, nullptr, nullptr, -1, false, false, true, false); }),
		code(errors::id::script_bad_path_set));
}

TEST_F(Url, MakeFromABlock) {
	Node n = memory::alloc_cells(4);
	Series* s = memory::series(n);
	Cell* cells = s->head_cell();
	cells[0] = str("http");
	cells[1] = str("host");
	cells[2] = int_value(8080);
	cells[3] = str("path");
	s->tail = 4 * sizeof(Cell);
	Cell block, proto;
	cell::set(&block, T_BLOCK, 0, n, 0);
	cell::set(&proto, T_DATATYPE, T_URL);
	Cell* r = url::make(&proto, &block, T_URL);
	EXPECT_EQ(cell::type_of(r), T_URL);
	EXPECT_EQ(utf8(*r), "http://host:8080/path");
	Cell empty;
	cell::set(&empty, T_BLOCK, 4, n, 0);
	EXPECT_EQ(raised([&] { url::to(&proto, &empty, T_URL); }), code(errors::id::script_bad_to_arg));
	Cell spec = str("a b");
	EXPECT_EQ(utf8(*url::to(&proto, &spec, T_URL)), "a b") << "other specs are converted as by string!";
}

TEST_F(Url, ReadAndWriteGoThroughTheHttpService) {
	static std::string seen;
	file::io.request_http = [](const Cell* method, Cell* u, const Cell* headers, const Cell* body, bool, bool, bool,
								Cell* out) {
		EXPECT_TRUE(cell::is(method, T_WORD));
		seen = formed(*method) + " " + utf8(*u) + (headers ? " headers" : "") + (body ? " " + utf8(*body) : "");
		string::load_at(out, "answer");
		return !string::starts_with_ascii(u, "http://down");
	};
	Cell u = str("http://x/y", T_URL);
	Cell* r = actions::get<action::ReadFn>(&u, A_READ)(&u, nullptr, nullptr, false, false, false, nullptr);
	EXPECT_EQ(utf8(*r), "answer");
	EXPECT_EQ(seen, "get http://x/y");
	Cell w = str("https://x/y", T_URL), data = str("payload");
	actions::get<action::WriteFn>(&w, A_WRITE)(&w, &data, false, false, false, false, nullptr, nullptr, nullptr, nullptr);
	EXPECT_EQ(seen, "post https://x/y payload");
	Cell down = str("http://down", T_URL);
	EXPECT_EQ(raised([&] { actions::get<action::ReadFn>(&down, A_READ)(&down, nullptr, nullptr, false, false, false,
							   nullptr); }),
		code(errors::id::access_no_connect));
	Cell seek = int_value(1);
	Cell v = str("http://x", T_URL);
	EXPECT_EQ(raised([&] { actions::get<action::ReadFn>(&v, A_READ)(&v, nullptr, &seek, false, false, false, nullptr); }),
		code(errors::id::internal_not_done));
	Cell bad = int_value(5);
	Cell v2 = str("http://x", T_URL);
	EXPECT_EQ(raised([&] {
		actions::get<action::WriteFn>(&v2, A_WRITE)(&v2, &bad, false, false, false, false, nullptr, nullptr, nullptr,
			nullptr);
	}),
		code(errors::id::script_invalid_arg));
	file::io.request_http = nullptr;
}

TEST_F(Url, OtherSchemesGoThroughAPort) {
	Cell u = str("ftp://h/x", T_URL);
	EXPECT_EQ(raised([&] { actions::get<action::ReadFn>(&u, A_READ)(&u, nullptr, nullptr, false, false, false, nullptr); }),
		code(errors::id::internal_not_done)) << "no URL parser yet";
	url::parse_url = [](Cell* v, Cell* out) {
		if (string::starts_with_ascii(v, "ftp"))
			cell::set(out, T_OBJECT, 77);
		else
			cell::make_none(out);
	};
	ActionRow port{};
	port.make = [](Cell* proto, Cell* spec, Type) {
		cell::set(proto, T_PORT, spec->data1);
		return proto;
	};
	port.read = [](Cell* p, const Cell*, const Cell*, bool binary, bool, bool, const Cell*) {
		cell::make_integer(p, int32_t(p->data1) + (binary ? 1000 : 0));
		return p;
	};
	port.open = [](Cell* p, bool, bool, bool, bool, bool, const Cell*) {
		p->data2 = 1;
		return p;
	};
	ScopedRow ports(T_PORT, port);
	Cell* read = actions::get<action::ReadFn>(&u, A_READ)(&u, nullptr, nullptr, true, false, false, nullptr);
	EXPECT_EQ(cell::get_integer(read), 1077) << "the port made from the parser's object was read";
	Cell v = str("ftp://h/y", T_URL);
	Cell* opened = actions::get<action::OpenFn>(&v, A_OPEN)(&v, false, false, false, false, false, nullptr);
	EXPECT_EQ(cell::type_of(opened), T_PORT);
	EXPECT_EQ(opened->data2, 1u);
	Cell bad = str("zz:q", T_URL);
	EXPECT_EQ(raised([&] { actions::get<action::ReadFn>(&bad, A_READ)(&bad, nullptr, nullptr, false, false, false,
							   nullptr); }),
		code(errors::id::script_invalid_arg));
	url::parse_url = nullptr;
}

}  // namespace
