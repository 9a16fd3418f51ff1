#include "runtime/datatypes/ref.h"

#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "tests/unit/extended_support.h"

using namespace vyn;

namespace {

class Ref : public test::ValueTest {
protected:
	void SetUp() override {
		ValueTest::SetUp();
		series::init_type();
		string::init_type();
		ref::init_type();
	}
	Cell ref_of(std::string_view text) {
		Cell r;
		return *ref::load_at(&r, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
	}
};

TEST_F(Ref, MoldAddsTheAtSignAndFormDoesNot) {
	struct Case {
		const char* text;
		const char* form;
		const char* mold;
	} cases[] = {
		{"abc", "abc", "@abc"},
		{"", "", "@"},
		{"with space", "with space", "@with space"},
		{"na\xC3\xAFve", "na\xC3\xAFve", "@na\xC3\xAFve"},
	};
	for (const Case& c : cases) {
		Cell r = ref_of(c.text);
		EXPECT_TRUE(cell::is(&r, T_REF));
		EXPECT_EQ(test::form_of(r), c.form);
		EXPECT_EQ(test::mold_of(r), c.mold);
	}
	Cell r = ref_of("abcdef");
	r.data1 = 2;
	EXPECT_EQ(test::mold_of(r), "@cdef") << "from the head";
}

TEST_F(Ref, MoldWithAPartCountsTheAtSign) {
	Cell r = ref_of("abcdef"), buffer, limit;
	string::make_at(&buffer, 16);
	cell::make_integer(&limit, 3);
	int32_t left = actions::mold(&r, &buffer, false, false, false, &limit, 3, 0);
	EXPECT_EQ(test::utf8_of(&buffer), "@ab");
	EXPECT_EQ(left, 0);
}

TEST_F(Ref, StringActionsApplyButAppendIsUnsupported) {
	Cell a = ref_of("abc"), b = ref_of("ABC"), s;
	string::load_at(&s, "abc");
	EXPECT_TRUE(actions::compare(&a, &b, COMP_EQUAL)) << "refs compare as strings";
	EXPECT_FALSE(actions::compare(&a, &b, COMP_STRICT_EQUAL));
	EXPECT_EQ(actions::get<action::LengthFn>(&a, A_LENGTH_Q)(&a), 3);

	Cell proto;
	cell::set(&proto, T_DATATYPE, T_REF);
	Cell* converted = actions::get_for_type<action::MakeFn>(T_REF, &proto, A_TO)(&proto, &s, T_REF);
	EXPECT_TRUE(cell::is(converted, T_REF));
	EXPECT_EQ(test::mold_of(*converted), "@abc");

	Cell tail = a, x;
	tail.data1 = 3;
	cell::set(&x, T_CHAR, 0, 'x');
	actions::get<action::InsertFn>(&tail, A_INSERT)(&tail, &x, -1, false, 1, false);
	EXPECT_EQ(test::form_of(a), "abcx") << "insert at the tail works";
	EXPECT_EQ(registry::entry(T_REF, A_APPEND), nullptr);
	EXPECT_EQ(test::raised([&] { actions::get<action::InsertFn>(&a, A_APPEND); }), errors::id::script_expect_arg.code());
	EXPECT_EQ(registry::entry(T_REF, A_SORT), nullptr);
	EXPECT_EQ(registry::entry(T_REF, A_EVAL_PATH), nullptr);
	EXPECT_EQ(ref::push(&a)->data2, a.data2);
}

}  // namespace
