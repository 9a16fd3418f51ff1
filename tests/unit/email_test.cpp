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

TEST_F(Email, UserAndHostParts) {
	struct Case {
		const char* email;
		const char* part;
		const char* got;
	} cases[] = {
		{"joe@example.com", "user", "joe"},
		{"joe@example.com", "host", "example.com"},
		{"joe@example.com", "HOST", "example.com"},  // words ignore letter case
		{"nobody", "user", "nobody"},
		{"nobody", "host", ""},
		{"@h", "user", ""},
		{"a@b@c", "host", "b@c"},
	};
	for (const Case& c : cases) {
		Cell got = path(str(c.email, T_EMAIL), word_of(c.part));
		EXPECT_EQ(cell::type_of(&got), T_STRING);
		EXPECT_EQ(utf8(got), c.got) << c.email << "/" << c.part;
	}
	EXPECT_EQ(raised([&] { path(str("a@b", T_EMAIL), word_of("name")); }), code(errors::id::script_invalid_path));
}

TEST_F(Email, SettingAPartChangesTheValueInPlace) {
	struct Case {
		const char* email;
		const char* part;
		const char* value;
		const char* after;
	} cases[] = {
		{"joe@example.com", "host", "vyn.org", "joe@vyn.org"},
		{"joe@example.com", "user", "anna", "anna@example.com"},
		{"@h", "user", "x", "x@h"},
		{"nobody", "host", "h", "nobodyh"},  // without "@" the host is the empty text at the tail
		{"nobody", "user", "x", "x"},
	};
	for (const Case& c : cases) {
		Cell e = str(c.email, T_EMAIL), v = str(c.value), w = word_of(c.part);
		Cell* answer = actions::eval_path(&e, &w, &v, nullptr, nullptr, nullptr, -1, false, false, true, false);
		EXPECT_EQ(utf8(*answer), c.value);
		EXPECT_EQ(utf8(e), c.after) << c.email << "/" << c.part;
		EXPECT_EQ(cell::type_of(&e), T_EMAIL);
	}
}

}  // namespace
