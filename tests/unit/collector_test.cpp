#include "runtime/collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/datatypes/handle.h"
#include "runtime/evaluator/memory_stats.h"
#include "runtime/externals.h"
#include "runtime/roots.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

class Collector : public ObjectScript {
protected:
	void SetUp() override {
		ObjectScript::SetUp();
		collector::stress = false;
		collector::active = true;
	}
	void TearDown() override {
		collector::stress = false;
		collector::active = false;
		ObjectScript::TearDown();
	}

	static std::string show(const char* source) { return molded(source, MoldOptions{}); }

	static uint32_t series_frames() {
		uint32_t n = 0;
		for (SeriesFrame* f = memory::state.series_head; f; f = f->next) n++;
		return n;
	}

	static uint32_t owned_entries() {
		uint32_t n = 0;
		hash::for_each_entry(ownership::table, [&](Cell*) { n++; });
		return n;
	}
};

// Values of every kind the collector follows, kept in global words.
const char* const KEPT[] = {
	"blk: reduce [1 \"two\" [3 [4 5.5]] 'w (1 + 1) 6.5 #\"c\" %file http://u <t> e@m]",
	"obj: make object! [a: copy \"x\" b: [nested [deep]] f: func [n] [n * 2]]",
	"fn: func [a /r b /local t] [t: copy [] append t reduce [a b]]",
	"err: try [1 / 0]",
	"vec: make vector! [1 2 3]",
	"words: [alpha beta gamma] bind words obj",
	"text: \"wide €ü\"",
};

TEST_F(Collector, ACollectionChangesNoLiveValueEvenWhenEveryBufferMoves) {
	for (const char* src : KEPT) run(src);
	const char* shown[] = {"blk", "obj", ":fn", "err/id", "vec", "words", "text", "obj/f 21", "fn/r 1 2"};
	std::vector<std::string> before;
	for (const char* s : shown) before.push_back(show(s));
	run("loop 200 [copy [garbage] copy \"garbage\"]");
	for (bool stress : {false, true, false}) {
		collector::stress = stress;
		uint32_t cycles = collector::cycles();
		collector::run();
		EXPECT_EQ(collector::cycles(), cycles + 1);
		for (size_t i = 0; i < std::size(shown); i++) EXPECT_EQ(show(shown[i]), before[i]) << shown[i];
	}
}

TEST_F(Collector, RootGuardsKeepCellsAndHandlesAcrossMoves) {
	Cell kept;
	string::make_at(&kept, 8);
	string::append_literal(&kept, "guarded");
	Node bare = memory::alloc_cells(4);
	*memory::alloc_at_tail(memory::series(bare)) = kept;
	Node dropped = memory::alloc_bytes(64);
	uint32_t used = memory::node_frames[memory::node_frame_of(dropped)].used;
	{
		roots::Guard g1(&kept);
		roots::Guard g2(&bare);
		collector::stress = true;
		collector::run();
		EXPECT_EQ(mold_of(kept), "\"guarded\"");
		ASSERT_EQ(memory::series(bare)->used(), sizeof(Cell));
		EXPECT_EQ(mold_of(*memory::series(bare)->head_cell()), "\"guarded\"");
	}
	EXPECT_EQ(roots::count, 0u);
	// Unreached: the node went back to its frame's free list.
	EXPECT_LT(memory::node_frames[memory::node_frame_of(dropped)].used, used);
}

TEST_F(Collector, DeepNestingIsMarkedWithoutRecursion) {
	run("b: copy [] loop 200000 [b: reduce [b]] recycle");
	EXPECT_EQ(show("n: 0 x: b while [not tail? x] [n: n + 1 x: pick x 1] n"), "200000");
}

