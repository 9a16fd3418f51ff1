#include "runtime/datatypes/handle.h"

#include "tests/unit/extended_support.h"

using namespace vyn;

namespace {

class Handle : public test::ValueTest {
protected:
	int32_t windows = 0;
	void SetUp() override {
		ValueTest::SetUp();
		handle::init_type();
		windows = externals::register_class("window", nullptr);
	}
	// A handle whose id is `id` (slot id - 1 taken by filling the table).
	Cell handle_with_id(uint32_t id, handle::Class cls) {
		int32_t slot = -1;
		while (slot + 1 < int32_t(id)) slot = externals::alloc_handle(nullptr, windows);
		Cell h;
		handle::make_at(&h, slot, cls);
		return h;
	}
};

TEST_F(Handle, FormShowsTheIdInHexAndMoldAllNamesTheClass) {
	Cell null_handle;
	handle::make_at(&null_handle, -1, handle::WINDOW);
	Cell window = handle_with_id(255, handle::WINDOW);
	Cell fd = handle_with_id(256, handle::FD);
	Cell rich = handle_with_id(257, handle::RICH_TEXT);
	struct Case {
		const Cell* value;
		const char* form;
		const char* mold_all;
	} cases[] = {
		{&null_handle, "00000000h", "#[handle! 00000000h]"},
		{&window, "000000FFh", "#[handle! 000000FFh window]"},
		{&fd, "00000100h", "#[handle! 00000100h fd]"},
		{&rich, "00000101h", "#[handle! 00000101h rich-text]"},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(test::form_of(*c.value), c.form);
		EXPECT_EQ(test::mold_of(*c.value), "handle!");
		EXPECT_EQ(test::mold_of(*c.value, true), c.mold_all);
	}
}

TEST_F(Handle, ComparesByIdAloneNotClassAndOtherTypesAreUnrelated) {
	int32_t slot = externals::alloc_handle(nullptr, windows);
	Cell as_window, as_font, later, number;
	handle::make_at(&as_window, slot, handle::WINDOW);
	handle::make_at(&as_font, slot, handle::FONT);
	handle::make_at(&later, externals::alloc_handle(nullptr, windows), handle::WINDOW);
	cell::make_integer(&number, int32_t(handle::id_of(&as_window)));
	EXPECT_TRUE(actions::compare(&as_window, &as_font, COMP_EQUAL));
	EXPECT_TRUE(actions::compare(&as_window, &later, COMP_NOT_EQUAL));
	EXPECT_FALSE(actions::compare(&as_window, &number, COMP_EQUAL));
	EXPECT_TRUE(actions::compare(&as_window, &number, COMP_NOT_EQUAL));
	EXPECT_EQ(actions::compare_raw(&as_window, &number, COMP_SORT), COMPARE_UNRELATED);
	EXPECT_EQ(test::raised([&] { actions::compare(&as_window, &number, COMP_LESSER); }),
		errors::id::script_invalid_compare.code());
	EXPECT_EQ(actions::compare_raw(&as_window, &later, COMP_SORT), -1);
	EXPECT_EQ(actions::compare_raw(&later, &as_window, COMP_SORT), 1);
}

TEST_F(Handle, AFreedSlotMakesItsHandlesStaleEvenWhenTheSlotIsReused) {
	int obj1 = 1, obj2 = 2;
	int32_t slot = externals::alloc_handle(&obj1, windows);
	Cell old;
	handle::make_at(&old, slot, handle::WINDOW);
	EXPECT_TRUE(handle::is_live(&old));
	EXPECT_EQ(handle::data(&old), &obj1);

	externals::free_handle(slot, false);
	EXPECT_FALSE(handle::is_live(&old));
	EXPECT_EQ(handle::data(&old), nullptr);

	ASSERT_EQ(externals::alloc_handle(&obj2, windows), slot) << "the freed slot is reused first";
	Cell current;
	handle::make_at(&current, slot, handle::WINDOW);
	EXPECT_EQ(handle::data(&old), nullptr) << "the new occupant is never reached through the old handle";
	EXPECT_EQ(handle::data(&current), &obj2);
	EXPECT_FALSE(actions::compare(&old, &current, COMP_EQUAL));

	handle::mark(&old);
	externals::sweep();
	EXPECT_FALSE(handle::is_live(&current)) << "a stale handle does not keep the new occupant alive";
}

TEST_F(Handle, MarkKeepsALiveObjectThroughASweep) {
	int obj = 1;
	int32_t slot = externals::alloc_handle(&obj, windows);
	Cell h;
	handle::make_at(&h, slot, handle::WINDOW);
	handle::mark(&h);
	externals::sweep();
	EXPECT_TRUE(handle::is_live(&h));
	externals::sweep();
	EXPECT_FALSE(handle::is_live(&h)) << "the second sweep finds it unmarked";
}

TEST_F(Handle, BuildersFillResultSlotsStackAndBlocks) {
	stack::arguments = stack::top;
	stack::alloc_slot();
	Cell* boxed = handle::box(-1, handle::NULL_CLASS);
	EXPECT_EQ(boxed, stack::arguments);
	EXPECT_TRUE(cell::is(boxed, T_HANDLE));
	Cell* pushed = handle::push_null();
	EXPECT_EQ(pushed, stack::get_top());
	EXPECT_EQ(handle::id_of(pushed), 0u);
	EXPECT_EQ(handle::data(pushed), nullptr);
	Cell block;
	cell::set(&block, T_BLOCK, 0, memory::alloc_cells(2), 0);
	int32_t slot = externals::alloc_handle(nullptr, windows);
	Cell* added = handle::make_in(&block, slot, handle::FONT);
	EXPECT_EQ(handle::slot_of(added), slot);
	EXPECT_EQ(handle::class_of(added), handle::FONT);
	EXPECT_EQ(memory::buffer_of(&block)->used(), sizeof(Cell));
}

}  // namespace
