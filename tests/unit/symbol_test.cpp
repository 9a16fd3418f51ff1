#include "runtime/symbol.h"

#include <string>
#include <vector>

#include "tests/unit/core_tables.h"

using namespace vyn;
using namespace vyn::test;

namespace {

using Symbols = CoreTables;

TEST_F(Symbols, CaseVariantsAliasTheFirstSpelling) {
	uint32_t lower = sym("fooBar");
	uint32_t count = symbol::count();
	struct Case {
		const char* name;
	} variants[] = {{"FooBar"}, {"FOOBAR"}, {"foobar"}, {"fOObAR"}};
	for (const Case& c : variants) {
		uint32_t id = sym(c.name);
		EXPECT_NE(id, lower) << c.name;
		EXPECT_EQ(symbol::get_alias(id), int32_t(lower)) << c.name << ": the canonical spelling, never an alias";
		EXPECT_EQ(symbol::resolve(id), lower) << c.name;
		EXPECT_EQ(symbol::name(id), c.name);
		EXPECT_EQ(sym(c.name), id) << "made again, the same id";
	}
	EXPECT_EQ(symbol::count(), count + 4);
	EXPECT_EQ(sym("fooBar"), lower);
	EXPECT_LE(symbol::get_alias(lower), 0);
	EXPECT_EQ(symbol::resolve(lower), lower);
}

TEST_F(Symbols, AnAliasMetFirstStillGivesTheCanonicalAlias) {
	uint32_t canonical = sym("probe"), alias = sym("Probe");
	// Re-indexing may put the alias ahead of its canonical spelling in the
	// probe sequence: swap the two buckets' keys to make it so.
	hash::Table* t = hash::table_of(symbol::table);
	uint32_t* keys = hash::key_words(t);
	const uint32_t* flags = hash::flag_words(t);
	uint32_t* at_canonical = nullptr;
	uint32_t* at_alias = nullptr;
	for (uint32_t b = 0; b < t->buckets; b++) {
		if (hash::bucket_flag(flags, b) != hash::USED) continue;
		if (keys[b] + 1 == canonical) at_canonical = keys + b;
		if (keys[b] + 1 == alias) at_alias = keys + b;
	}
	ASSERT_TRUE(at_canonical && at_alias);
	std::swap(*at_canonical, *at_alias);
	uint32_t third = sym("PROBE");
	EXPECT_EQ(symbol::get_alias(third), int32_t(canonical));
	EXPECT_EQ(sym("probe"), canonical);
	EXPECT_EQ(sym("Probe"), alias);
}

TEST_F(Symbols, AnyCaseAnswersTheExistingSpelling) {
	uint32_t lower = sym("widget");
	uint32_t count = symbol::count();
	EXPECT_EQ(symbol::make_any_case("WIDGET"), lower);
	EXPECT_EQ(symbol::make_any_case("Widget"), lower);
	EXPECT_EQ(symbol::count(), count) << "nothing added";
	uint32_t upper = sym("WIDGET");
	EXPECT_EQ(symbol::make_any_case("WIDGET"), upper) << "an exact spelling wins";
	uint32_t fresh = symbol::make_any_case("gadget");
	EXPECT_EQ(symbol::name(fresh), "gadget");
	EXPECT_EQ(symbol::count(), count + 2);
}

TEST_F(Symbols, OnlyAsciiLettersFoldForAliases) {
	struct Case {
		const char *first, *second;
		bool aliased;
	} cases[] = {
		{"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", false},  // été / ÉTÉ
		{"\xC3\xA9t\xC3\xA9", "\xC3\xA9T\xC3\xA9", true},    // été / éTé
		{"a-b", "A-B", true},
		{"a[b", "A{B", false},  // [ and { differ by the case bit but are not letters
		{"x@", "X`", false},
	};
	for (const Case& c : cases) {
		uint32_t a = sym(c.first), b = sym(c.second);
		EXPECT_NE(a, b);
		EXPECT_EQ(symbol::resolve(b) == a, c.aliased) << c.second;
	}
}

TEST_F(Symbols, NamesAreStoredWithTheirBytesAndAStringMadeOnce) {
	uint32_t empty = sym("");
	EXPECT_EQ(symbol::name(empty), "");
	EXPECT_STREQ(symbol::c_name(empty), "");
	EXPECT_EQ(sym(""), empty);
	uint32_t id = sym("na\xC3\xAFve");
	EXPECT_STREQ(symbol::c_name(id), "na\xC3\xAFve");
	Cell* first = symbol::get(id);
	Node name = first->data2;
	ASSERT_NE(name, 0u);
	EXPECT_EQ(text_of(name), U"na\u00EFve");
	EXPECT_EQ(symbol::get(id)->data2, name) << "the name string is reused";
	Cell text = make_string(U"na\u00EFve", 2);
	EXPECT_EQ(symbol::make_from_string(&text), id);
}

TEST_F(Symbols, TheTableGrowsManyFoldAndKeepsEveryName) {
	hash::Table* t = hash::table_of(symbol::table);
	uint32_t before = t->buckets;
	std::vector<uint32_t> ids;
	for (int i = 0; i < 20000; i++) ids.push_back(sym(("name-" + std::to_string(i)).c_str()));
	t = hash::table_of(symbol::table);
	EXPECT_GE(t->buckets, before * 16);
	EXPECT_LT(t->occupied, t->bound);
	for (int i = 0; i < 20000; i++) ASSERT_EQ(sym(("name-" + std::to_string(i)).c_str()), ids[size_t(i)]);
	EXPECT_EQ(symbol::resolve(sym("NAME-19999")), ids.back());
}

TEST_F(Symbols, SymbolValuesCompareByName) {
	struct Case {
		const char *a, *b;
		CompareOp op;
		int32_t expected;
	} cases[] = {
		{"apple", "Apple", COMP_EQUAL, 0},   {"apple", "Apple", COMP_STRICT_EQUAL, 1},
		{"apple", "BANANA", COMP_SORT, -1},  {"apple", "BANANA", COMP_CASE_SORT, 1},
		{"pear", "pea", COMP_SORT, 1},       {"pea", "pear", COMP_LESSER, -1},
	};
	for (const Case& c : cases) {
		Cell a = *symbol::cell_of(sym(c.a)), b = *symbol::cell_of(sym(c.b));
		int32_t r = actions::compare_raw(&a, &b, c.op);
		if (c.op == COMP_EQUAL || c.op == COMP_STRICT_EQUAL)
			EXPECT_EQ(r != 0, c.expected != 0) << c.a << " " << c.b;
		else
			EXPECT_EQ(r, c.expected) << c.a << " " << c.b;
	}
	Cell a = *symbol::cell_of(sym("a")), i = integer(1);
	EXPECT_EQ(actions::compare_raw(&a, &i, COMP_EQUAL), COMPARE_UNRELATED);
}

TEST_F(Symbols, SelfIsRecognisedInAnySpelling) {
	EXPECT_TRUE(symbol::is_self(sym("self")));
	EXPECT_TRUE(symbol::is_self(sym("SELF")));
	EXPECT_FALSE(symbol::is_self(sym("selfish")));
}

}  // namespace