// A data-stack slot taken but not written yet may hold a stale cell: a
// string whose node now belongs to a live context. The context is reached
// only after the stack (from a guard here), so the stale cell marks it first:
// its word table and values must still be scanned, not left to be freed.
TEST_F(Collector, AStaleStringCellNamingAContextStillLetsItsContentsBeMarked) {
	Cell obj = run("make object! [alpha: copy \"kept\" beta: [1 2]]");
	roots::Guard guard(&obj);
	Cell* stale = stack::alloc_slot();
	string::make_at(stale, 4);
	stale->data2 = obj.data1;
	collector::stress = true;  // every buffer moves: freed contents would show
	collector::run();
	collector::run();
	stack::pop(1);
	EXPECT_EQ(mold_of(field(obj, "alpha")), "\"kept\"");
	EXPECT_EQ(mold_of(field(obj, "beta")), "[1 2]");
}

int released = 0;
void count_release(void*) { released++; }

TEST_F(Collector, HandlesKeepTheirObjectsAndANullHandleIsLeftAlone) {
	int32_t cls = externals::register_class("test-object", count_release);
	int32_t slot = externals::alloc_handle(nullptr, cls);
	released = 0;
	Cell* held = stack::alloc_slot();
	handle::make_at(held, slot, handle::FD);
	Cell* null = stack::alloc_slot();
	handle::make_at(null, -1, handle::FD);
	collector::run();
	EXPECT_EQ(released, 0);
	EXPECT_TRUE(externals::is_current(slot, held->data3));
	stack::pop(2);  // the null handle first drops out of sight: nothing to release
	collector::run();
	EXPECT_EQ(released, 1);
	EXPECT_FALSE(externals::is_current(slot, held->data3));
}

bool series_frame_listed(const SeriesFrame* frame) {
	for (SeriesFrame* f = memory::state.series_head; f; f = f->next)
		if (f == frame) return true;
	return false;
}

TEST_F(Collector, AnEmptiedFrameIsKeptForReuseAndReleasedOnceItStaysIdle) {
	collector::run();
	for (int i = 0; i < 3; i++) memory::new_series_frame();
	SeriesFrame* middle = memory::state.series_head->next;
	SeriesFrame* last = memory::state.series_tail;
	ASSERT_NE(middle, last);
	memory::state.series_current = middle;
	while (middle->end - middle->bump > 0x8000) memory::alloc_cells(100);
	memory::state.series_current = last;
	Cell* kept = stack::alloc_slot();
	cell::set(kept, T_BLOCK, 0, memory::alloc_cells(4), 0);
	collector::run();
	// Filled since the last collection: the allocation rate will want it again.
	ASSERT_TRUE(series_frame_listed(middle));
	EXPECT_EQ(middle->bump, middle->start());
	// Reused, it stays; left idle, it goes. Live data above it slides down
	// through the empty frames one frame a collection, which keeps them in
	// use meanwhile: a few more collections let it settle.
	memory::state.series_current = middle;
	memory::alloc_cells(100);
	collector::run();
	EXPECT_TRUE(series_frame_listed(middle));
	int before = 0;
	for (SeriesFrame* f = memory::state.series_head; f; f = f->next) before++;
	for (int i = 0; i < 8; i++) collector::run();
	// Counted, not looked for: a frame made later may get the freed address.
	int after = 0;
	for (SeriesFrame* f = memory::state.series_head; f; f = f->next) {
		after++;
		if (f != memory::state.series_head && f != memory::state.series_tail) {
			EXPECT_GT(f->bump, f->start());
		}
	}
	EXPECT_LT(after, before);
	EXPECT_EQ(memory::state.series_tail, last);
	EXPECT_EQ(memory::buffer_of(kept)->size, 4 * sizeof(Cell));
}

