#include "runtime/hash_table.h"

#include <algorithm>
#include <map>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/evaluator/actions.h"
#include "tests/unit/core_tables.h"

using namespace vyn;
using namespace vyn::test;

namespace {

using HashTables = CoreTables;

Cell string_of(const std::u32string& text, uint32_t width) { return make_string(text, width); }

// A block whose cells are the integers given, indexed as a hash!.
struct HashBlock {
	Cell block;
	Node table;
};

HashBlock hash_of(const std::vector<int32_t>& values) {
	Node n = memory::alloc_cells(uint32_t(values.size()) + 1);
	for (int32_t v : values) cell::make_integer(memory::alloc_at_tail(memory::series(n)), v);
	HashBlock h;
	cell::set(&h.block, T_BLOCK, 0, n, 0);
	h.table = hash::create(uint32_t(values.size()), &h.block, hash::KIND_BLOCK, 0);
	h.block.header = T_HASH;
	h.block.data3 = h.table;
	return h;
}

// Position of the match (-1 for none).
int32_t find_in(const HashBlock& h, int32_t value, int32_t start = 0, int32_t skip = 1, bool last = false,
	bool reverse = false) {
	Cell key = integer(value);
	Cell* found = hash::get(h.table, &key, start, skip, COMP_EQUAL, last, reverse);
	return found ? int32_t(found - cell_at(&h.block, 0)) : -1;
}

// Every cell of the block is found at its own position (the smallest one
// holding its value, searching from 0), and only there.
void expect_consistent(const HashBlock& h) {
	uint32_t n = length_of(&h.block);
	std::map<int32_t, int32_t> first;
	for (uint32_t i = 0; i < n; i++) first.emplace(cell::get_integer(cell_at(&h.block, i)), int32_t(i));
	for (auto [value, position] : first) EXPECT_EQ(find_in(h, value), position) << "value " << value;
	for (uint32_t i = 0; i < n; i++) {
		int32_t v = cell::get_integer(cell_at(&h.block, i));
		EXPECT_EQ(find_in(h, v, int32_t(i)), int32_t(i)) << "from " << i;
	}
}

TEST_F(HashTables, SizesFollowTheLoadFactor) {
	struct Case {
		uint32_t size, kind, buckets, bound;
	} cases[] = {
		{0, hash::KIND_MAP, 8, 6},         // 4 / 0.77 rounded up to a power of two
		{4, hash::KIND_BLOCK, 8, 6},
		{10, hash::KIND_MAP, 16, 12},
		{100, hash::KIND_BLOCK, 256, 197},
		{3999, hash::KIND_NAMES, 8192, 6307},
		{4000, hash::KIND_NAMES, 16384, 12615},  // symbol-sized requests are doubled
		{1000, hash::KIND_OWNERSHIP, 2048, 1576},
	};
	for (const Case& c : cases) {
		hash::Table* t = hash::table_of(hash::create(c.size, nullptr, c.kind, 3));
		EXPECT_EQ(t->buckets, c.buckets) << c.size;
		EXPECT_EQ(t->bound, c.bound) << c.size;
		EXPECT_EQ(t->live, 0u);
	}
}

TEST_F(HashTables, KeysOfEveryHashedKindHashAsTheyCompare) {
	Cell narrow = string_of(U"Straße", 1), wide = string_of(U"STRASSE", 2), upper = string_of(U"STRA\u00DFE", 4), plain_s = string_of(U"STRASE", 1);
	Cell zero, negative_zero, one;
	cell::make_float(&zero, 0.0);
	cell::make_float(&negative_zero, -0.0);
	cell::make_float(&one, 1.0);
	Cell unset, none, a, b;
	cell::make_unset(&unset);
	cell::make_none(&none);
	a = loose_word("Alpha");
	b = loose_word("alpha", T_SET_WORD);
	EXPECT_EQ(hash::hash_value(&unset), uint32_t(-2));
	EXPECT_EQ(hash::hash_value(&none), uint32_t(-1));
	EXPECT_EQ(hash::hash_value(&zero), hash::hash_value(&negative_zero));
	EXPECT_NE(hash::hash_value(&zero), hash::hash_value(&one));
	// Case folds to upper case as comparisons do; ß has no one-codepoint
	// upper case, so it stays itself and differs from S.
	EXPECT_EQ(hash::hash_value(&narrow), hash::hash_value(&upper));
	EXPECT_NE(hash::hash_value(&narrow), hash::hash_value(&plain_s));
	EXPECT_NE(hash::hash_value(&narrow), hash::hash_value(&wide));
	EXPECT_EQ(hash::hash_value(&a), hash::hash_value(&b));
	Cell view = string_of(U"strasse and more", 1);
	view.header = hash::KEY_VIEW;
	view.data3 = 7;
	EXPECT_EQ(hash::hash_value(&view), hash::hash_value(&wide));
}

TEST_F(HashTables, EqualKeysShareOneBucketThroughAChain) {
	HashBlock h = hash_of({7, 8, 7});
	hash::Table* t = hash::table_of(h.table);
	EXPECT_EQ(t->live, 2u);
	EXPECT_EQ(t->occupied, 2u);
	EXPECT_EQ(find_in(h, 7), 0);
	EXPECT_EQ(find_in(h, 7, 1), 2);
	hash::delete_key(h.table, cell_at(&h.block, 0));
	EXPECT_EQ(t->live, 2u) << "a chain that still holds a position keeps its bucket";
	EXPECT_EQ(find_in(h, 7), 2);
	hash::delete_key(h.table, cell_at(&h.block, 2));
	EXPECT_EQ(t->live, 1u);
	EXPECT_EQ(t->occupied, 2u) << "the emptied bucket is flagged deleted";
	EXPECT_EQ(find_in(h, 7), -1);
	EXPECT_EQ(find_in(h, 8), 1);
}

TEST_F(HashTables, BlockLookupsHonourStartSkipLastAndReverse) {
	HashBlock h = hash_of({5, 1, 5, 2, 5, 3, 5});
	struct Case {
		int32_t start, skip;
		bool last, reverse;
		int32_t expected;
	} cases[] = {
		{0, 1, false, false, 0}, {1, 1, false, false, 2}, {5, 1, false, false, 6}, {7, 1, false, false, -1},
		{0, 1, true, false, 6},  {3, 1, true, false, 6},  {4, 1, false, true, 2},  {6, 1, false, true, 4},
		{0, 1, false, true, -1}, {1, 2, false, false, -1}, {0, 4, false, false, 0}, {2, 4, false, false, 2},
		{0, 4, true, false, 4},  {7, 2, false, true, 6},  {7, 4, false, true, 6},  {5, 2, false, true, 4},
	};
	for (const Case& c : cases)
		EXPECT_EQ(find_in(h, 5, c.start, c.skip, c.last, c.reverse), c.expected)
			<< "start " << c.start << " skip " << c.skip << " last " << c.last << " reverse " << c.reverse;
}

TEST_F(HashTables, GrowthAndDeletionKeepEveryKeyFindable) {
	HashBlock h = hash_of({});
	Series* s;
	std::vector<int32_t> values;
	for (int32_t i = 0; i < 3000; i++) {
		int32_t v = (i * 7919) % 1000;  // repeats: chains of three
		s = memory::buffer_of(&h.block);
		cell::make_integer(memory::alloc_at_tail(s), v);
		int32_t out;
		hash::put_entry(h.table, cell_at(&h.block, uint32_t(i)), &out);
		if (out == 2) {
			EXPECT_GT(hash::table_of(h.table)->buckets, 8u);
		}
	}
	hash::Table* t = hash::table_of(h.table);
	EXPECT_EQ(t->live, 1000u);
	EXPECT_LT(t->occupied, t->bound);
	expect_consistent(h);
	// Deleting every position of a third of the values frees their buckets.
	for (uint32_t i = 0; i < 3000; i++)
		if (cell::get_integer(cell_at(&h.block, i)) % 3 == 0) hash::delete_key(h.table, cell_at(&h.block, i));
	EXPECT_EQ(t->live, 666u);
	for (int32_t v = 0; v < 1000; v++) {
		int32_t at = find_in(h, v);
		if (v % 3 == 0)
			EXPECT_EQ(at, -1) << v;
		else
			EXPECT_GE(at, 0) << v;
	}
}

TEST_F(HashTables, AFullTableOfDeletedBucketsIsReindexedAtItsSize) {
	Node table = hash::create(0, nullptr, hash::KIND_NODES, 1);
	hash::Table* t = hash::table_of(table);
	for (Node n = 100; n < 106; n++) hash::put_node(table, n);
	for (Node n = 100; n < 105; n++) hash::remove_node(table, n);
	EXPECT_EQ(t->occupied, 6u);
	EXPECT_EQ(t->live, 1u);
	hash::put_node(table, 200);
	EXPECT_EQ(t->buckets, 8u);
	EXPECT_EQ(t->occupied, 2u);
	EXPECT_NE(hash::find_node(table, 105), nullptr);
	EXPECT_NE(hash::find_node(table, 200), nullptr);
	EXPECT_EQ(hash::find_node(table, 100), nullptr);
}

TEST_F(HashTables, NodeEntriesResetTheirExtraCellsAndReuseDeletedOnes) {
	Node table = hash::create(4, nullptr, hash::KIND_NODES, 2);
	Cell* e = hash::put_node(table, 42);
	e[0] = integer(1);
	e[1] = integer(2);
	EXPECT_EQ(hash::entry_key(e)->header, uint32_t(T_UNSET));
	EXPECT_EQ(hash::entry_key(e)->data1, 42u);
	EXPECT_EQ(cell::get_integer(hash::find_node(table, 42)), 1);
	Cell* again = hash::put_node(table, 42);
	EXPECT_EQ(again, e);
	EXPECT_TRUE(cell::is(again, T_UNSET) && cell::is(again + 1, T_UNSET)) << "every call resets the extra cells";
	uint32_t used = memory::series(hash::table_of(table)->block)->used();
	hash::remove_node(table, 42);
	EXPECT_EQ(hash::find_node(table, 42), nullptr);
	EXPECT_EQ(hash::entry_key(e)->header, 0u);
	hash::put_node(table, 42);
	EXPECT_EQ(memory::series(hash::table_of(table)->block)->used(), used) << "the deleted entry is reused";
	int live = 0;
	hash::for_each_entry(table, [&](Cell*) { live++; });
	EXPECT_EQ(live, 1);
}

TEST_F(HashTables, NodeTablesRehashAfterNodeCompaction) {
	Node table = hash::create(4, nullptr, hash::KIND_NODES, 1);
	for (Node n = 1; n <= 50; n++) hash::put_node(table, n * 977);
	// Node compaction renumbers handles: the collector rewrites the keys.
	hash::for_each_entry(table, [](Cell* key) { key->data1 += 5; });
	memory::nodes_cycles++;
	for (Node n = 1; n <= 50; n++) EXPECT_NE(hash::find_node(table, n * 977 + 5), nullptr) << n;
	memory::collecting = true;
	memory::nodes_cycles++;
	EXPECT_NE(hash::table_of(table)->stamp, memory::nodes_cycles + 1);
	hash::find_node(table, 5);
	EXPECT_NE(hash::table_of(table)->stamp, memory::nodes_cycles + 1) << "no rebuild while collecting";
	memory::collecting = false;
}

TEST_F(HashTables, BlockKeyedHashRebuildsOnItsNextUseAfterNodeCompaction) {
	std::vector<Cell> blocks;
	for (int i = 0; i < 40; i++) blocks.push_back(block_of({integer(i)}));
	Node n = memory::alloc_cells(40);
	for (const Cell& b : blocks) *memory::alloc_at_tail(memory::series(n)) = b;
	Cell hash_block;
	cell::set(&hash_block, T_BLOCK, 0, n, 0);
	Node table = hash::create(40, &hash_block, hash::KIND_BLOCK, 0);
	EXPECT_EQ(hash::table_of(table)->stamp, memory::nodes_cycles + 1);
	// Rewrite every block key's node as compaction would.
	std::vector<Cell> moved;
	for (uint32_t i = 0; i < 40; i++) {
		Cell* c = cell_at(&hash_block, i);
		Node fresh = memory::alloc_cells(1);
		c->data2 = fresh;
		moved.push_back(*c);
	}
	memory::nodes_cycles++;
	for (uint32_t i = 0; i < 40; i++)
		EXPECT_EQ(hash::get(table, &moved[i], 0, 1, COMP_SAME, false, false), cell_at(&hash_block, i)) << i;
}

TEST_F(HashTables, ShiftKeysFollowsInsertionAndRemoval) {
	HashBlock h = hash_of({10, 20, 30, 20, 40});
	// Insert 31, 32 at position 1.
	Series* s = memory::buffer_of(&h.block);
	memory::alloc_tail_bytes(s, 2 * sizeof(Cell));
	s = memory::buffer_of(&h.block);
	Cell* base = s->head_cell();
	std::memmove(base + 3, base + 1, 4 * sizeof(Cell));
	base[1] = integer(31);
	base[2] = integer(32);
	EXPECT_EQ(hash::shift_keys(h.table, 2, 1, 2, true), 0);
	hash::put(h.table, base + 1);
	hash::put(h.table, base + 2);
	expect_consistent(h);
	EXPECT_EQ(find_in(h, 20, 4), 5);
	// Remove the two cells at position 3 (20 and 30).
	hash::remove_range(h.table, 3, 2);
	base = memory::buffer_of(&h.block)->head_cell();
	std::memmove(base + 3, base + 5, 2 * sizeof(Cell));
	memory::buffer_of(&h.block)->tail -= 2 * sizeof(Cell);
	EXPECT_EQ(hash::shift_keys(h.table, -2, 3, 2, true), 0);
	expect_consistent(h);
	EXPECT_EQ(find_in(h, 30), -1);
	EXPECT_EQ(hash::shift_keys(h.table, 30001, 0, 30001, true), 1) << "too many cells: the caller rebuilds";
}

TEST_F(HashTables, MoveRemapsPositionsBothWays) {
	struct Case {
		int32_t destination, source, count;
	} cases[] = {{3, 0, 2}, {0, 3, 2}, {1, 0, 4}, {0, 5, 1}, {5, 0, 1}, {2, 4, 2}};
	for (const Case& c : cases) {
		HashBlock h = hash_of({1, 2, 3, 1, 2, 3});
		Cell* base = cell_at(&h.block, 0);
		std::vector<Cell> cells(base, base + 6);
		std::vector<Cell> moved(cells.begin() + c.source, cells.begin() + c.source + c.count);
		cells.erase(cells.begin() + c.source, cells.begin() + c.source + c.count);
		cells.insert(cells.begin() + c.destination, moved.begin(), moved.end());
		std::copy(cells.begin(), cells.end(), base);
		hash::move(h.table, c.destination, c.source, c.count);
		expect_consistent(h);
	}
}

TEST_F(HashTables, RemovingTheWholeRangeEmptiesTheTable) {
	HashBlock h = hash_of({1, 2, 3, 1});
	hash::remove_range(h.table, 1, 10);  // clamped to the block
	EXPECT_EQ(find_in(h, 1), 0);
	EXPECT_EQ(find_in(h, 1, 1), -1);
	EXPECT_EQ(find_in(h, 2), -1);
	hash::remove_range(h.table, 0, 4);
	hash::Table* t = hash::table_of(h.table);
	EXPECT_EQ(t->live, 0u);
	EXPECT_EQ(t->occupied, 0u);
	EXPECT_EQ(find_in(h, 1), -1);
	hash::rebuild(h.table, 4);
	expect_consistent(h);
}

TEST_F(HashTables, CopiesAreIndependent) {
	HashBlock h = hash_of({4, 5, 4});
	Node block_copy = memory::copy_series(memory::buffer_of(&h.block));
	Node copy = hash::copy(h.table, block_copy);
	Cell copied;
	cell::set(&copied, T_HASH, 0, block_copy, copy);
	hash::delete_key(copy, cell_at(&copied, 0));
	hash::delete_key(copy, cell_at(&copied, 1));
	EXPECT_EQ(find_in(h, 4), 0);
	EXPECT_EQ(find_in(h, 5), 1);
	Cell key = integer(4);
	EXPECT_EQ(hash::get(copy, &key, 0, 1, COMP_EQUAL, false, false), cell_at(&copied, 2));
}

TEST_F(HashTables, MapTablesGrowInPlace) {
	Node n = memory::alloc_cells(2);
	Cell map_block;
	cell::set(&map_block, T_BLOCK, 0, n, 0);
	Node table = hash::create(0, &map_block, hash::KIND_MAP, 0);
	for (int32_t i = 0; i < 500; i++) {
		Series* s = memory::buffer_of(&map_block);
		cell::make_integer(memory::alloc_at_tail(s), i * 3);
		cell::make_integer(memory::alloc_at_tail(memory::buffer_of(&map_block)), i);
		hash::put(table, cell_at(&map_block, uint32_t(2 * i)));
	}
	hash::Table* t = hash::table_of(table);
	EXPECT_EQ(t->live, 500u);
	EXPECT_EQ(t->buckets, 1024u);
	for (int32_t i = 0; i < 500; i++) {
		Cell key = integer(i * 3);
		Cell* found = hash::get(table, &key, 0, 1, COMP_EQUAL, false, false);
		ASSERT_NE(found, nullptr) << i;
		EXPECT_EQ(cell::get_integer(found + 1), i);
	}
	Cell absent = integer(1);
	EXPECT_EQ(hash::get(table, &absent, 0, 1, COMP_EQUAL, false, false), nullptr);
	Cell again = integer(9);
	*memory::alloc_at_tail(memory::buffer_of(&map_block)) = again;
	EXPECT_EQ(hash::put(table, cell_at(&map_block, 1000)), cell_at(&map_block, 6)) << "the equal key answers";
}

TEST_F(HashTables, ClearEmptiesEveryBucket) {
	HashBlock h = hash_of({1, 2, 2, 3});
	hash::clear(h.table);
	hash::Table* t = hash::table_of(h.table);
	EXPECT_EQ(t->live, 0u);
	for (int32_t v : {1, 2, 3}) EXPECT_EQ(find_in(h, v), -1);
	hash::index_block(h.table, 0, 1);
	expect_consistent(h);
}

TEST_F(HashTables, MarkingReachesEveryBufferOfTheTable) {
	static std::vector<Node> buffers, blocks;
	buffers.clear();
	blocks.clear();
	hash::Marker marker{[](Node* n) {
							buffers.push_back(*n);
							return true;
						},
		[](Node* n) { blocks.push_back(*n); }};
	HashBlock h = hash_of({1, 1, 2});
	Node table = h.table;
	hash::mark(&table, marker);
	hash::Table* t = hash::table_of(h.table);
	for (Node n : {h.table, t->aux, t->chains, t->flags, t->keys})
		EXPECT_NE(std::find(buffers.begin(), buffers.end(), n), buffers.end());
	EXPECT_EQ(buffers.size(), 6u) << "record, index, chain list, one chain, flags, keys";
	EXPECT_EQ(blocks, std::vector<Node>{h.block.data2});
	buffers.clear();
	blocks.clear();
	Node nodes = hash::create(4, nullptr, hash::KIND_OWNERSHIP, 3);
	Node owned_block = block_of({integer(1)}).data2;
	Node owned_text = make_string(U"x", 1).data2;
	hash::put_node(nodes, owned_block);
	hash::put_node(nodes, owned_text);
	hash::mark(&nodes, marker);
	EXPECT_EQ(blocks, std::vector<Node>{owned_block}) << "cell keys with their cells, not the entries' cells";
	EXPECT_NE(std::find(buffers.begin(), buffers.end(), owned_text), buffers.end());
	EXPECT_NE(std::find(buffers.begin(), buffers.end(), hash::table_of(nodes)->block), buffers.end());
}

TEST_F(HashTables, TheDumpListsLiveThenDeletedKeys) {
	HashBlock h = hash_of({1, 2});
	hash::delete_key(h.table, cell_at(&h.block, 1));
	char* text = nullptr;
	size_t size = 0;
	std::FILE* out = open_memstream(&text, &size);
	hash::dump(h.table, out);
	std::fclose(out);
	std::string dump(text, size);
	std::free(text);
	size_t alive = dump.find("== Alive keys ==\n"), deleted = dump.find("== Deleted keys ==\n");
	ASSERT_NE(alive, std::string::npos);
	ASSERT_NE(deleted, std::string::npos);
	EXPECT_NE(dump.find(": 0\n", alive), std::string::npos);
	EXPECT_NE(dump.find(": 1\n", deleted), std::string::npos);
}

TEST_F(HashTables, HeapMapGrowsAndForgets) {
	hash::HeapMap* map = hash::heap_map_make(4);
	for (uint32_t k = 1; k <= 5000; k++) hash::heap_map_put(map, k * 40, k);
	hash::heap_map_put(map, 40, 99);
	EXPECT_EQ(map->size, 5000u);
	for (uint32_t k = 2; k <= 5000; k++) ASSERT_EQ(*hash::heap_map_get(map, k * 40), k);
	EXPECT_EQ(*hash::heap_map_get(map, 40), 99u);
	EXPECT_EQ(hash::heap_map_get(map, 41), nullptr);
	// Churn through deletions: the table must never fill up with them.
	for (uint32_t round = 0; round < 20000; round++) {
		hash::heap_map_put(map, 1000000 + round, round);
		hash::heap_map_remove(map, 1000000 + round);
	}
	EXPECT_EQ(map->size, 5000u);
	EXPECT_EQ(hash::heap_map_get(map, 1000000), nullptr);
	EXPECT_LT(map->size + map->deleted, map->buckets);
	hash::heap_map_free(map);
}

TEST_F(HashTables, BlockLookupsCompareUnderTheGivenCode) {
	Cell words = block_of({loose_word("Foo"), loose_word("foo"), loose_word("foo", T_SET_WORD)});
	Node table = hash::create(3, &words, hash::KIND_BLOCK, 0);
	Cell key = loose_word("foo");
	Cell* base = cell_at(&words, 0);
	EXPECT_EQ(hash::get(table, &key, 0, 1, COMP_EQUAL, false, false), base + 0);
	EXPECT_EQ(hash::get(table, &key, 0, 1, COMP_STRICT_EQUAL, false, false), base + 1);
	Cell set_key = loose_word("FOO", T_SET_WORD);
	EXPECT_EQ(hash::get(table, &set_key, 0, 1, COMP_STRICT_EQUAL, false, false), nullptr);
	EXPECT_EQ(hash::get(table, &set_key, 1, 1, COMP_EQUAL, false, false), base + 1)
		<< "the smallest position over every bucket of equal keys";
}

TEST_F(HashTables, MapIndexingKeepsTheLastValueOfARepeatedKey) {
	hash::map_key_hook = [](Cell* key, Cell*) {
		if (cell::type_of(key) >= T_WORD && cell::type_of(key) <= T_GET_WORD) cell::set_type(key, T_SET_WORD);
	};
	Cell map_block = block_of({loose_word("a"), integer(1), loose_word("b", T_SET_WORD), integer(2), loose_word("A", T_LIT_WORD),
		integer(3), loose_word("a"), integer(4)});
	Node table = hash::create(4, &map_block, hash::KIND_MAP, 0);
	ASSERT_EQ(length_of(&map_block), 6u) << "a: 1 b: 2 A: 3 (strictly another key)";
	Cell key = loose_word("a");
	Cell* found = hash::get(table, &key, 0, 1, COMP_STRICT_EQUAL, false, false);
	ASSERT_EQ(found, cell_at(&map_block, 0));
	EXPECT_TRUE(cell::is(found, T_SET_WORD));
	EXPECT_EQ(cell::get_integer(found + 1), 4);
	// Case-insensitively both a: and A: match, one after the other.
	hash::Probe probe;
	std::vector<int32_t> values;
	for (Cell* c = hash::get_first(table, &key, COMP_EQUAL, probe); c; c = hash::get_next(table, &key, probe, COMP_EQUAL))
		values.push_back(cell::get_integer(c + 1));
	std::sort(values.begin(), values.end());
	EXPECT_EQ(values, (std::vector<int32_t>{3, 4}));
	hash::delete_key(table, found);
	EXPECT_EQ(found[1].header, 0u);
	EXPECT_EQ(hash::get(table, &key, 0, 1, COMP_STRICT_EQUAL, false, false), found) << "the key stays indexed";
}

}  // namespace
