#include "runtime/externals.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/memory.h"
#include "tests/unit/raised.h"

using namespace vyn;

namespace {

std::vector<void*> released;
std::vector<void*> visited;

void record_release(void* data) { released.push_back(data); }
void record_visit(void* data) { visited.push_back(data); }

void* object(uintptr_t n) { return reinterpret_cast<void*>(n); }

const uint32_t OUT_OF_RANGE = errors::id::script_out_of_range.code();
const uint32_t WRONG_MEM = errors::id::internal_wrong_mem.code();

class Externals : public ::testing::Test {
protected:
	int32_t image = 0;
	int32_t silent = 0;  // a class without release callback

	void SetUp() override {
		memory::init();
		memory::new_node_frame(10000);
		stack::init();
		externals::init();
		image = externals::register_class("image", record_release);
		silent = externals::register_class("font", nullptr);
		released.clear();
		visited.clear();
	}
};

TEST_F(Externals, ClassIdsCountFromOneAndTheTwentyFirstIsRefused) {
	EXPECT_EQ(image, 1);
	EXPECT_EQ(silent, 2);
	for (int32_t id = 3; id <= 20; id++) EXPECT_EQ(externals::register_class("com-object", nullptr), id);
	EXPECT_EQ(test::raised([] { externals::register_class("one-too-many", nullptr); }),
		errors::id::internal_limit_hit.code());
	EXPECT_EQ(externals::class_count(), 20u);
	EXPECT_STREQ(externals::class_entry(1).name, "image");
}

TEST_F(Externals, TakingTheLastFreeSlotDoublesTheTable) {
	for (int32_t i = 0; i < 999; i++) EXPECT_EQ(externals::alloc_handle(object(i + 1), image), i);
	EXPECT_EQ(externals::capacity(), 1000u);
	EXPECT_EQ(externals::alloc_handle(object(1000), image), 999);
	EXPECT_EQ(externals::capacity(), 2000u);
	EXPECT_EQ(externals::alloc_handle(object(1001), image), 1000);
	EXPECT_EQ(externals::data(0), object(1));  // growth kept the old slots
	EXPECT_EQ(externals::data(999), object(1000));
}

TEST_F(Externals, MostRecentlyFreedSlotIsReusedFirst) {
	int32_t a = externals::alloc_handle(object(1), image);
	int32_t b = externals::alloc_handle(object(2), image);
	int32_t c = externals::alloc_handle(object(3), image);
	EXPECT_EQ(externals::free_handle(a, false), externals::END);
	externals::free_handle(c, false);
	EXPECT_EQ(externals::alloc_handle(object(4), image), c);
	EXPECT_EQ(externals::alloc_handle(object(5), image), a);
	EXPECT_EQ(externals::alloc_handle(object(6), image), 3);
	EXPECT_EQ(externals::data(b), object(2));
	EXPECT_TRUE(released.empty());
}

TEST_F(Externals, BadSlotsAndDoubleFreesAreRefused) {
	int32_t live = externals::alloc_handle(object(1), image);
	int32_t gone = externals::alloc_handle(object(2), image);
	externals::free_handle(gone, true);
	released.clear();
	struct Case {
		const char* what;
		void (*run)(int32_t slot);
	};
	const Case operations[] = {
		{"free", [](int32_t s) { externals::free_handle(s, true); }},
		{"set-data", [](int32_t s) { externals::set_data(s, object(9)); }},
		{"data", [](int32_t s) { externals::data(s); }},
		{"generation", [](int32_t s) { externals::generation(s); }},
	};
	const int32_t bad[] = {-1, 1000, INT32_MAX, INT32_MIN};
	for (const Case& op : operations) {
		for (int32_t slot : bad)
			EXPECT_EQ(test::raised([&] { op.run(slot); }), OUT_OF_RANGE) << op.what << " " << slot;
		uint32_t expected = std::string(op.what) == "free" ? WRONG_MEM : OUT_OF_RANGE;
		EXPECT_EQ(test::raised([&] { op.run(gone); }), expected) << op.what << " of a freed slot";
	}
	EXPECT_TRUE(released.empty());
	EXPECT_EQ(externals::data(live), object(1));
	EXPECT_EQ(test::raised([] { externals::alloc_handle(nullptr, 3); }), OUT_OF_RANGE);
	EXPECT_EQ(test::raised([] { externals::alloc_handle(nullptr, -1); }), OUT_OF_RANGE);
}

TEST_F(Externals, ReleaseCallbackRunsOnlyWhenAsked) {
	struct Case {
		int32_t class_id;
		bool flag;
		size_t releases;
	};
	const Case cases[] = {{1, true, 1}, {1, false, 0}, {2, true, 0}, {0, true, 0}};
	for (const Case& c : cases) {
		released.clear();
		int32_t slot = externals::alloc_handle(object(7), c.class_id);
		externals::free_handle(slot, c.flag);
		EXPECT_EQ(released.size(), c.releases) << "class " << c.class_id << " flag " << c.flag;
	}
	released.clear();
	for (int32_t class_id : {0, -3, 2, 3, 21}) externals::release(class_id, object(1));
	externals::release(image, object(8));
	EXPECT_EQ(released, std::vector<void*>{object(8)});
}

TEST_F(Externals, SetDataReleasesTheOldDataOnlyWhenItChanges) {
	int32_t slot = externals::alloc_handle(object(1), image);
	externals::set_data(slot, object(1));
	EXPECT_TRUE(released.empty());
	externals::set_data(slot, object(2));
	EXPECT_EQ(released, std::vector<void*>{object(1)});
	EXPECT_EQ(externals::data(slot), object(2));
}

TEST_F(Externals, SweepReleasesEachUnmarkedSlotOnceAndKeepsMarkedOnes) {
	int32_t kept = externals::alloc_handle(object(1), image);
	int32_t dropped = externals::alloc_handle(object(2), image);
	int32_t quiet = externals::alloc_handle(object(3), silent);
	EXPECT_TRUE(externals::mark(kept, nullptr));
	EXPECT_FALSE(externals::mark(kept, object(11)));  // already marked; data still replaced
	externals::sweep();
	EXPECT_EQ(released, std::vector<void*>{object(2)});
	EXPECT_EQ(externals::data(kept), object(11));
	EXPECT_EQ(test::raised([&] { externals::data(dropped); }), OUT_OF_RANGE);
	EXPECT_EQ(test::raised([&] { externals::data(quiet); }), OUT_OF_RANGE);
	EXPECT_EQ(externals::alloc_handle(object(4), image), dropped);  // swept slots are free again
	EXPECT_EQ(externals::alloc_handle(object(5), image), quiet);

	// The mark lasts one collection; the sweep goes most recent first.
	released.clear();
	externals::sweep();
	EXPECT_EQ(released, (std::vector<void*>{object(5), object(4), object(11)}));
	externals::sweep();
	EXPECT_EQ(released.size(), 3u);
}

TEST_F(Externals, MarkIgnoresBadAndFreeSlots) {
	int32_t slot = externals::alloc_handle(object(1), image);
	externals::free_handle(slot, false);
	for (int32_t s : {slot, -1, 5000}) EXPECT_FALSE(externals::mark(s, object(9))) << s;
	EXPECT_EQ(externals::alloc_handle(object(2), image), slot);
	externals::sweep();
	EXPECT_EQ(released, std::vector<void*>{object(2)});  // the free slot kept no mark
}

TEST_F(Externals, WalkVisitsOneClassMostRecentFirst) {
	externals::alloc_handle(object(1), image);
	externals::alloc_handle(object(2), silent);
	int32_t freed = externals::alloc_handle(object(3), image);
	externals::alloc_handle(object(4), image);
	externals::free_handle(freed, false);
	externals::walk(image, record_visit);
	EXPECT_EQ(visited, (std::vector<void*>{object(4), object(1)}));
	visited.clear();
	externals::walk(5, record_visit);
	EXPECT_TRUE(visited.empty());
}

TEST_F(Externals, GenerationTellsAReusedSlotFromTheOldOne) {
	int32_t slot = externals::alloc_handle(object(1), image);
	uint32_t first = externals::generation(slot);
	EXPECT_TRUE(externals::is_current(slot, first));
	externals::free_handle(slot, false);
	EXPECT_FALSE(externals::is_current(slot, first));
	EXPECT_EQ(externals::alloc_handle(object(2), image), slot);
	EXPECT_FALSE(externals::is_current(slot, first));
	EXPECT_TRUE(externals::is_current(slot, externals::generation(slot)));
	EXPECT_FALSE(externals::is_current(-1, 0));
}

// A release callback may use the registry while the sweep runs.
int32_t victim = externals::END;
void release_and_churn(void* data) {
	released.push_back(data);
	if (victim != externals::END) {
		externals::free_handle(victim, true);  // another unmarked slot
		victim = externals::END;
	}
	for (int i = 0; i < 600; i++) externals::alloc_handle(object(100), 2);  // forces growth
}

TEST_F(Externals, SweepSurvivesCallbacksThatUseTheRegistry) {
	int32_t churn = externals::register_class("churn", release_and_churn);
	for (int i = 0; i < 500; i++) externals::alloc_handle(object(50), silent);
	victim = externals::alloc_handle(object(2), image);
	externals::alloc_handle(object(1), churn);
	externals::sweep();
	EXPECT_EQ(released, (std::vector<void*>{object(1), object(2)}));  // each once
	EXPECT_GE(externals::capacity(), 2000u);
	// The slots handed out by the callback are new, unmarked, and freed by the next sweep.
	released.clear();
	externals::sweep();
	EXPECT_TRUE(released.empty());  // all of class 2, which has no callback
	visited.clear();
	externals::walk(silent, record_visit);
	EXPECT_TRUE(visited.empty());
}

}  // namespace
