#include "runtime/ownership.h"

#include <string>
#include <vector>

#include "runtime/cycles.h"
#include "tests/unit/core_tables.h"

using namespace vyn;
using namespace vyn::test;

namespace {

struct Call {
	std::string field, action;
	Node owner_context, target;
	int32_t index, part;
};
std::vector<Call> calls;

void record_call(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index, int32_t part) {
	EXPECT_TRUE(cell::is(value, T_NONE) || cell::is(value, T_INTEGER));
	calls.push_back({std::string(symbol::name(word->data2)), std::string(symbol::name(action->data2)), owner->data1,
		target->data2, index, part});
}

class Ownership : public CoreTables {
protected:
	void SetUp() override {
		CoreTables::SetUp();
		ownership::init();
		ownership::on_deep_change = record_call;
		calls.clear();
	}
};

// An object with one field per name; `handlers` gives it an on-set record.
Cell object_with(std::initializer_list<const char*> fields, bool handlers) {
	Node ctx = context::create(uint32_t(fields.size()), false, false, 0, context::KIND_OBJECT);
	for (const char* f : fields) {
		Cell w = word_of(f);
		context::add_word(ctx, &w);
	}
	Cell object;
	cell::set(&object, T_OBJECT, ctx, 0, handlers ? memory::alloc_cells(2) : 0);
	*context::owner(ctx) = object;
	return object;
}

Cell* field(const Cell& object, uint32_t i) { return context::values(object.data1) + i; }
Cell* field_word(const Cell& object, uint32_t i) { return context::word_cell(object.data1, i); }

// An owner's field takes the value, as the object module does it.
void give(const Cell& owner, uint32_t i, const Cell& value) {
	*field(owner, i) = value;
	ownership::bind_owned(field(owner, i), &owner, field_word(owner, i));
}

bool owned(const Cell& series) { return (memory::buffer_of(&series)->flags & SERIES_OWNED) != 0; }

TEST_F(Ownership, AChangeCallsTheHandlerBeforeAndAfter) {
	Cell owner = object_with({"items"}, true);
	Cell items = block_of({integer(1)});
	give(owner, 0, items);
	EXPECT_TRUE(owned(items));
	EXPECT_TRUE(context::header(owner.data1)->header & context::FLAG_OWNER);
	Cell two = integer(2);
	EXPECT_TRUE(ownership::check(&items, words::w_append, 1, 1, &two));
	*memory::alloc_tail(&items) = two;
	EXPECT_TRUE(ownership::check(&items, words::w_appended, 1, 1));
	ASSERT_EQ(calls.size(), 2u);
	EXPECT_EQ(calls[0].field, "items");
	EXPECT_EQ(calls[0].action, "append");
	EXPECT_EQ(calls[1].action, "appended");
	EXPECT_EQ(calls[1].owner_context, owner.data1);
	EXPECT_EQ(calls[1].target, items.data2);
	EXPECT_EQ(calls[1].index, 1);
	EXPECT_EQ(calls[1].part, 1);
}

TEST_F(Ownership, StringChangesReachTheOwnerThroughTheStringModule) {
	Cell owner = object_with({"label"}, true);
	Cell label = make_string(U"ab", 1);
	give(owner, 0, label);
	string::notify(&label, "append", 2, 0);
	string::notify(&label, "appended", 2, 1);
	ASSERT_EQ(calls.size(), 2u);
	EXPECT_EQ(calls[0].action, "append");
	EXPECT_EQ(calls[1].action, "appended");
	EXPECT_EQ(calls[1].field, "label");
	EXPECT_EQ(calls[1].part, 1);
}

TEST_F(Ownership, NestedSeriesReportToTheOuterField) {
	Cell owner = object_with({"outer"}, true);
	Cell text = make_string(U"abc", 1);
	Cell inner = block_of({text});
	Cell outer = block_of({integer(0), inner});
	give(owner, 0, outer);
	EXPECT_TRUE(owned(inner));
	EXPECT_TRUE(owned(text));
	ownership::check(&text, words::w_change, 0, 1);
	ownership::check(&inner, words::w_clear, 0, 1);
	ASSERT_EQ(calls.size(), 2u);
	EXPECT_EQ(calls[0].field, "outer");
	EXPECT_EQ(calls[0].target, text.data2);
	EXPECT_EQ(calls[1].field, "outer");
	EXPECT_EQ(ownership::find_owner(inner.data2)->data1, owner.data1);
}

TEST_F(Ownership, NothingIsCalledForUnownedSeriesOrOwnersWithoutHandlers) {
	Cell loose = block_of({integer(1)});
	EXPECT_FALSE(ownership::check(&loose, words::w_append, 0, 1));
	Cell quiet = object_with({"data"}, false);
	Cell data = block_of({});
	give(quiet, 0, data);
	EXPECT_TRUE(owned(data));
	EXPECT_FALSE(ownership::check(&data, words::w_append, 0, 1));
	Cell number = integer(3);
	EXPECT_FALSE(ownership::check(&number, words::w_append, 0, 1));
	EXPECT_TRUE(calls.empty());
}

TEST_F(Ownership, SelfContainingBlocksBindAndUnbindOnce) {
	Cell owner = object_with({"loop"}, true);
	Cell a = block_of({});
	Cell b = block_of({a});
	*memory::alloc_tail(&a) = b;
	*memory::alloc_tail(&a) = a;
	give(owner, 0, a);
	EXPECT_EQ(cycles::count, 0u);
	EXPECT_TRUE(owned(a));
	EXPECT_TRUE(owned(b));
	ownership::unbind(&a);
	EXPECT_EQ(cycles::count, 0u);
	EXPECT_FALSE(owned(a));
	EXPECT_FALSE(owned(b));
	EXPECT_EQ(ownership::find_owner(a.data2), nullptr);
	EXPECT_EQ(ownership::find_owner(b.data2), nullptr);
	EXPECT_FALSE(ownership::check(&b, words::w_append, 0, 1));
}

TEST_F(Ownership, UnbindingASeriesWithoutEntryOnlyClearsTheFlag) {
	Cell text = make_string(U"x", 1);
	memory::buffer_of(&text)->flags |= SERIES_OWNED;
	uint32_t live = hash::table_of(ownership::table)->live;
	ownership::unbind(&text);
	EXPECT_FALSE(owned(text));
	EXPECT_EQ(hash::table_of(ownership::table)->live, live);
}

TEST_F(Ownership, AnOwnerKeepsItsFieldsInsideAnotherOwner) {
	Cell inner_owner = object_with({"list"}, true);
	Cell list = block_of({});
	give(inner_owner, 0, list);
	Cell plain = object_with({"notes"}, false);
	Cell notes = make_string(U"n", 1);
	*field(plain, 0) = notes;
	Cell outer_owner = object_with({"child", "plain"}, true);
	give(outer_owner, 0, inner_owner);
	give(outer_owner, 1, plain);
	EXPECT_EQ(ownership::find_owner(list.data2)->data1, inner_owner.data1);
	ASSERT_NE(ownership::find_owner(notes.data2), nullptr);
	EXPECT_EQ(ownership::find_owner(notes.data2)->data1, outer_owner.data1) << "a plain object is walked into";
	ownership::check(&notes, words::w_trim, 0, 1);
	ASSERT_EQ(calls.size(), 1u);
	EXPECT_EQ(calls[0].field, "notes") << "the nested object's own field word";
	ownership::unbind(&inner_owner);
	EXPECT_TRUE(owned(list)) << "an owner's series stay its own";
}

TEST_F(Ownership, UnbindCellsReleasesARange) {
	Cell owner = object_with({"rows"}, true);
	Cell r0 = block_of({}), r1 = block_of({}), r2 = block_of({});
	Cell rows = block_of({r0, r1, r2});
	give(owner, 0, rows);
	ownership::unbind_cells(&rows, 1, 5);
	EXPECT_TRUE(owned(r0));
	EXPECT_FALSE(owned(r1));
	EXPECT_FALSE(owned(r2));
	EXPECT_TRUE(owned(rows));
}

TEST_F(Ownership, TheSweepDropsEntriesOfDeadSeriesOrOwners) {
	Cell owner = object_with({"a", "b"}, true);
	Cell kept = block_of({}), dropped = block_of({});
	give(owner, 0, kept);
	give(owner, 1, dropped);
	static Node dead;
	dead = dropped.data2;
	ownership::sweep([](Node n) { return n != dead; });
	EXPECT_NE(ownership::find_owner(kept.data2), nullptr);
	EXPECT_EQ(ownership::find_owner(dropped.data2), nullptr);
	dead = owner.data1;
	ownership::sweep([](Node n) { return n != dead; });
	EXPECT_EQ(ownership::find_owner(kept.data2), nullptr);
}

TEST_F(Ownership, ManyOwnedSeriesStayFindable) {
	Cell owner = object_with({"big"}, true);
	std::vector<Cell> parts;
	for (int i = 0; i < 3000; i++) parts.push_back(block_of({integer(i)}));
	Node n = memory::alloc_cells(3000);
	for (const Cell& p : parts) *memory::alloc_at_tail(memory::series(n)) = p;
	Cell whole;
	cell::set(&whole, T_BLOCK, 0, n, 0);
	give(owner, 0, whole);
	for (int i = 0; i < 3000; i += 2) ownership::unbind(&parts[size_t(i)]);
	for (int i = 0; i < 3000; i++) EXPECT_EQ(ownership::find_owner(parts[size_t(i)].data2) != nullptr, i % 2 == 1) << i;
}

}  // namespace
