#include "runtime/memory.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/evaluator/stack.h"

using namespace vyn;

namespace {

class Memory : public ::testing::Test {
protected:
	void SetUp() override {
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		stack::init();
	}
	static Series* buf(Node n) { return memory::series(n); }
	static uint32_t series_frames() {
		uint32_t n = 0;
		for (SeriesFrame* f = memory::state.series_head; f; f = f->next) n++;
		return n;
	}
	// Fills the current series frame until exactly `left` bytes remain
	// (blocks are 16k + 24 bytes, so two blocks reach the other residue).
	static void fill_current_to(size_t left) {
		SeriesFrame* f = memory::state.series_current;
		size_t gap = size_t(f->end - f->bump) - left;
		ASSERT_EQ(gap % 8, 0u);
		if (gap % 16 == 0) {
			memory::alloc_bytes(16);
			gap -= 16 + SERIES_BLOCK_EXTRA;
		}
		memory::alloc_bytes(uint32_t(gap - SERIES_BLOCK_EXTRA));
		ASSERT_EQ(size_t(f->end - f->bump), left);
	}
};

TEST_F(Memory, RequestSizesRoundToSixteen) {
	struct Case {
		Node (*alloc)(uint32_t);
		uint32_t count;
		uint32_t size;
		uint32_t unit;
	} cases[] = {
		{memory::alloc_bytes, 0, 16, 1},
		{memory::alloc_bytes, 1, 16, 1},
		{memory::alloc_bytes, 17, 32, 1},
		{[](uint32_t c) { return memory::alloc_by_unit(c, 2); }, 0, 16, 2},
		{[](uint32_t c) { return memory::alloc_by_unit(c, 4); }, 0, 16, 4},
		{[](uint32_t c) { return memory::alloc_by_unit(c, 4); }, 5, 32, 4},
		{memory::alloc_cells, 3, 48, 16},
	};
	for (const Case& c : cases) {
		Series* s = buf(c.alloc(c.count));
		EXPECT_EQ(s->size, c.size) << "count " << c.count;
		EXPECT_EQ(s->unit(), c.unit);
		EXPECT_EQ(s->flags & (SERIES_USED | SERIES_MADE), SERIES_USED | SERIES_MADE);
		EXPECT_EQ(s->used(), 0u);
		EXPECT_EQ(reinterpret_cast<uintptr_t>(s->data()) % 8, 0u) << "data areas are 8-aligned";
	}
}

TEST_F(Memory, NodeAndBufferPointAtEachOther) {
	Node a = memory::alloc_bytes(10);
	Node b = memory::alloc_bytes(10);
	EXPECT_NE(a, 0u);
	EXPECT_NE(a, b);
	EXPECT_EQ(buf(a)->node, a);
	EXPECT_EQ(buf(b)->node, b);
	EXPECT_EQ(memory::node_frames[0].used, 2u);
}

TEST_F(Memory, NodeReleaseIsReusedFirstAndFramesAreAdded) {
	Node a = memory::alloc_bytes(1);
	memory::release_node(a);
	EXPECT_EQ(memory::node_frames[0].used, 0u);
	EXPECT_EQ(memory::alloc_node(), a);
	for (uint32_t i = 1; i < NODE_FRAME_NODES; i++) memory::alloc_node();
	EXPECT_EQ(memory::node_frames[0].free_head, 0u);
	Node next = memory::alloc_node();
	EXPECT_EQ(memory::node_frame_of(next), 1u);
	EXPECT_EQ(memory::state.node_tail, 1);
}

TEST_F(Memory, SeriesFramesGrowOneThenTwoMegabytes) {
	// A request that fills most of a frame forces the next frame each time.
	std::vector<uint64_t> sizes;
	for (int i = 0; i < 4; i++) {
		memory::alloc_bytes(900 * 1024);
		sizes.clear();
		for (SeriesFrame* f = memory::state.series_head; f; f = f->next)
			sizes.push_back(f->size - SeriesFrame::header_bytes);
	}
	std::sort(sizes.begin(), sizes.end());
	ASSERT_GE(sizes.size(), 3u);
	EXPECT_EQ(sizes[0], uint64_t(SERIES_FRAME_INITIAL));
	for (size_t i = 1; i < sizes.size(); i++) EXPECT_EQ(sizes[i], uint64_t(SERIES_FRAME_CAP));
}

TEST_F(Memory, BigFrameThresholdOnBothSides) {
	uint32_t at = SERIES_FRAME_CAP - SERIES_BLOCK_EXTRA;  // block exactly 2 MB
	Series* big = buf(memory::alloc_bytes(at));
	EXPECT_TRUE(big->flags & SERIES_BIG);
	EXPECT_EQ(memory::state.big_head->buffer(), big);
	Series* small = buf(memory::alloc_bytes(at - 16));
	EXPECT_FALSE(small->flags & SERIES_BIG);
}

TEST_F(Memory, ACollectionIsAskedForOnceTheRoomTakenMatchesWhatTheBuffersHeld) {
	memory::collection_requested = false;
	memory::collection_done();  // the heap now holds one frame: the floor applies
	memory::alloc_bytes(3u << 20);
	memory::alloc_bytes(3u << 20);
	EXPECT_FALSE(memory::collection_requested) << "6 MB of growth is below the 8 MB floor";
	memory::alloc_bytes(3u << 20);
	EXPECT_TRUE(memory::collection_requested);
	// After a collection the budget is what the buffers then hold.
	memory::collection_requested = false;
	uint64_t held = memory::heap_in_use();
	memory::collection_done();
	uint64_t added = 0;
	const uint64_t block = (3u << 20) + SERIES_BLOCK_EXTRA;
	while (added + block < held) {
		memory::alloc_bytes(3u << 20);
		added += block;
	}
	EXPECT_FALSE(memory::collection_requested);
	memory::alloc_bytes(3u << 20);
	memory::alloc_bytes(3u << 20);
	EXPECT_TRUE(memory::collection_requested);
}

TEST_F(Memory, FoundFrameIsReusedOnlyWithEnoughRoom) {
	// Room comes in steps of 8 here: 52432 is the least reusable, 52424 is not.
	for (size_t room : {size_t(52432), size_t(52424)}) {
		SetUp();
		fill_current_to(room);
		SeriesFrame* a = memory::state.series_current;
		memory::alloc_bytes(uint32_t(room + 64));  // does not fit in A: frame B
		ASSERT_NE(memory::state.series_current, a);
		fill_current_to(16);
		uint32_t before = series_frames();
		memory::alloc_bytes(8);  // fits in A only
		bool reused = memory::state.series_current == a;
		EXPECT_EQ(reused, room >= SERIES_FRAME_MIN_ROOM) << room;
		EXPECT_EQ(series_frames(), before + (reused ? 0 : 1));
	}
}

TEST_F(Memory, AFrameThatGainsRoomInACollectionIsFoundAgain) {
	fill_current_to(60000);
	SeriesFrame* a = memory::state.series_current;
	memory::alloc_bytes(70000);  // no frame has room for it: frame B
	ASSERT_NE(memory::state.series_current, a);
	fill_current_to(16);
	uint32_t before = series_frames();
	// A collection empties A: the same request must find it, not add a frame.
	a->bump = a->start();
	memory::collection_count++;
	memory::alloc_bytes(70000);
	EXPECT_EQ(memory::state.series_current, a);
	EXPECT_EQ(series_frames(), before);
}

TEST_F(Memory, AFrameWithLittleRoomIsPassedOverForOneFurtherOn) {
	memory::new_series_frame();
	memory::new_series_frame();
	SeriesFrame* little = memory::state.series_head;
	SeriesFrame* roomy = little->next;
	SeriesFrame* full = roomy->next;
	ASSERT_NE(full, nullptr);
	memory::state.series_current = little;
	fill_current_to(1000);
	memory::state.series_current = full;
	fill_current_to(16);
	uint32_t before = series_frames();
	memory::alloc_bytes(64);  // fits in both others; only one has room to go on with
	EXPECT_EQ(memory::state.series_current, roomy);
	EXPECT_EQ(series_frames(), before);
}

TEST_F(Memory, MiddleOffsetPlacesHeadHalfway) {
	Series* s = buf(memory::alloc_series(10, 16, -1));
	EXPECT_EQ(s->size, 160u);
	EXPECT_EQ(s->head, 80u);
	EXPECT_EQ(s->tail, 80u);
	EXPECT_TRUE(s->flags & SERIES_MIDDLE);
}

TEST_F(Memory, AllocAtTailDoublesAndKeepsContent) {
	Node n = memory::alloc_cells(2);
	for (int i = 0; i < 2; i++) cell::make_integer(memory::alloc_at_tail(buf(n)), i);
	EXPECT_EQ(buf(n)->size, 32u);
	Cell* c = memory::alloc_at_tail(buf(n));
	EXPECT_EQ(cell::type_of(c), T_UNSET);
	Series* s = buf(n);
	EXPECT_EQ(s->size, 64u);
	EXPECT_EQ(s->used(), 48u);
	EXPECT_EQ(cell::get_integer(s->head_cell() + 1), 1);
}

TEST_F(Memory, AllocAtTailGrowsAnEmptyBuffer) {
	Node n = memory::alloc_cells(0);
	EXPECT_EQ(buf(n)->size, 0u);
	Cell* c = memory::alloc_at_tail(buf(n));
	EXPECT_EQ(cell::type_of(c), T_UNSET);
	EXPECT_EQ(buf(n)->used(), 16u);
}

TEST_F(Memory, GrowthKeepsLengthFlagsAndNode) {
	Node n = memory::alloc_series(8, 2, 0);
	Series* old = buf(n);
	memory::set_flags(n, SERIES_OWNED | SERIES_UTF16);
	std::memcpy(memory::alloc_tail_bytes(old, 6), "a\0b\0c\0", 6);
	Series* fresh = memory::expand_copy(old, 64);
	EXPECT_EQ(buf(n), fresh);
	EXPECT_EQ(fresh->node, n);
	EXPECT_EQ(fresh->used(), 6u);
	EXPECT_EQ(fresh->unit(), 2u);
	EXPECT_TRUE(fresh->flags & SERIES_OWNED);
	EXPECT_TRUE(fresh->flags & SERIES_UTF16);
	EXPECT_EQ(std::memcmp(fresh->head_ptr(), "a\0b\0c\0", 6), 0);
	EXPECT_EQ(old->node, 0u);
	EXPECT_FALSE(old->flags & SERIES_USED);
}

TEST_F(Memory, ExpandCopyNeverWritesPastTheNewCapacity) {
	Series* s = buf(memory::alloc_filled_bytes(256, 'x'));
	s->tail = 256;
	Series* fresh = memory::expand_copy(s, 32);  // smaller than the old data area
	EXPECT_EQ(fresh->size, 32u);
	EXPECT_EQ(fresh->data()[31], 'x');
}

TEST_F(Memory, ExpandFillFillsFromTheEndOfTheCopiedBytes) {
	Series* s = buf(memory::alloc_filled_bytes(16, 'a'));
	s->head = 4;  // the copy runs from the head to the end of the data: 12 bytes
	s->tail = 16;
	Series* fresh = memory::expand_fill(s, 64, 'z');
	EXPECT_EQ(std::string(reinterpret_cast<char*>(fresh->data()), 12), std::string(12, 'a'));
	EXPECT_EQ(std::string(reinterpret_cast<char*>(fresh->data()) + 12, 52), std::string(52, 'z'));
}

TEST_F(Memory, CopiesTakeFlagsButNotPlacement) {
	Node n = memory::alloc_fixed(4, 4, 0);
	memory::set_flags(n, SERIES_OWNED);
	std::memcpy(memory::alloc_tail_bytes(buf(n), 8), "ABCDEFGH", 8);
	Series* copy = buf(memory::copy_series(buf(n)));
	EXPECT_FALSE(copy->flags & SERIES_FIXED);
	EXPECT_TRUE(copy->flags & SERIES_OWNED);
	EXPECT_EQ(copy->used(), 8u);
	Series* part = buf(memory::copy_part(n, 1, 1));
	EXPECT_FALSE(part->flags & SERIES_OWNED);
	EXPECT_EQ(part->used(), 4u);
	EXPECT_EQ(std::memcmp(part->head_ptr(), "EFGH", 4), 0);
}

TEST_F(Memory, RepeatCopyFillsExactlyCountPatterns) {
	for (size_t count : {0, 1, 2, 3, 5, 8, 13}) {
		std::vector<uint8_t> area(3 * 16 + 1, 0xEE);
		std::memcpy(area.data(), "abc", 3);
		uint8_t* end = memory::repeat_copy(area.data(), 3, count);
		size_t n = count ? count : 0;
		EXPECT_EQ(end, area.data() + 3 * n);
		for (size_t i = 3; i < 3 * n; i++) EXPECT_EQ(area[i], "abc"[i % 3]) << count;
		EXPECT_EQ(area[std::max<size_t>(3 * n, 3)], 0xEE) << "nothing written past the end";
	}
}

TEST_F(Memory, AllocTailBytesGrowsToFitLargeAppends) {
	Node n = memory::alloc_bytes(16);
	uint8_t* p = memory::alloc_tail_bytes(buf(n), 100);  // capacity below count: twice the count
	EXPECT_EQ(memory::series(n)->size, 208u);
	EXPECT_EQ(p, memory::series(n)->data());
	EXPECT_EQ(memory::series(n)->used(), 100u);
}

TEST_F(Memory, VirtualPagesAreCounted) {
	uint64_t before = memory::state.bytes_obtained;
	void* p = memory::alloc_virtual(10);
	EXPECT_EQ(memory::state.bytes_obtained, before + 4096);
	memory::free_virtual(p);
	EXPECT_EQ(memory::state.bytes_obtained, before);
}

TEST_F(Memory, ImpossibleSizeRaisesNoMemory) {
	stack::mark_try(nullptr);
	try {
		memory::alloc_series(0x80000000u, 4, 0);
		FAIL() << "no error";
	} catch (const Throw& t) {
		EXPECT_EQ(t.code, THROW_ERROR);
		EXPECT_EQ(errors::code_of(stack::get_top()), errors::id::internal_no_memory.code());
	}
}

}  // namespace
