#include "runtime/context.h"

#include <functional>
#include <string>
#include <vector>

#include "runtime/cycles.h"
#include "tests/unit/core_tables.h"

using namespace vyn;
using namespace vyn::test;

namespace {

using Contexts = CoreTables;

// An object value over a new object context; `record` stands for the
// on-set record node of an object with change handlers.
Cell object_of(std::initializer_list<const char*> fields, Node record = 0) {
	Node ctx = context::create(uint32_t(fields.size()), false, false, 0, context::KIND_OBJECT);
	for (const char* f : fields) {
		Cell w = loose_word(f);
		context::add_word(ctx, &w);
	}
	Cell object;
	cell::set(&object, T_OBJECT, ctx, 0, record);
	*context::owner(ctx) = object;
	return object;
}

TEST_F(Contexts, AContextForNoWordsIsSizedForOne) {
	Node ctx = context::create(0, false, false, 0, 0);
	EXPECT_EQ(context::word_count(ctx), 0u);
	EXPECT_EQ(memory::series(context::header(ctx)->data2)->size, sizeof(Cell));
	EXPECT_EQ(memory::series(context::header(ctx)->data2)->used(), 0u);
	EXPECT_EQ(hash::table_of(context::word_table(ctx))->buckets, 8u);
	EXPECT_TRUE(cell::is(context::owner(ctx), T_UNSET));
	EXPECT_TRUE(cell::is(context::header(ctx), T_CONTEXT));
}

TEST_F(Contexts, HeaderCarriesKindAndFlags) {
	struct Case {
		bool stack, maker;
		uint32_t kind, flags;
	} cases[] = {
		{false, false, 0, 0},
		{true, false, 1, context::FLAG_STACK | (1u << 11)},
		{false, true, 2, context::FLAG_MAKER | (2u << 11)},
		{true, true, 3, context::FLAG_STACK | context::FLAG_MAKER | (3u << 11)},
	};
	for (const Case& c : cases) {
		Node ctx = context::create(3, c.stack, c.maker, 0, c.kind);
		EXPECT_EQ(context::header(ctx)->header, T_CONTEXT | c.flags);
		EXPECT_EQ(context::header(ctx)->data2 == 0, c.stack) << "a stack context has no values block";
	}
}

TEST_F(Contexts, GrowsAndFindsEveryWordIgnoringCase) {
	Node ctx = context::create(2, false, false, 0, 0);
	for (int i = 0; i < 1000; i++) {
		Cell w = loose_word(("field-" + std::to_string(i)).c_str());
		EXPECT_EQ(context::add_word(ctx, &w), i);
	}
	EXPECT_EQ(context::word_count(ctx), 1000u);
	EXPECT_EQ(memory::series(context::header(ctx)->data2)->used(), 1000 * sizeof(Cell));
	for (int i = 0; i < 1000; i += 7) {
		std::string name = "FIELD-" + std::to_string(i);
		EXPECT_EQ(context::find_word(ctx, sym(name.c_str()), true), i);
		EXPECT_EQ(context::find_word(ctx, sym(name.c_str()), false), -1);
		Cell* w = context::word_cell(ctx, uint32_t(i));
		EXPECT_EQ(w->data1, ctx);
		EXPECT_EQ(w->data3, uint32_t(i));
	}
	Cell again = loose_word("Field-3");
	EXPECT_EQ(context::add_word(ctx, &again), 3);
	EXPECT_EQ(context::word_count(ctx), 1000u);
}

TEST_F(Contexts, SettingAnotherSpellingSetsTheExistingSlot) {
	Cell object = object_of({"size"});
	Node ctx = object.data1;
	Cell w = loose_word("SIZE");
	w.data1 = ctx;
	Cell v = integer(12);
	context::set(&w, &v);
	EXPECT_EQ(context::word_count(ctx), 1u);
	EXPECT_EQ(w.data3, 0u);
	EXPECT_EQ(cell::get_integer(context::values(ctx)), 12);
	EXPECT_TRUE(context::word_cell(ctx, 0)->header & context::WORD_ASSIGNED);
	Cell fresh = loose_word("color");
	fresh.data1 = ctx;
	context::set(&fresh, &v);
	EXPECT_EQ(context::word_count(ctx), 2u) << "an absent word is added";
	EXPECT_EQ(cell::get_integer(context::get(&fresh)), 12);
}

TEST_F(Contexts, TwoSpellingsShareOneGlobalSlot) {
	uint32_t lower = sym("counter"), upper = sym("Counter");
	Cell first = *context::add_global(upper);  // the alias spelling comes first
	Cell second = *context::add_global(lower);
	EXPECT_NE(first.data2, second.data2);
	EXPECT_EQ(first.data3, second.data3);
	Cell v = integer(5);
	context::set(&first, &v);
	EXPECT_EQ(cell::get_integer(context::get(&second)), 5);
	Cell third = *context::find_or_add_global(sym("COUNTER"), false, false);
	EXPECT_EQ(third.data3, first.data3);
	EXPECT_EQ(context::find_word(context::global, sym("COUNTER"), true), int32_t(first.data3));
	Cell out;
	context::get_global(sym("COUNTER"), &out);
	EXPECT_EQ(cell::get_integer(&out), 5);
	EXPECT_EQ(cell::get_integer(context::global_value(sym("cOUNTER"))), 5);
}

TEST_F(Contexts, FindOrAddGlobalCopiesAnotherSpellingIntoTheRoot) {
	uint32_t lower = sym("total");
	Cell* plain = context::find_or_add_global(lower, true, true);
	EXPECT_EQ(plain->data2, lower);
	uint32_t root_cells = length_of(&root);
	Cell* copy = context::find_or_add_global(sym("TOTAL"), true, true);
	EXPECT_EQ(copy->data2, sym("TOTAL"));
	EXPECT_EQ(copy->data3, plain->data3);
	EXPECT_EQ(length_of(&root), root_cells + 1);
	EXPECT_EQ(copy, cell_at(&root, root_cells));
	Cell* without_copy = context::find_or_add_global(sym("Total"), true, false);
	EXPECT_EQ(without_copy->data2, lower) << "the word found, in its own spelling";
}

TEST_F(Contexts, GettingAndSettingRaiseForMissingValues) {
	Node running = context::create(2, true, false, 0, 0);
	Cell arg = loose_word("arg");
	context::add_word(running, &arg);
	context::bind_word(running, &arg);
	Cell v = integer(1);
	Cell lonely = loose_word("nowhere");
	struct Case {
		const char* what;
		uint32_t code;
		const Cell* word;
		std::function<void()> run;
	} cases[] = {
		{"get unbound", errors::id::script_no_value.code(), &lonely, [&] { context::get(&lonely); }},
		{"get not running", errors::id::script_not_in_context.code(), &arg, [&] { context::get(&arg); }},
		{"set not running", errors::id::script_not_defined.code(), &arg, [&] { context::set(&arg, &v); }},
		{"set unbound", errors::id::script_not_defined.code(), &lonely, [&] { context::set(&lonely, &v); }},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(raised(c.run), c.code) << c.what;
		EXPECT_EQ(last_error_arg.data2, c.word->data2) << c.what << ": the error names the word";
	}
	// While the function runs, its values are on the data stack.
	Cell* values = stack::push(&v);
	context::header(running)->data2 = stack::index_of(values) + 1;
	EXPECT_EQ(context::get(&arg), values);
	Cell two = integer(2);
	context::set(&arg, &two);
	EXPECT_EQ(cell::get_integer(values), 2);
}

TEST_F(Contexts, ObjectFieldsNotifyTheirChangeHandler) {
	static std::vector<std::string> calls;
	calls.clear();
	context::on_change = [](Cell* owner, Cell* word, Cell* old_value, Cell* new_value) {
		calls.push_back(std::string(symbol::name(word->data2)) + " " + std::to_string(cell::get_integer(old_value)) +
			"->" + std::to_string(cell::get_integer(new_value)) + (cell::is(owner, T_OBJECT) ? " object" : ""));
	};
	Cell object = object_of({"level"}, 77);
	Node ctx = object.data1;
	Cell w = *context::word_cell(ctx, 0);
	Cell one = integer(1), two = integer(2);
	context::put(ctx, &w, &one);
	context::set(&w, &two);
	context::set_in(&w, &one, ctx, false);
	EXPECT_EQ(calls, std::vector<std::string>{"level 1->2 object"}) << "only set notifies";
	Cell plain = object_of({"level"});
	Cell pw = *context::word_cell(plain.data1, 0);
	context::set(&pw, &two);
	EXPECT_EQ(calls.size(), 1u) << "an object without a record calls nothing";
}

TEST_F(Contexts, SpecsMakeOneWordPerName) {
	Cell spec = block_of({word_of("a"), word_of("B", T_GET_WORD), word_of("b", T_LIT_WORD), word_of("c", T_SET_WORD),
		word_of("opt", T_REFINEMENT), integer(3), word_of("A")});
	Node ctx = context::make_from_spec(&spec, false, false, 1);
	EXPECT_EQ(context::word_count(ctx), 3u) << "a, B and opt: b and A are spellings of B and a";
	EXPECT_EQ(context::find_word(ctx, sym("c"), true), -1) << "set-words are not arguments";
	EXPECT_EQ(context::find_word(ctx, sym("opt"), true), 2);
	EXPECT_EQ(memory::series(context::header(ctx)->data2)->used(), 3 * sizeof(Cell));
	Cell body = block_of({word_of("c", T_SET_WORD), word_of("d", T_SET_WORD), word_of("a", T_SET_WORD)});
	EXPECT_TRUE(context::collect_set_words(ctx, &body));
	EXPECT_EQ(context::word_count(ctx), 5u);
	EXPECT_FALSE(context::collect_set_words(ctx, &body));
}

TEST_F(Contexts, CopiesPointTheirWordsAtTheNewContext) {
	Cell object = object_of({"x", "y"});
	Node old = object.data1;
	Node fresh = context::copy(&object, context::KIND_OBJECT);
	EXPECT_EQ(object.data1, fresh);
	EXPECT_EQ(context::word_count(fresh), 2u);
	for (uint32_t i = 0; i < 2; i++) {
		EXPECT_EQ(context::word_cell(fresh, i)->data1, fresh);
		EXPECT_EQ(context::word_cell(old, i)->data1, old);
	}
	Cell z = loose_word("z");
	context::add_word(fresh, &z);
	EXPECT_EQ(context::find_word(old, sym("z"), true), -1);
	EXPECT_EQ(context::find_word(fresh, sym("Y"), true), 1);
	EXPECT_EQ(memory::series(context::header(fresh)->data2)->used(), 3 * sizeof(Cell));
}

TEST_F(Contexts, BindingWalksNestedBlocksOnceAndTerminatesOnCycles) {
	Cell object = object_of({"x", "self"});
	Node ctx = object.data1;
	Cell inner = block_of({word_of("X", T_GET_WORD), word_of("other")});
	Cell outer = block_of({word_of("x"), inner, word_of("self"), word_of("x", T_REFINEMENT)});
	*memory::alloc_tail(&inner) = outer;  // inner holds outer: a cycle
	*memory::alloc_tail(&outer) = outer;  // and outer holds itself
	context::bind_block(&outer, ctx, true);
	EXPECT_EQ(cycles::count, 0u);
	EXPECT_EQ(cell_at(&outer, 0)->data1, ctx);
	EXPECT_EQ(cell_at(&outer, 0)->data3, 0u);
	EXPECT_EQ(cell_at(&inner, 0)->data1, ctx);
	EXPECT_EQ(cell_at(&inner, 1)->data1, context::global) << "absent words keep their binding";
	EXPECT_EQ(cell_at(&outer, 2)->data1, ctx);
	EXPECT_EQ(int32_t(cell_at(&outer, 2)->data3), -1) << "self stands for the owner";
	EXPECT_EQ(cell_at(&outer, 3)->data1, context::global) << "refinements are not bound";
	EXPECT_EQ(context::get(cell_at(&outer, 2))->data1, ctx);
	Cell plain_self = word_of("self");
	context::bind_block(&(outer = block_of({plain_self})), ctx, false);
	EXPECT_EQ(cell_at(&outer, 0)->data3, 1u) << "without the self flag, self is a field like any other";
}

TEST_F(Contexts, ValuesOfTheOwnOrTheGlobalContext) {
	Cell object = object_of({"width"});
	Cell seven = integer(7);
	context::put(object.data1, context::word_cell(object.data1, 0), &seven);
	EXPECT_EQ(cell::get_integer(context::get_value_or_global(object.data1, sym("WIDTH"))), 7);
	EXPECT_EQ(context::get_value_or_global(object.data1, sym("height")), nullptr);
	Node stacked = context::create(1, true, false, 0, 0);
	Cell g = *context::add_global(sym("height"));
	context::set(&g, &seven);
	EXPECT_EQ(cell::get_integer(context::get_value_or_global(stacked, sym("height"))), 7);
	Cell* added = context::add_with_value(object.data1, &g, &seven);
	ASSERT_NE(added, nullptr);
	EXPECT_EQ(context::add_with_value(object.data1, &g, &seven), nullptr);
	EXPECT_EQ(context::flags(&object), context::header(object.data1)->header);
	Cell w = loose_word("width");
	context::set_integer(object.data1, &w, -4);
	EXPECT_EQ(cell::get_integer(context::values(object.data1)), -4);
}

}  // namespace