TEST_F(Collector, ABigBufferMadeAfterACollectionTakesBackAFrameItFreed) {
	collector::run();
	Series* dropped = memory::series(memory::alloc_bytes(5u << 20));
	collector::run();
	ASSERT_NE(memory::state.big_spare, nullptr);
	// Far smaller: a fresh frame; about the same size: the freed one.
	EXPECT_NE(memory::series(memory::alloc_bytes(2u << 20)), dropped);
	EXPECT_EQ(memory::series(memory::alloc_bytes(4u << 20)), dropped);
	EXPECT_EQ(memory::state.big_spare, nullptr);
	// What no buffer took back goes at the next collection.
	memory::alloc_bytes(6u << 20);
	collector::run();
	uint64_t spared = memory::state.big_spare_bytes;
	EXPECT_GT(spared, 12u << 20);
	uint64_t obtained = memory::state.bytes_obtained;
	collector::run();
	EXPECT_EQ(memory::state.big_spare, nullptr);
	EXPECT_LE(memory::state.bytes_obtained, obtained - spared);
	// Stress mode unmaps at once, so that a stale address faults.
	collector::stress = true;
	memory::alloc_bytes(3u << 20);
	collector::run();
	EXPECT_EQ(memory::state.big_spare, nullptr);
}

TEST_F(Collector, LiveBuffersMoveIntoThePreviousFramesFreeTail) {
	collector::run();
	SeriesFrame* one = memory::new_series_frame();
	SeriesFrame* two = memory::new_series_frame();
	SeriesFrame* upper = one > two ? one : two;
	SeriesFrame* previous = upper->prev;
	ASSERT_GE(size_t(previous->end - previous->bump), size_t(SERIES_FRAME_MIN_ROOM) + 1);
	memory::state.series_current = upper;
	Cell* kept = stack::alloc_slot();
	cell::set(kept, T_BLOCK, 0, memory::alloc_cells(8), 0);
	for (int32_t i = 0; i < 8; i++) {
		memory::alloc_cells(8);  // dead between the live ones
		Cell* c = memory::alloc_at_tail(memory::buffer_of(kept));
		string::make_at(c, 4);
		string::append_literal(c, std::to_string(i).c_str());
	}
	ASSERT_GT(reinterpret_cast<uint8_t*>(memory::buffer_of(kept)), reinterpret_cast<uint8_t*>(upper));
	collector::run();
	auto* buffer = reinterpret_cast<uint8_t*>(memory::buffer_of(kept));
	EXPECT_TRUE(buffer > reinterpret_cast<uint8_t*>(previous) && buffer < previous->end);
	// The emptied frame stays for reuse (AnEmptiedFrameIsKept... follows it further).
	EXPECT_TRUE(series_frame_listed(upper));
	EXPECT_EQ(mold_of(*kept), "[\"0\" \"1\" \"2\" \"3\" \"4\" \"5\" \"6\" \"7\"]");
}

uint32_t nodes_in_use() {
	uint32_t n = 0;
	for (int32_t k = memory::state.node_head; k >= 0; k = memory::node_frames[k].next) n += memory::node_frames[k].used;
	return n;
}

TEST_F(Collector, AFrameOfDeadBuffersIsEmptiedAndOnlyTheirNodesAreFreed) {
	collector::run();
	uint32_t nodes = nodes_in_use();
	SeriesFrame* dead = memory::new_series_frame();
	SeriesFrame* other = memory::new_series_frame();
	memory::state.series_current = dead;
	Cell* kept = stack::alloc_slot();
	cell::set(kept, T_BLOCK, 0, memory::alloc_cells(1), 0);
	for (int i = 0; i < 2000; i++) memory::alloc_cells(i % 7);
	Series* first = memory::buffer_of(kept);
	// Grown from the other frame: the first buffer is left behind in this
	// one, and its node (still in use) names the grown buffer.
	memory::state.series_current = other;
	for (int32_t i = 0; i < 6; i++) {
		memory::alloc_cells(3);  // dead, beside live ones
		string::make_at(memory::alloc_at_tail(memory::buffer_of(kept)), 4);
		string::append_literal(memory::buffer_of(kept)->tail_cell() - 1, std::to_string(i).c_str());
	}
	ASSERT_NE(memory::buffer_of(kept), first);
	ASSERT_TRUE(first > reinterpret_cast<Series*>(dead) && reinterpret_cast<uint8_t*>(first) < dead->end);
	EXPECT_GT(nodes_in_use(), nodes + 2000);
	collector::run();
	// The block and its six strings are left.
	EXPECT_EQ(nodes_in_use(), nodes + 7);
	EXPECT_EQ(mold_of(*kept), "[\"0\" \"1\" \"2\" \"3\" \"4\" \"5\"]");
	// A second collection finds every buffer live: nothing moves, nothing is freed.
	Series* settled = memory::buffer_of(kept);
	collector::run();
	EXPECT_EQ(memory::buffer_of(kept), settled);
	EXPECT_EQ(nodes_in_use(), nodes + 7);
	EXPECT_EQ(mold_of(*kept), "[\"0\" \"1\" \"2\" \"3\" \"4\" \"5\"]");
}

