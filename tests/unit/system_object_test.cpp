#include <gtest/gtest.h>

#include <string>

#include "runtime/datatypes/error.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

using SystemObject = ObjectScript;

// money! keeps a currency's position in one byte: the list takes codes up
// to 255 and refuses the next one. (Here rather than in a transcript: the
// 85 guarded appends are too slow for the collector's stress mode.)
TEST_F(SystemObject, TheCurrencyListHoldsAt255CodesAtMost) {
	run("list: system/locale/currencies/list n: 0 "
		"code: does [to word! append append copy \"Q\" to char! 66 + to integer! n / 26 "
		"to char! 65 + remainder n 26]");
	EXPECT_EQ(molded("while [254 > length? list][append list code n: n + 1] length? list"), "254");
	EXPECT_EQ(molded("append list 'qzz reduce [length? list pick list 255]"), "[255 QZZ]");
	EXPECT_EQ(error_code("append list 'qzy"), 351);
	EXPECT_EQ(molded("length? list"), "255");
	EXPECT_EQ(molded("reduce [QZZ$1 pick list 255]"), "[QZZ$1.00 QZZ]");
}

}  // namespace
}  // namespace vyn::test::objects
