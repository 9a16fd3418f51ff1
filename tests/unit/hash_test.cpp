// hash! own actions: make, to, copy, sort and trim leave an index that
// holds exactly the block's positions.
#include <gtest/gtest.h>

#include <functional>

#include "runtime/datatypes/hash.h"
#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class HashType : public BlockTest {
protected:
	void SetUp() override {
		BlockTest::SetUp();
		hash_::init_type();
	}

	static Cell hashed(const char* source) {
		Cell spec = load(source);
		Cell h;
		hash_::make(&h, &spec, T_HASH);
		return h;
	}
};

TEST_F(HashType, OwnActionsLeaveAnExactIndex) {
	struct Case {
		const char* what;
		const char* expected;  // the values afterwards
		std::function<Cell(Cell&)> run;  // on the hash! "d b none a c b none"
	} cases[] = {
		{"make from a block", "d b none a c b none", [](Cell& h) { return h; }},
		{"make from a hash!", "d b none a c b none", [](Cell& h) { Cell o; return *hash_::make(&o, &h, T_HASH); }},
		{"make from a position", "c b none", [](Cell& h) {
			Cell spec = at(h, 4), o;
			cell::set_type(&spec, T_BLOCK);
			return *hash_::make(&o, &spec, T_HASH);
		}},
		{"make with a capacity", "", [](Cell&) { Cell o, n = num(0); return *hash_::make(&o, &n, T_HASH); }},
		{"to from a string", "x y x", [](Cell&) {
			Cell o, s = value("\"x y x\"");
			return *hash_::to(&o, &s, T_HASH);
		}},
		{"copy", "d b none a c b none", [](Cell& h) { Cell o; return *hash_::copy(&h, &o, nullptr, false, nullptr); }},
		{"copy/part", "b none a", [](Cell& h) {
			Cell o, from = at(h, 1), n = num(3);
			return *hash_::copy(&from, &o, &n, false, nullptr);
		}},
		{"copy/deep", "d b none a c b none", [](Cell& h) { Cell o; return *hash_::copy(&h, &o, nullptr, true, nullptr); }},
		{"sort", "none none a b b c d", [](Cell& h) {
			hash_::sort(&h, false, nullptr, nullptr, nullptr, false, false, false);
			return h;
		}},
		{"sort/part from a position", "d none a b c b none", [](Cell& h) {
			Cell from = at(h, 1), n = num(4);
			hash_::sort(&from, false, nullptr, nullptr, &n, false, false, false);
			return h;
		}},
		{"trim", "d b a c b", [](Cell& h) {
			hash_::trim(&h, false, false, false, false, false, nullptr);
			return h;
		}},
		{"trim from a position", "d b a c b", [](Cell& h) {
			Cell from = at(h, 2);
			hash_::trim(&from, false, false, false, false, false, nullptr);
			return h;
		}},
	};
	for (const Case& c : cases) {
		Cell h = hashed("d b none a c b none");
		Cell r = c.run(h);
		Cell whole = at(r, 0);
		EXPECT_EQ(cells_of(whole), c.expected) << c.what;
		ASSERT_TRUE(cell::is(&r, T_HASH)) << c.what;
		expect_hash_indexed(r, c.what);
		if (r.data2 != h.data2) expect_hash_indexed(h, c.what);
	}
}

TEST_F(HashType, APlainCopySharesNothingWithItsSource) {
	Cell h = hashed("a b c");
	Cell c;
	hash_::copy(&h, &c, nullptr, false, nullptr);
	EXPECT_NE(c.data3, h.data3);
	Cell z = value("z");
	block::append_value(&c, &z);
	series::hash_inserted(&c, 3, 1);
	expect_hash_indexed(c, "copy");
	expect_hash_indexed(h, "source");
	EXPECT_EQ(hash::get(h.data3, &z, 0, 1, COMP_EQUAL, false, false), nullptr);
}

TEST_F(HashType, MoldWritesTheMakerUnlessOnly) {
	Cell h = hashed("1 [2]");
	EXPECT_EQ(mold_of(h), "make hash! [1 [2]]");
	EXPECT_EQ(mold_of(h, {.only = true}), "1 [2]");
	EXPECT_EQ(form_of(h), "1 2");
	EXPECT_EQ(mold_of(h, {.limit = 13}), "make hash! [1");
}

}  // namespace
