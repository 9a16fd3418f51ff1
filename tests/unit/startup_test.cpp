#include <gtest/gtest.h>

#include <string>

#include "runtime/context.h"
#include "runtime/datatypes/object.h"
#include "runtime/symbol.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

using Startup = ObjectScript;

std::string global_word_name(uint32_t n) {
	return std::string(symbol::name(context::word_cell(context::global, n)->data2));
}

TEST_F(Startup, TheFirstGlobalWordsAreTheTypeWordsInIdOrder) {
	ASSERT_GT(context::word_count(context::global), uint32_t(T_IMAGE));
	for (int t = 1; t <= T_IMAGE; t++) EXPECT_EQ(global_word_name(uint32_t(t - 1)), registry::names[t].name) << t;
	// event! is registered after the start-up's own words.
	EXPECT_NE(global_word_name(T_IMAGE), "event!");
	EXPECT_EQ(registry::type_count, int(T_EVENT));
}

TEST_F(Startup, TypeWordsHoldTheirDatatypeExceptTheInternalOnes) {
	for (int t = 1; t < TYPE_COUNT; t++) {
		Cell* value = context::global_value(registry::names[t].word_symbol);
		ASSERT_NE(value, nullptr) << registry::names[t].name;
		switch (t) {
		case T_SYMBOL:
		case T_CONTEXT: EXPECT_TRUE(cell::is(value, T_UNSET)) << registry::names[t].name; break;
		case T_SERIES: EXPECT_TRUE(cell::is(value, T_TYPESET)); break;
		default:
			EXPECT_TRUE(cell::is(value, T_DATATYPE) && value->data1 == uint32_t(t)) << registry::names[t].name;
		}
	}
}

TEST_F(Startup, ObjectsMadeAfterStartUpCountFromTheRunTimeBase) {
	EXPECT_EQ(molded("reflect make object! [a: 1] 'class"), std::to_string(object::FIRST_CLASS_ID + 1));
	EXPECT_EQ(molded("reflect make object! [] 'class"), std::to_string(object::FIRST_CLASS_ID + 2));
}

}  // namespace
}  // namespace vyn::test::objects
