#include "runtime/datatypes/email.h"

#include <gtest/gtest.h>

#include "tests/unit/string_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Email : public StringTest {
protected:
	static Cell path(Cell e, Cell element, Cell* value = nullptr) {
		return *actions::eval_path(&e, &element, value, nullptr, nullptr, nullptr, -1, false, !value, true, false);
	}
};

TEST_F(Email, MoldIsTheBareText) {
	EXPECT_EQ(molded(str("joe@example.com", T_EMAIL)), "joe@example.com");
	EXPECT_EQ(formed(str("joe@example.com", T_EMAIL)), "joe@example.com");
}

TEST_F(Email, IntegerPathsPickAndPokeOtherElementsAreRefused) {
	Cell e = str("joe@x.org", T_EMAIL);
	Cell c = path(e, int_value(2));
	ASSERT_TRUE(cell::is(&c, T_CHAR));
	EXPECT_EQ(c.data2, uint32_t('o'));
	Cell z = chr('Z');
	path(e, int_value(1), &z);
	EXPECT_EQ(utf8(e), "Zoe@x.org");
	EXPECT_EQ(raised([&] { path(e, str("user")); }), code(errors::id::script_invalid_path));
}

}  // namespace
