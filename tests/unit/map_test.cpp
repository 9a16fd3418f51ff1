// map! internals: stored key forms, removal and revival of entries, the
// table of copies, and growth under many keys.
#include <gtest/gtest.h>

#include "runtime/datatypes/file.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/tag.h"
#include "runtime/datatypes/url.h"
#include "runtime/evaluator/token_loaders.h"
#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class MapTest : public BlockTest {
protected:
	lexer::ExtendedLoaders saved_loaders = lexer::extended;
	void SetUp() override {
		BlockTest::SetUp();
		hash_::init_type();
		map::init_type();
		url::init_type();
		file::init_type();
		tag::init_type();
	}
	void TearDown() override {
		lexer::extended = saved_loaders;
		BlockTest::TearDown();
	}

	static Cell map_of(const char* source) {
		Cell spec = load(source);
		Cell m;
		map::make(&m, &spec, T_MAP);
		return m;
	}
	static uint32_t cells(const Cell& m) { return memory::buffer_of(&m)->used() / uint32_t(sizeof(Cell)); }
	static Cell select(const Cell& m, const Cell& key) {
		Cell v = m, k = key;
		return *map::select(&v, &k, nullptr, false, false, false, false, nullptr, nullptr, false, false);
	}
	static int32_t selected(const Cell& m, const Cell& key) {
		Cell v = select(m, key);
		return cell::is(&v, T_INTEGER) ? cell::get_integer(&v) : -1;
	}
	static bool missing(const Cell& m, const Cell& key) {
		Cell v = select(m, key);
		return cell::is(&v, T_NONE);
	}
};

TEST_F(MapTest, KeysAreStoredInNormalForm) {
	struct Case {
		const char* key;
		Type stored;
		bool copied;  // a private copy of the series
	} cases[] = {
		{"a", T_SET_WORD, false}, {"'a", T_SET_WORD, false}, {":a", T_SET_WORD, false}, {"a:", T_SET_WORD, false},
		{"\"s\"", T_STRING, true}, {"%f", T_FILE, true}, {"<t>", T_TAG, true},
		{"/r", T_REFINEMENT, false}, {"#i", T_ISSUE, false}, {"7", T_INTEGER, false}, {"1.5", T_FLOAT, false},
		{"#\"c\"", T_CHAR, false}, {"10%", T_PERCENT, false},
		{"1:00", T_TIME, false},
	};
	for (const Case& c : cases) {
		Cell key = value(c.key);
		Cell before = key;
		map::preprocess_key(&key, nullptr);
		EXPECT_EQ(cell::type_of(&key), c.stored) << c.key;
		if (c.copied)
			EXPECT_NE(key.data2, before.data2) << c.key;
		else
			EXPECT_EQ(key.data2, before.data2) << c.key;
	}
	for (const char* bad : {"[1]", "(1)", "none", "true", "a/b"}) {
		Cell key = value(bad);
		EXPECT_EQ(test::raised([&] { map::preprocess_key(&key, nullptr); }), errors::id::script_invalid_path.code())
			<< bad;
		EXPECT_FALSE(map::valid_key(cell::type_of(&key))) << bad;
	}
}

TEST_F(MapTest, RepeatedKeysLeaveTheBlockWithTheirValueKept) {
	Cell m = map_of("a 1 b 2 A 3 \"x\" 4 \"X\" 5");
	EXPECT_EQ(map::count(&m), 3u);
	EXPECT_EQ(cells(m), 6u) << "later pairs leave the block";
	EXPECT_EQ(selected(m, value("a")), 3);
	EXPECT_EQ(selected(m, value("\"x\"")), 5);
	EXPECT_EQ(mold_of(m, {.flat = true}), "#[a: 3 b: 2 \"x\" 5]");
}

