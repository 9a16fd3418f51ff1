#include "runtime/slots.h"

#include <gtest/gtest.h>

#include "runtime/memory.h"
#include "tests/unit/raised.h"

using namespace vyn;

namespace {

const uint32_t OUT_OF_RANGE = errors::id::script_out_of_range.code();
const uint32_t WRONG_MEM = errors::id::internal_wrong_mem.code();

Cell integer(int32_t n) {
	Cell c;
	cell::make_integer(&c, n);
	return c;
}

int32_t put_integer(int32_t n) {
	Cell c = integer(n);
	return slots::put(&c);
}

class Slots : public ::testing::Test {
protected:
	Cell root{};

	void SetUp() override {
		memory::init();
		memory::new_node_frame(10000);
		stack::init();
		slots::init(&root);
	}
};

TEST_F(Slots, TableIsABlockOfFreeSlotsInTheRootCell) {
	EXPECT_TRUE(cell::is(&root, T_BLOCK));
	EXPECT_EQ(slots::root(), &root);
	Series* s = memory::buffer_of(&root);
	EXPECT_EQ(s->used(), 100 * sizeof(Cell));
	EXPECT_EQ(slots::capacity(), 100u);
}

TEST_F(Slots, PutAfterAHundredPutsDoublesTheTableAndAnswers101) {
	for (int32_t i = 1; i <= 100; i++) EXPECT_EQ(put_integer(i * 10), i);
	EXPECT_EQ(slots::capacity(), 100u);
	Cell v = integer(1010);
	EXPECT_EQ(slots::put(&v), 101);
	EXPECT_EQ(slots::capacity(), 200u);
	EXPECT_EQ(memory::buffer_of(&root)->used(), 200 * sizeof(Cell));
	for (int32_t i = 1; i <= 101; i++) EXPECT_EQ(cell::get_integer(slots::get(i)), i * 10) << i;
	EXPECT_EQ(slots::put(&v), 102);  // the new half is chained in order
}

TEST_F(Slots, MostRecentlyFreedSlotIsReusedFirst) {
	for (int32_t i = 1; i <= 5; i++) put_integer(i);
	slots::free(2);
	slots::free(4);
	EXPECT_EQ(put_integer(40), 4);
	EXPECT_EQ(put_integer(20), 2);
	EXPECT_EQ(put_integer(6), 6);
	EXPECT_EQ(cell::get_integer(slots::get(2)), 20);
}

TEST_F(Slots, FreeingAFullTableGivesItsSlotsBack) {
	for (int32_t i = 1; i <= 100; i++) put_integer(i);
	slots::free(100);
	EXPECT_EQ(put_integer(7), 100);
	EXPECT_EQ(slots::capacity(), 100u);
}

TEST_F(Slots, BadIndexesAndDoubleFreesAreRefused) {
	put_integer(1);
	put_integer(2);
	slots::free(2);
	struct Case {
		int32_t index;
		uint32_t get_code;
		uint32_t free_code;
	};
	const Case cases[] = {
		{-1, OUT_OF_RANGE, OUT_OF_RANGE},
		{0, OUT_OF_RANGE, 0},  // freeing 0 is ignored
		{2, OUT_OF_RANGE, WRONG_MEM},  // already free
		{3, OUT_OF_RANGE, WRONG_MEM},  // never used
		{101, OUT_OF_RANGE, OUT_OF_RANGE},
		{INT32_MAX, OUT_OF_RANGE, OUT_OF_RANGE},
		{INT32_MIN, OUT_OF_RANGE, OUT_OF_RANGE},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(test::raised([&] { slots::get(c.index); }), c.get_code) << "get " << c.index;
		EXPECT_EQ(test::raised([&] { slots::free(c.index); }), c.free_code) << "free " << c.index;
	}
	// Nothing was disturbed: slot 1 holds its value, slot 2 is the one reused.
	EXPECT_EQ(cell::get_integer(slots::get(1)), 1);
	EXPECT_EQ(put_integer(9), 2);
	EXPECT_EQ(put_integer(9), 3);
}

TEST_F(Slots, PutOfAValueHeldInTheTableSurvivesGrowth) {
	for (int32_t i = 1; i <= 100; i++) put_integer(i);
	EXPECT_EQ(slots::put(slots::get(37)), 101);
	EXPECT_EQ(cell::get_integer(slots::get(101)), 37);
}

TEST_F(Slots, AStoredIntegerIsNotTakenForAFreeSlot) {
	Cell looks_free = integer(-1);
	EXPECT_EQ(slots::put(&looks_free), 1);
	EXPECT_EQ(put_integer(5), 2);
	EXPECT_EQ(cell::get_integer(slots::get(1)), -1);
}

}  // namespace