TEST_F(Collector, LongLivedTreesSurviveCollectionsAmongShortLivedOnes) {
	// Frames wholly dead, wholly live and mixed, over many collections.
	const char* source = R"(
		tree: func [d] [either d > 0 [reduce [tree d - 1 tree d - 1 copy "leaf"]] [reduce [none none d]]]
		count: func [t] [either t/1 [1 + (count t/1) + count t/2] [1]]
		kept: tree 10
		total: 0
		repeat i 600 [total: total + count tree 4 + (i // 8) if i // 100 = 0 [recycle]]
		reduce [total count kept]
	)";
	uint32_t cycles = collector::cycles();
	EXPECT_EQ(molded(source), "[611400 2047]");
	EXPECT_GT(collector::cycles(), cycles + 8);  // six asked for, the others paced
}

TEST_F(Collector, SwitchedOffAllocationAddsFramesInstead) {
	collector::active = false;
	uint32_t cycles = collector::cycles();
	uint32_t frames = series_frames();
	run("b: copy [] loop 30000 [append b copy/deep [[1 2 3 4 5 6 7 8]]] b: none");
	EXPECT_EQ(collector::cycles(), cycles);
	EXPECT_GT(series_frames(), frames);
	collector::active = true;
	run("recycle");
	EXPECT_EQ(collector::cycles(), cycles + 1);
}

TEST_F(Collector, DroppedBlocksKeepMemoryFlat) {
	const char* drop = "loop 100000 [copy [1 2 3] copy \"text\"]";
	// Frames emptied by a collection are released once two more find them idle.
	auto settle = [] {
		for (int i = 0; i < 3; i++) collector::run();
	};
	run(drop);
	settle();
	uint64_t reserved = memory::state.bytes_obtained;
	uint64_t used = stats::memory(nullptr, 1);
	run(drop);
	settle();
	EXPECT_LE(memory::state.bytes_obtained, reserved);
	EXPECT_EQ(stats::memory(nullptr, 1), used);
}

TEST_F(Collector, OwnershipEntriesDieWithTheirOwnerOrTheirSeries) {
	// The spec is copied: make binds the block it is given to the new object.
	run("mk: does [make object! copy/deep [v: copy [1] s: copy \"s\" on-deep-change*: func [o w t a n i p] [hits: hits + 1]]]"
		" hits: 0");
	collector::run();
	uint32_t base = owned_entries();
	run("kept: mk dropped: copy [] loop 2000 [append dropped mk] append kept/v 2");
	EXPECT_EQ(owned_entries(), base + 2 * 2001);
	run("dropped: none");
	collector::run();
	EXPECT_EQ(owned_entries(), base + 2);
	// The owner lives, its old series does not: that entry goes too, and the
	// table still finds the entries left after its re-indexing (the new
	// series, stored by a plain set-path, is not owned).
	run("kept/v: copy [9]");
	collector::run();
	EXPECT_EQ(owned_entries(), base + 1);
	EXPECT_EQ(show("append kept/v 4 append kept/s \"u\" hits"), "4");
	EXPECT_EQ(show("kept/v"), "[9 4]");
}

TEST_F(Collector, AnOwnerReachedOnlyThroughItsEntryIsReclaimed) {
	run("holder: make object! [v: copy [1] on-deep-change*: func [o w t a n i p] []] keep: holder/v");
	collector::run();
	uint32_t with_owner = owned_entries();
	// The series lives on without its owner: no entry may hold the owner.
	run("holder: none");
	collector::run();
	EXPECT_EQ(owned_entries(), with_owner - 1);
	EXPECT_FALSE(memory::series(run("keep").data2)->flags & SERIES_OWNED);
	EXPECT_EQ(show("append keep 2"), "[1 2]");
}

TEST_F(Collector, EvacuatedNodeFramesRewriteEveryHandle) {
	// Three frames of nodes; the middle one keeps a few live ones.
	run("keep: copy [] junk: copy [] repeat i 25000 [either zero? remainder i 100 [append/only keep reduce [i]]"
		" [append/only junk copy []]]");
	Cell guarded;
	cell::set(&guarded, T_BLOCK, 0, run("pick keep 150").data2, 0);
	Node bare = run("pick keep 160").data2;
	run("junk: none");
	uint32_t before = memory::nodes_cycles;
	roots::Guard g1(&guarded);
	roots::Guard g2(&bare);
	for (int i = 0; i < 8 && memory::nodes_cycles == before; i++) collector::run(true);
	EXPECT_GT(memory::nodes_cycles, before);
	EXPECT_EQ(collector::nodes_cycles(), memory::nodes_cycles);
	EXPECT_EQ(mold_of(guarded), "[15000]");
	EXPECT_EQ(memory::series(bare)->node, bare);
	EXPECT_EQ(show("length? keep"), "250");
	EXPECT_EQ(show("pick keep 250"), "[25000]");
	// Free slots were never taken for nodes: every frame's count adds up.
	for (int32_t k = memory::state.node_head; k >= 0; k = memory::node_frames[k].next) {
		const NodeFrame& f = memory::node_frames[k];
		uint32_t free = 0;
		for (Node n = f.free_head; n; n = Node(reinterpret_cast<uintptr_t>(memory::node_table[n]) >> 1)) free++;
		EXPECT_EQ(free + f.used, f.capacity);
	}
}


// Stress mode: a collection at every safe point of a shallow stack; deeper,
// a rate falling with depth keeps a recursion's collections growing with the
// logarithm of its depth rather than the depth (each costs the whole heap).
TEST_F(Collector, StressCollectsAtEverySafePointOfAShallowStackAndAtAFallingRateDeeper) {
	run("f: func [n] [either n > 0 [f n - 1] [0]]");
	collector::stress = true;
	memory::collection_requested = true;
	auto collections = [](const char* source) {
		uint32_t before = collector::cycles();
		EXPECT_EQ(show(source), "0") << source;
		return collector::cycles() - before;
	};
	EXPECT_GE(collections("loop 100 [0]"), 100u);
	EXPECT_GE(collections("f 50"), 150u);  // each level's calls of f, either and -
	uint32_t deep = collections("f 100");
	uint32_t deeper = collections("f 400");
	EXPECT_GT(deeper, deep + 100);  // collections go on at depth
	EXPECT_LT(deeper, 2 * deep);    // every safe point collecting would make it 4 times
}

// VYN_GC_STRESS=1 stresses start-up too; after-boot only what follows it.
TEST_F(Collector, StressStartsAtStartUpOrOnceTheLibraryIsLoaded) {
	struct Case {
		const char* value;
		bool during_boot, after_boot;
	} cases[] = {{"1", true, true}, {"after-boot", false, true}, {"0", false, false}, {nullptr, false, false}};
	for (const Case& c : cases) {
		if (c.value)
			setenv("VYN_GC_STRESS", c.value, 1);
		else
			unsetenv("VYN_GC_STRESS");
		collector::init();
		EXPECT_EQ(collector::stress, c.during_boot) << (c.value ? c.value : "unset");
		collector::boot_done();
		EXPECT_EQ(collector::stress, c.after_boot) << (c.value ? c.value : "unset");
	}
	unsetenv("VYN_GC_STRESS");
	collector::stress = false;
}

}  // namespace
}  // namespace vyn::test::objects
