#include "runtime/io/http.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vyn::http {
namespace {

std::string joined(const std::vector<Header>& headers) {
	std::string out;
	for (const Header& h : headers) out += "[" + h.name + "|" + h.value + "]";
	return out;
}

std::string read_lines(std::initializer_list<const char*> lines) {
	std::vector<Header> headers;
	for (const char* l : lines) read_header_line(l, headers);
	return joined(headers);
}

// The value starts after the white space that follows the colon, however
// much there is; nothing of it is lost when there is none.
TEST(HttpHeaderLines, ValuesSkipTheWhiteSpaceAroundThem) {
	struct Case {
		std::initializer_list<const char*> lines;
		const char* expected;
	} cases[] = {
		{{"Name: value\r\n"}, "[Name|value]"},
		{{"Name:value\r\n"}, "[Name|value]"},
		{{"Name: \t value \t\r\n"}, "[Name|value]"},
		{{"Name:\r\n"}, "[Name|]"},
		{{"Location: http://h:80/a?b=c:d\r\n"}, "[Location|http://h:80/a?b=c:d]"},
		{{"Name: v\n"}, "[Name|v]"},
		{{"Name: v"}, "[Name|v]"},
		{{"A: 1\r\n", "\r\n"}, "[A|1]"},
		{{"no colon here\r\n", "B: 2\r\n"}, "[B|2]"},
		{{"Folded: first\r\n", " \t second\r\n", "\tthird\r\n"}, "[Folded|first second third]"},
		{{" orphan\r\n", "C: 3\r\n"}, "[C|3]"},
	};
	for (const Case& c : cases) EXPECT_EQ(read_lines(c.lines), c.expected) << *c.lines.begin();
}

// Each status line starts a new set: after redirects and interim answers
// only the last answer's headers remain.
TEST(HttpHeaderLines, AStatusLineStartsANewSet) {
	EXPECT_EQ(read_lines({"HTTP/1.1 302 Found\r\n", "Location: /b\r\n", "\r\n", "HTTP/1.1 100 Continue\r\n",
				  "\r\n", "HTTP/1.1 200 OK\r\n", "X: 1\r\n", "X: 2\r\n", "\r\n"}),
		"[X|1][X|2]");
}

TEST(HttpUrls, WhatCannotStandInARequestLineIsEscaped) {
	struct Case {
		std::string in, out;
	} cases[] = {
		{"http://h/a b", "http://h/a%20b"},
		{"http://h/caf\xC3\xA9", "http://h/caf%C3%A9"},
		{"http://h/a%20b?x=1&y=[2]#f", "http://h/a%20b?x=1&y=[2]#f"},
		{"http://h/\r\nHost: evil", "http://h/%0D%0AHost:%20evil"},
		{std::string("http://h/\0x", 11), "http://h/%00x"},
		{"http://h/\"<>\\^`{|}\x7F", "http://h/%22%3C%3E%5C%5E%60%7B%7C%7D%7F"},
	};
	for (const Case& c : cases) EXPECT_EQ(escape_url(c.in), c.out) << c.in;
}

TEST(HttpTokens, MethodsAndNamesMustBeTokens) {
	for (const char* ok : {"GET", "X-Custom_1", "M-SEARCH", "a!#$%&'*+-.^_`|~z"}) EXPECT_TRUE(is_token(ok)) << ok;
	for (const char* bad : {"", "a b", "a:b", "a\r\nb", "caf\xC3\xA9", "(x)", "a/b", "a\"b"})
		EXPECT_FALSE(is_token(bad)) << bad;
}

}  // namespace
}  // namespace vyn::http
