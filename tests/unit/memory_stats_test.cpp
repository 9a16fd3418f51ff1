#include "runtime/evaluator/memory_stats.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/memory.h"

using namespace vyn;

namespace {

Cell new_block(uint32_t capacity) {
	Cell b;
	cell::set(&b, T_BLOCK, 0, memory::alloc_cells(capacity), 0);
	return b;
}

uint32_t length(const Cell* block) { return memory::buffer_of(block)->used() / sizeof(Cell); }
Cell* item(const Cell* block, uint32_t i) { return memory::buffer_of(block)->head_cell() + i; }

std::vector<int32_t> integers(const Cell* block) {
	std::vector<int32_t> out;
	for (uint32_t i = 0; i < length(block); i++) {
		EXPECT_TRUE(cell::is(item(block, i), T_INTEGER));
		out.push_back(cell::get_integer(item(block, i)));
	}
	return out;
}

// A count as the report holds it: an integer! or, above 2^31-1, a float!.
double number(const Cell* c) { return cell::is(c, T_FLOAT) ? cell::get_double(c) : cell::get_integer(c); }

class MemoryStats : public ::testing::Test {
protected:
	void SetUp() override {
		memory::free_all();
		memory::init();
		memory::new_node_frame(10000);
	}
	void TearDown() override { memory::free_all(); }

	// The level-2 report, in a block made before the figures are read.
	Cell report() {
		Cell block = new_block(5);
		EXPECT_EQ(stats::memory(&block, 2), 0u);
		EXPECT_EQ(length(&block), 5u);
		return block;
	}
};

TEST_F(MemoryStats, AFreshNodeFrameReadsAllFree) {
	memory::new_node_frame(10000);  // the report's block takes a node of the first
	Cell r = report();
	Cell* nodes = item(&r, 0);
	ASSERT_TRUE(cell::is(nodes, T_BLOCK));
	ASSERT_EQ(length(nodes), 2u);
	for (uint32_t i = 0; i < 2; i++) {
		EXPECT_TRUE(cell::is(item(nodes, i), T_BLOCK));
		EXPECT_TRUE(cell::new_line(item(nodes, i)));
	}
	EXPECT_EQ(integers(item(nodes, 0)), (std::vector<int32_t>{9999, 1, 10000}));
	EXPECT_EQ(integers(item(nodes, 1)), (std::vector<int32_t>{10000, 0, 10000}));
}

TEST_F(MemoryStats, PushNumberTurnsToFloatAboveTheIntegerRange) {
	struct Case {
		uint64_t value;
		Type type;
		double read;
	} cases[] = {
		{0, T_INTEGER, 0.0},
		{2147483647u, T_INTEGER, 2147483647.0},
		{2147483648u, T_FLOAT, 2147483648.0},
		{4294967296u, T_FLOAT, 4294967296.0},
		{uint64_t(1) << 40, T_FLOAT, 1099511627776.0},
	};
	Cell block = new_block(1);
	for (const Case& c : cases) {
		Cell* pushed = stats::push_number(&block, c.value);
		EXPECT_EQ(cell::type_of(pushed), c.type) << c.value;
		EXPECT_EQ(number(pushed), c.read) << c.value;
	}
	EXPECT_EQ(length(&block), 5u);
}

TEST_F(MemoryStats, BytesInUseFollowNodesBuffersAndBigFrames) {
	Cell scratch{};
	uint64_t before = stats::memory(&scratch, 1);
	memory::alloc_bytes(1000);  // 1008 bytes of data, 24 of header and spare
	EXPECT_EQ(stats::memory(&scratch, 1) - before, 1008 + 24 + stats::NODE_SLOT_BYTES);
	before = stats::memory(&scratch, 1);
	memory::alloc_bytes(3u << 20);  // a big frame of its own
	EXPECT_EQ(stats::memory(&scratch, 1) - before, (3u << 20) + 24 + stats::NODE_SLOT_BYTES);
	EXPECT_EQ(stats::memory(&scratch, 0), stats::memory(&scratch, 1));
}

TEST_F(MemoryStats, SeriesAndBigFramesAreDetailed) {
	memory::alloc_bytes(1000);
	memory::alloc_bytes(3u << 20);
	memory::alloc_bytes(5u << 20);
	Cell r = report();
	Cell* series = item(&r, 1);
	ASSERT_EQ(length(series), 1u);
	Cell* frame = item(series, 0);
	EXPECT_TRUE(cell::new_line(frame));
	std::vector<int32_t> f = integers(frame);
	ASSERT_EQ(f.size(), 3u);
	EXPECT_EQ(f[0] + f[1], f[2]);  // free + used = total
	EXPECT_EQ(f[1], 1008 + 24 + 16 * 5 + 24);  // the buffer, then the report block made before reading
	EXPECT_EQ(f[2], int32_t(memory::state.series_head->end - memory::state.series_head->start()));

	Cell* bigs = item(&r, 2);
	EXPECT_EQ(integers(bigs), (std::vector<int32_t>{(3 << 20) + 24, (5 << 20) + 24}));
	for (uint32_t i = 0; i < 2; i++) EXPECT_TRUE(cell::new_line(item(bigs, i)));
}

TEST_F(MemoryStats, HeapCountsFixedBuffersAndJoinsTheGrandTotal) {
	Cell first = report();
	double total = number(item(&first, 3));
	double heap = number(item(&first, 4));
	memory::alloc_fixed(100, 1, 0);  // 112 bytes of data, 28 of header and padding
	Cell second = report();
	EXPECT_EQ(number(item(&second, 4)) - heap, 112 + 28 + stats::HEAP_BLOCK_EXTRA);
	EXPECT_EQ(number(item(&second, 3)) - total, 112 + 28 + stats::HEAP_BLOCK_EXTRA);
	EXPECT_GT(total, heap);
}

TEST_F(MemoryStats, TheReportDoesNotCountItsOwnBlocks) {
	memory::new_node_frame(10000);  // reported as it was: all free
	uint32_t used = memory::node_frames[0].used + 1;  // the report block itself
	Cell r = report();
	EXPECT_EQ(integers(item(item(&r, 0), 0)), (std::vector<int32_t>{int32_t(10000 - used), int32_t(used), 10000}));
	EXPECT_GT(memory::node_frames[0].used, used);  // the report did take nodes
	Cell again = report();
	EXPECT_EQ(integers(item(item(&again, 0), 1)), (std::vector<int32_t>{10000, 0, 10000}));
}

}  // namespace