TEST_F(MapTest, TextKeysMatchAsTheirTypeComparesThem) {
	Cell m = map_of("\"Word\" 1 %word 2 <word> 3 \"caf\u00e9\" 4 \"\" 5 \"wordy\" 6 \"\u4e2dx\" 7");
	struct Case {
		Cell key;
		bool case_sensitive;
		int32_t found;  // -1: none
	} cases[] = {
		{value("\"Word\""), false, 1}, {value("\"WORD\""), false, 1}, {value("\"WORD\""), true, -1},
		{value("\"Word\""), true, 1}, {value("%WORD"), false, 2}, {value("<Word>"), false, 3},
		{value("\"CAF\u00c9\""), false, 4}, {value("\"caf\u00e9\""), true, 4}, {value("\"cafe\""), false, -1},
		{value("\"\""), false, 5}, {value("\"word\u4e2d\""), false, -1}, {value("\"wor\""), false, -1},
		{at(value("\"xWord\""), 1), false, 1},  // from the key's head
		{at(value("\"xwordy\""), 1), false, 6}, {value("\"\u4e2dX\""), false, 7}, {value("\"\u4e2dX\""), true, -1},
	};
	for (const Case& c : cases) {
		Cell v = m, k = c.key;
		Cell found = *map::select(&v, &k, nullptr, false, c.case_sensitive, false, false, nullptr, nullptr, false, false);
		EXPECT_EQ(cell::is(&found, T_INTEGER) ? cell::get_integer(&found) : -1, c.found)
			<< mold_of(c.key) << (c.case_sensitive ? " /case" : "");
	}
}

TEST_F(MapTest, RemovedEntriesAreSkippedAndRevivedInPlace) {
	Cell m = map_of("a 1 b 2 c 3");
	Cell key = value("b");
	map::remove(&m, nullptr, &key);
	EXPECT_EQ(map::count(&m), 2u);
	EXPECT_EQ(block::vs_abs_at(&m, 3)->header, 0u) << "the value cell is emptied";
	EXPECT_TRUE(missing(m, key));
	map::remove(&m, nullptr, &key);
	EXPECT_EQ(map::count(&m), 2u) << "removing twice counts once";
	EXPECT_EQ(mold_of(m, {.flat = true}), "#[a: 1 c: 3]");
	Cell nine = num(9);
	map::set_value(&m, &key, &nine, false);
	EXPECT_EQ(map::count(&m), 3u);
	EXPECT_EQ(cells(m), 6u) << "the removed entry is reused";
	EXPECT_EQ(mold_of(m, {.flat = true}), "#[a: 1 b: 9 c: 3]");
}

TEST_F(MapTest, CopiesAndClearedMapsKeepTheirOwnTables) {
	Cell m = map_of("a 1 b 2");
	Cell b = value("b");
	map::remove(&m, nullptr, &b);
	Cell c;
	map::copy(&m, &c, nullptr, false, nullptr);
	EXPECT_NE(c.data2, m.data2);
	EXPECT_NE(c.data3, m.data3);
	EXPECT_EQ(map::count(&c), 1u);
	Cell z = value("z"), one = num(1);
	map::set_value(&c, &z, &one, false);
	EXPECT_TRUE(missing(m, z));
	EXPECT_EQ(map::count(&m), 1u);
	map::clear(&m);
	EXPECT_EQ(map::count(&m), 0u);
	EXPECT_TRUE(missing(m, value("a")));
	map::set_value(&m, &z, &one, false);
	EXPECT_EQ(mold_of(m, {.flat = true}), "#[z: 1]");
	EXPECT_EQ(mold_of(c, {.flat = true}), "#[a: 1 z: 1]");
}

TEST_F(MapTest, ManyKeysStayFindableThroughGrowthAndRemoval) {
	Cell m;
	map::make_at(&m, 0, 2);
	constexpr int32_t N = 20000;
	for (int32_t i = 0; i < N; i++) {
		Cell k = num(i * 7), v = num(i);
		map::set_value(&m, &k, &v, false);
	}
	ASSERT_EQ(map::count(&m), uint32_t(N));
	for (int32_t i = 0; i < N; i += 2) {
		Cell k = num(i * 7);
		map::remove(&m, nullptr, &k);
	}
	EXPECT_EQ(map::count(&m), uint32_t(N / 2));
	for (int32_t i = 0; i < N; i++) {
		if (i % 2)
			ASSERT_EQ(selected(m, num(i * 7)), i) << i;
		else
			ASSERT_TRUE(missing(m, num(i * 7))) << i;
	}
	EXPECT_TRUE(missing(m, num(3)));
}

TEST_F(MapTest, LiteralsLoadThroughTheLexer) {
	Cell b = load("#[a 1 \"k\" [2]]");
	Cell m = *block::vs_head(&b);
	ASSERT_TRUE(cell::is(&m, T_MAP));
	EXPECT_EQ(map::count(&m), 2u);
	EXPECT_EQ(mold_of(m), "#[\n    a: 1\n    \"k\" [2]\n]");
}

}  // namespace
