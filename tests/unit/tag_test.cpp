#include "runtime/datatypes/tag.h"

#include <gtest/gtest.h>

#include "tests/unit/string_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Tag : public StringTest {};

TEST_F(Tag, FormAndMoldAddTheBrackets) {
	struct Case {
		const char* text;
		const char* out;
	} cases[] = {{"a href", "<a href>"}, {"", "<>"}, {"b \"x\"", "<b \"x\">"}};
	for (const Case& c : cases) {
		EXPECT_EQ(formed(str(c.text, T_TAG)), c.out);
		EXPECT_EQ(molded(str(c.text, T_TAG)), c.out);
	}
	Cell t = str("abc", T_TAG), out, flag = int_value(3);
	string::make_at(&out, 8);
	EXPECT_EQ(actions::form(&t, &out, &flag, 3), -1);
	EXPECT_EQ(utf8(out), "<ab>") << "the caller cuts the output to the limit";
}

TEST_F(Tag, ComparesWithStringsForEqualityOnly) {
	Cell t = str("ABC", T_TAG), s = str("abc");
	EXPECT_TRUE(actions::compare(&t, &s, COMP_EQUAL));
	EXPECT_FALSE(actions::compare(&t, &s, COMP_NOT_EQUAL));
	EXPECT_EQ(raised([&] { actions::compare(&t, &s, COMP_LESSER); }), code(errors::id::script_invalid_compare));
	Cell n = int_value(1);
	EXPECT_FALSE(actions::compare(&t, &n, COMP_EQUAL));
}

}  // namespace
