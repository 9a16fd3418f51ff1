#include "runtime/datatypes/word.h"

#include <string>

#include "runtime/datatypes/string.h"
#include "runtime/evaluator/actions.h"
#include "runtime/utf8.h"
#include "tests/unit/core_tables.h"

using namespace vyn;
using namespace vyn::test;

namespace {

using Words = CoreTables;

std::string formed(const Cell& value, bool mold, int32_t limit = 1000, int32_t* left = nullptr) {
	Cell buffer;
	string::make_at(&buffer, 16);
	int32_t rest = mold ? actions::mold(&value, &buffer, false, false, false, nullptr, limit, 0)
						: actions::form(&value, &buffer, nullptr, limit);
	if (left) *left = rest;
	return ascii_of(&buffer);
}

Cell made(Type type, const Cell& spec, bool to = false) {
	Cell proto, s = spec;
	cell::set(&proto, T_DATATYPE, type);
	auto fn = reinterpret_cast<action::MakeFn>(registry::entry(type, to ? A_TO : A_MAKE));
	return *fn(&proto, &s, type);
}

TEST_F(Words, EachTypeMoldsWithItsMark) {
	struct Case {
		Type type;
		const char *form, *mold;
	} cases[] = {
		{T_WORD, "Name", "Name"}, {T_SET_WORD, "Name", "Name:"}, {T_LIT_WORD, "Name", "'Name"},
		{T_GET_WORD, "Name", ":Name"}, {T_REFINEMENT, "Name", "/Name"}, {T_ISSUE, "Name", "#Name"},
	};
	sym("name");  // the canonical spelling; form keeps the word's own
	for (const Case& c : cases) {
		Cell w = word_of("Name", c.type);
		int32_t left;
		EXPECT_EQ(formed(w, false, 100, &left), c.form);
		EXPECT_EQ(left, 96);
		EXPECT_EQ(formed(w, true, 100, &left), c.mold);
		EXPECT_EQ(left, 100 - int32_t(std::strlen(c.mold))) << "each mark costs one";
	}
	Cell wide = word_of("caf\xC3\xA9");
	int32_t left;
	formed(wide, false, 10, &left);
	EXPECT_EQ(left, 6) << "the limit counts characters, not bytes";
}

TEST_F(Words, ComparisonRulesByCode) {
	Cell foo = word_of("foo"), Foo = word_of("Foo"), lit = word_of("foo", T_LIT_WORD), Lit = word_of("Foo", T_LIT_WORD),
		 set = word_of("foo", T_SET_WORD), issue = word_of("foo", T_ISSUE), bar = word_of("bar"),
		 elsewhere = foo;
	elsewhere.data1 = context::create(1, false, false, 0, 0);
	Cell number = integer(1);
	struct Case {
		const char* what;
		const Cell *a, *b;
		CompareOp op;
		int32_t expected;
	} cases[] = {
		{"'Foo = 'foo", &Foo, &foo, COMP_EQUAL, 0},
		{"strict-equal? 'Foo 'foo", &Foo, &foo, COMP_STRICT_EQUAL, 1},
		{"types ignored by equal?", &foo, &set, COMP_EQUAL, 0},
		{"types matter to strict-equal?", &foo, &set, COMP_STRICT_EQUAL, 1},
		{"same? across contexts", &foo, &elsewhere, COMP_SAME, 1},
		{"same? of copies", &foo, &foo, COMP_SAME, 0},
		{"find/case word and lit-word", &foo, &lit, COMP_FIND_CASE, 0},
		{"find/case word and lit-word spelled otherwise", &foo, &Lit, COMP_FIND_CASE, 1},
		{"find/case other pairs as strict", &foo, &set, COMP_FIND_CASE, 1},
		{"find word and lit-word ignore case", &foo, &Lit, COMP_FIND, 0},
		{"find other pairs need one type", &foo, &set, COMP_FIND, 1},
		{"find same type other case", &Foo, &foo, COMP_FIND, 0},
		{"select matching", &set, &Foo, COMP_FIND_SELECT, 0},
		{"issue against word", &issue, &foo, COMP_EQUAL, COMPARE_UNRELATED},
		{"word against issue", &foo, &issue, COMP_EQUAL, COMPARE_UNRELATED},
		{"word against integer", &foo, &number, COMP_EQUAL, COMPARE_UNRELATED},
		{"sort ignores case", &Foo, &bar, COMP_SORT, 1},
		{"sort equal names", &Foo, &foo, COMP_SORT, 0},
		{"case-sensitive sort", &Foo, &foo, COMP_CASE_SORT, -1},
		{"lesser?", &bar, &foo, COMP_LESSER, -1},
	};
	for (const Case& c : cases) EXPECT_EQ(actions::compare_raw(c.a, c.b, c.op), c.expected) << c.what;
	Cell issue_too = word_of("FOO", T_ISSUE);
	EXPECT_EQ(actions::compare_raw(&issue, &issue_too, COMP_EQUAL), 0);
}

TEST_F(Words, IndexIsNoneUntilLookedUp) {
	Cell w = word_of("somewhere");
	w.data3 = 0xFFFFFFFFu;
	for (uint32_t index : {0xFFFFFFFFu, 0u, 41u}) {
		w.data3 = index;
		Cell* slot = stack::push(&w);
		stack::arguments = slot;
		reinterpret_cast<action::FrameFn>(registry::entry(T_WORD, A_INDEX_Q))();
		if (index == 0xFFFFFFFFu)
			EXPECT_TRUE(cell::is(slot, T_NONE));
		else
			EXPECT_EQ(cell::get_integer(slot), int32_t(index) + 1);
		stack::reset_all();
	}
	EXPECT_EQ(registry::entry(T_REFINEMENT, A_INDEX_Q), nullptr);
	EXPECT_EQ(registry::entry(T_ISSUE, A_INDEX_Q), nullptr);
	EXPECT_EQ(registry::entry(T_SET_WORD, A_INDEX_Q), registry::entry(T_WORD, A_INDEX_Q));
	EXPECT_EQ(registry::entry(T_ISSUE, A_FORM), registry::entry(T_WORD, A_FORM));
	EXPECT_NE(registry::entry(T_ISSUE, A_COMPARE), registry::entry(T_WORD, A_COMPARE));
}

TEST_F(Words, ToWordFromEachSpecType) {
	Cell text = make_string(U" alpha ", 1), set_text = make_string(U"  gamma:", 1), logic;
	cell::make_logic(&logic, true);
	Cell type;
	cell::set(&type, T_DATATYPE, T_ISSUE);
	Cell c;
	cell::set(&c, T_CHAR, 0, 'q');
	Cell refinement = word_of("delta", T_REFINEMENT), issue = word_of("eps", T_ISSUE), lit = word_of("zeta", T_LIT_WORD);
	Cell marked = loose_word("eta:", T_ISSUE);
	struct Case {
		Type target;
		Cell spec;
		const char* name;
	} cases[] = {
		{T_WORD, text, "alpha"},          {T_SET_WORD, set_text, "gamma"},    {T_WORD, logic, "true"},
		{T_GET_WORD, type, "issue!"},   {T_LIT_WORD, c, "q"},               {T_WORD, refinement, "delta"},
		{T_REFINEMENT, issue, "eps"},     {T_WORD, lit, "zeta"},             {T_WORD, marked, "eta"},
	};
	for (const Case& k : cases) {
		Cell w = made(k.target, k.spec);
		EXPECT_TRUE(cell::is(&w, k.target)) << k.name;
		EXPECT_EQ(symbol::name(w.data2), k.name);
	}
	Cell bound = made(T_WORD, refinement);
	EXPECT_EQ(bound.data1, context::global) << "refinement! delta scans as a word the global context has";
	Cell fresh = word_of("fresh-name", T_ISSUE);
	fresh.data2 = sym("never-made-global");
	Cell loose = made(T_WORD, fresh);
	EXPECT_EQ(loose.data1, 0u);
	EXPECT_EQ(int32_t(loose.data3), -1);
}

TEST_F(Words, ToWordRefusals) {
	Cell digits = make_string(U"12", 1), empty = make_string(U"   ", 1), number = integer(4);
	Cell odd_issue = word_of("x", T_ISSUE), longer_issue = word_of("x", T_ISSUE);
	odd_issue.data2 = sym("12abc");
	longer_issue.data2 = sym("a<b");
	const uint32_t invalid_chars = errors::id::script_invalid_chars.code();
	struct Case {
		const char* what;
		Cell spec;
		uint32_t code;
	} cases[] = {
		{"text of a number", digits, invalid_chars},
		{"text of a signed number", make_string(U"-1", 1), invalid_chars},
		{"text of a plus-signed number", make_string(U"+1", 1), invalid_chars},
		{"text of a fraction", make_string(U".5", 1), invalid_chars},
		{"empty text", empty, invalid_chars},
		{"two words", make_string(U"alpha beta", 1), invalid_chars},
		{"a word cut by a tag", make_string(U"a<b", 1), invalid_chars},
		{"a word before a block", make_string(U"a[b]", 1), invalid_chars},
		{"an integer", number, errors::id::script_bad_to_arg.code()},
		{"an issue that is no word", odd_issue, errors::id::script_bad_to_arg.code()},
		{"an issue longer than a word", longer_issue, errors::id::script_bad_to_arg.code()},
	};
	for (const Case& c : cases) EXPECT_EQ(raised([&] { made(T_WORD, c.spec, true); }), c.code) << c.what;
}

TEST_F(Words, ToIssueTakesTextAsItIs) {
	Cell spaced = make_string(U"a b", 1);
	Cell from_text = made(T_ISSUE, spaced);
	EXPECT_TRUE(cell::is(&from_text, T_ISSUE));
	EXPECT_EQ(symbol::name(from_text.data2), "a b");
	EXPECT_EQ(int32_t(from_text.data3), -1);
	Cell headed = make_string(U"xyz", 1);
	headed.data1 = 1;
	EXPECT_EQ(symbol::name(made(T_ISSUE, headed).data2), "yz");
	Cell c;
	cell::set(&c, T_CHAR, 0, 0xE9);
	EXPECT_EQ(symbol::name(made(T_ISSUE, c).data2), "\xC3\xA9");
	Cell set = word_of("key", T_SET_WORD);
	Cell retyped = made(T_ISSUE, set);
	EXPECT_TRUE(cell::is(&retyped, T_ISSUE));
	EXPECT_EQ(retyped.data2, set.data2);
	Cell logic;
	cell::make_logic(&logic, false);
	EXPECT_EQ(symbol::name(made(T_ISSUE, logic).data2), "false");
}

TEST_F(Words, LoadKeepsTheSpellingAskedFor) {
	Cell lower = *word::load("handle-me");
	Cell upper = *word::load("HANDLE-ME");
	EXPECT_EQ(symbol::name(upper.data2), "HANDLE-ME");
	EXPECT_EQ(upper.data1, context::global);
	EXPECT_EQ(upper.data3, lower.data3);
	Cell made_word;
	actions::make_word("HANDLE-ME", &made_word);
	EXPECT_EQ(made_word.data2, upper.data2);
	context::starting = true;
	uint32_t cells = length_of(&root);
	Cell* kept = word::load("kept-at-start");
	EXPECT_EQ(kept, cell_at(&root, cells));
	Cell* issue = issue::load("started");
	EXPECT_TRUE(cell::is(issue, T_ISSUE));
	EXPECT_EQ(length_of(&root), cells + 2);
	context::starting = false;
}

TEST_F(Words, PredefinedNamesAreMadeOnce) {
	EXPECT_EQ(symbol::name(words::sym_self), "self");
	EXPECT_EQ(symbol::name(words::sym_any_type), "any-type!");
	EXPECT_EQ(symbol::name(words::sym_dash), "-");
	EXPECT_EQ(symbol::name(words::w_bar->data2), "|");
	EXPECT_EQ(symbol::name(words::w_on_deep_change->data2), "on-deep-change*");
	EXPECT_EQ(symbol::name(words::w_frame_interp_callback->data2), "<interp-callback>");
	EXPECT_EQ(symbol::name(words::w_os_macos->data2), "macOS");
	for (const Cell* w : {words::w_append, words::w_appended, words::w_swaped, words::w_invalid_error, words::w_type})
		EXPECT_EQ(w->data1, context::global);
	EXPECT_EQ(words::sym_type, words::w_type->data2) << "a name both symbol and word has one id";
	for (const Cell* r : {words::r_local, words::r_extern, words::r_with}) {
		EXPECT_TRUE(cell::is(r, T_REFINEMENT));
		EXPECT_EQ(r->data1, 0u);
	}
	EXPECT_EQ(symbol::name(words::issue_ooo->data2), "ooo");
	EXPECT_TRUE(cell::is(words::issue_ooo, T_ISSUE));
	EXPECT_EQ(symbol::name(registry::names[T_ISSUE].word_symbol), "issue!");
	EXPECT_EQ(registry::names[T_WORD].length, 4u);
	Cell* again = word::load("append");
	EXPECT_EQ(again->data3, words::w_append->data3);
}

TEST_F(Words, ValuesByContextIndex) {
	Node ctx = context::create(2, false, false, 0, context::KIND_OBJECT);
	for (const char* n : {"first", "second"}) {
		Cell w = word_of(n);
		context::add_word(ctx, &w);
	}
	Cell five = integer(5), six = integer(6);
	stack::push(&five);
	word::set_value_at(ctx, 1);
	EXPECT_EQ(cell::get_integer(word::value_address_at(ctx, 1)), 5);
	EXPECT_TRUE(context::word_cell(ctx, 1)->header & context::WORD_ASSIGNED);
	EXPECT_FALSE(context::word_cell(ctx, 0)->header & context::WORD_ASSIGNED);
	stack::push(&six);
	Cell* pushed = word::set_value_at_push(ctx, 1);
	EXPECT_EQ(cell::get_integer(pushed), 5);
	EXPECT_EQ(cell::get_integer(word::value_address_at(ctx, 1)), 6);
	EXPECT_EQ(cell::get_integer(word::push_value_at(ctx, 1)), 6);
	Cell* w = word::push_word_at(ctx, 0, T_SET_WORD);
	EXPECT_TRUE(cell::is(w, T_SET_WORD));
	EXPECT_EQ(symbol::name(w->data2), "first");
	Node idle = context::create(1, true, false, 0, 0);
	Cell arg = word_of("arg");
	context::add_word(idle, &arg);
	EXPECT_EQ(raised([&] { word::push_value_at(idle, 0); }), errors::id::script_not_defined.code());
	EXPECT_EQ(symbol::name(last_error_arg.data2), "arg");
}

TEST_F(Words, FrameSettersAndGetters) {
	Cell target = word_of("frame-target");
	Cell unset, seven = integer(7);
	cell::make_unset(&unset);
	struct Case {
		const char* what;
		uint32_t code;
		std::function<void()> run;
	} cases[] = {
		{"set to unset", errors::id::script_need_value.code(),
			[&] {
				stack::arguments = stack::push(&target);
				stack::push(&unset);
				word::set_from_next_slot();
			}},
		{"get unset", errors::id::script_no_value.code(), [&] { word::get(&target); }},
	};
	for (const Case& c : cases) EXPECT_EQ(raised(c.run), c.code) << c.what;
	stack::arguments = stack::push(&target);
	stack::push(&seven);
	Cell* result = word::set_from_next_slot();
	EXPECT_EQ(cell::get_integer(result), 7);
	EXPECT_EQ(stack::top, result + 1);
	EXPECT_EQ(cell::get_integer(word::get(&target)), 7);
	EXPECT_TRUE(cell::is(word::push_any_value(words::w_frame_body), T_UNSET));
	stack::reset_all();
	stack::arguments = stack::push(&target);
	EXPECT_EQ(cell::get_integer(word::get_frame()), 7);
	Cell* name = word::push_name_string(target.data2);
	EXPECT_EQ(ascii_of(name), "frame-target");
	Cell block = block_of({});
	word::make_in_named(&block, "Inside", T_GET_WORD);
	issue::make_in(&block, sym("tag"));
	EXPECT_TRUE(cell::is(cell_at(&block, 0), T_GET_WORD));
	EXPECT_EQ(cell_at(&block, 0)->data1, context::global);
	EXPECT_TRUE(cell::is(cell_at(&block, 1), T_ISSUE));
	Node ctx = context::create(1, false, false, 0, 0);
	Cell* found = word::get_or_add_word(ctx, sym("inside"));
	EXPECT_EQ(found->data1, context::global) << "missing in the context: the global word";
}

}  // namespace
