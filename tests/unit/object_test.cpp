#include <gtest/gtest.h>

#include "runtime/datatypes/object.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

using ObjectBasics = ObjectTest;

Cell datatype_value(Type t) {
	Cell d;
	cell::set(&d, T_DATATYPE, t);
	return d;
}

// make with a prototype and an object spec, as `make proto spec` does.
Cell make_from(const Cell& proto, const Cell& spec) {
	Cell p = proto, s = spec;
	Cell o = *object::make(&p, &s, T_OBJECT);
	stack::pop(1);
	return o;
}

TEST_F(ObjectBasics, ConstructCollectsSetWordsWithTheValueAfterTheirRun) {
	struct Case {
		const char* spec;
		bool only;
		const char* molded;
	} cases[] = {
		{"a: b: 1 c: \"x\"", false, "make object! [a: 1 b: 1 c: \"x\"]"},
		{"a: 1 b:", false, "make object! [a: 1 b: none]"},
		{"t: true y: yes f: off n: none w: other", false, "make object! [t: true y: true f: false n: none w: 'other]"},
		{"t: true n: none", true, "make object! [t: 'true n: 'none]"},
		{"a: 1 a: 2", false, "make object! [a: 2]"},
		{"", false, "make object! []"},
	};
	for (const Case& c : cases) {
		Cell o = construct(c.spec, nullptr, c.only);
		EXPECT_EQ(mold_of(o, {.flat = true}), c.molded) << c.spec;
		EXPECT_GT(object::class_of(&o), object::FIRST_CLASS_ID) << c.spec;
		EXPECT_EQ(context::owner(o.data1)->data1, o.data1) << "self cell of " << c.spec;
	}
}

TEST_F(ObjectBasics, ClassIdsAreNewForEveryObjectAndKeptWhenNoWordIsAdded) {
	Cell a = construct("x: 1");
	Cell b = construct("x: 1");
	EXPECT_NE(object::class_of(&a), object::class_of(&b));
	EXPECT_EQ(object::class_of(&b), object::class_of(&a) + 1);

	Cell same_words = make_from(a, construct("x: 2"));
	EXPECT_EQ(object::class_of(&same_words), object::class_of(&a));
	Cell x = field(same_words, "x");
	EXPECT_EQ(cell::get_integer(&x), 2);

	Cell more_words = make_from(a, construct("y: 2"));
	EXPECT_GT(object::class_of(&more_words), object::class_of(&b));
	EXPECT_EQ(mold_of(more_words, {.flat = true}), "make object! [x: 1 y: 2]");
	EXPECT_EQ(mold_of(a, {.flat = true}), "make object! [x: 1]") << "the prototype is left alone";
}

TEST_F(ObjectBasics, MakeFromAnObjectSpecCopiesSeriesSoTheCopiesAreIndependent) {
	Cell proto = construct("s: \"abc\" b: [1 [2]]");
	Cell made = make_from(proto, construct("t: 1"));
	Cell s1 = field(proto, "s"), s2 = field(made, "s");
	Cell b1 = field(proto, "b"), b2 = field(made, "b");
	EXPECT_NE(s1.data2, s2.data2);
	EXPECT_NE(b1.data2, b2.data2);
	EXPECT_NE(block::vs_head(&b1)[1].data2, block::vs_head(&b2)[1].data2) << "nested blocks are copied too";
	EXPECT_EQ(mold_of(made, {.flat = true}), "make object! [s: \"abc\" b: [1 [2]] t: 1]");
}

TEST_F(ObjectBasics, MakeRefusesASpecThatIsNeitherBlockNorObject) {
	Cell d = datatype_value(T_OBJECT);
	for (const char* spec : {"1", "\"a\"", "none"}) {
		Cell s = value_of(spec);
		EXPECT_EQ(raised_code([&] { object::make(&d, &s, T_OBJECT); }), int32_t(errors::id::syntax_malconstruct.code()))
			<< spec;
	}
}

TEST_F(ObjectBasics, MoldLaysFieldsOutByIndentFlatOnlyAndPart) {
	Cell o = construct("a: 1 b: \"x\" c: [1 2] w: word");
	struct Case {
		MoldOptions options;
		const char* text;
	} cases[] = {
		{{}, "make object! [\n    a: 1\n    b: \"x\"\n    c: [1 2]\n    w: 'word\n]"},
		{{.flat = true}, "make object! [a: 1 b: \"x\" c: [1 2] w: 'word]"},
		{{.only = true}, "a: 1\nb: \"x\"\nc: [1 2]\nw: 'word"},
		{{.limit = 20}, "make object! [\n    a"},
		{{.limit = 14}, "make object! ["},
	};
	for (const Case& c : cases) EXPECT_EQ(mold_of(o, c.options), c.text);
	EXPECT_EQ(form_of(o), "a: 1\nb: \"x\"\nc: [1 2]\nw: 'word");
}

TEST_F(ObjectBasics, NestedObjectsIndentOneLevelPerObject) {
	Cell inner = construct("b: 2");
	Cell outer = construct("a: 1 in: none");
	Cell w = word_of("in");
	object::put(&outer, &w, &inner, false);
	EXPECT_EQ(mold_of(outer), "make object! [\n    a: 1\n    in: make object! [\n        b: 2\n    ]\n]");
}

TEST_F(ObjectBasics, AnObjectHoldingItselfMoldsAsEllipsisInside) {
	Cell o = construct("a: 1 me: none");
	Cell w = word_of("me");
	object::put(&o, &w, &o, false);
	EXPECT_EQ(mold_of(o, {.flat = true}), "make object! [a: 1 me: make object! [...]]");
	EXPECT_EQ(form_of(o), "a: 1\nme: make object! [...]");
	EXPECT_EQ(cycles::count, 0u);
}

TEST_F(ObjectBasics, CompareOrdersByFieldCountWordsThenValues) {
	struct Case {
		const char* a;
		const char* b;
		CompareOp op;
		int32_t result;
	} cases[] = {
		{"x: 1 y: 2", "x: 1 y: 2", COMP_EQUAL, 0},
		{"x: 1 y: 2", "x: 1 y: 2", COMP_SAME, -1},
		{"x: 1", "x: 1 y: 2", COMP_SORT, -1},
		{"x: 1 y: 2", "x: 1", COMP_SORT, 1},
		{"x: 1", "y: 1", COMP_EQUAL, -1},
		{"x: 1", "x: 2", COMP_LESSER, -1},
		{"x: 1", "x: 1.0", COMP_EQUAL, 0},
		{"x: 1", "x: \"1\"", COMP_EQUAL, 1},
		{"x: a", "x: 'a", COMP_EQUAL, 0},
		{"x: a", "x: 'b", COMP_EQUAL, 1},
		{"x: \"A\"", "x: \"a\"", COMP_EQUAL, 0},
		{"x: \"A\"", "x: \"a\"", COMP_STRICT_EQUAL, -1},
	};
	for (const Case& c : cases) {
		Cell a = construct(c.a), b = construct(c.b);
		int32_t r = object::compare(&a, &b, c.op);
		EXPECT_EQ(r < 0 ? -1 : r > 0 ? 1 : 0, c.result) << c.a << " / " << c.b << " op " << c.op;
	}
	Cell o = construct("x: 1");
	EXPECT_EQ(object::compare(&o, &o, COMP_SAME), 0);
	Cell i = integer(1);
	EXPECT_EQ(object::compare(&o, &i, COMP_EQUAL), COMPARE_UNRELATED);
}

TEST_F(ObjectBasics, SelfContainingObjectsCompareWithoutEndlessRecursion) {
	Cell a = construct("me: none"), b = construct("me: none");
	Cell w = word_of("me");
	object::put(&a, &w, &a, false);
	object::put(&b, &w, &b, false);
	EXPECT_EQ(object::compare(&a, &b, COMP_EQUAL), 0);
	EXPECT_EQ(cycles::count, 0u);
}

TEST_F(ObjectBasics, ReflectAnswersWordsValuesBodyClassAndFlags) {
	Cell o = construct("a: 1 w: word p: none");
	Cell p = value_of("x/y");
	Cell pw = word_of("p");
	object::put(&o, &pw, &p, false);
	auto reflect = [&](const char* what) {
		Cell r = o;
		return *object::reflect(&r, sym(what));
	};
	EXPECT_EQ(mold_of(reflect("words"), {.flat = true}), "[a w p]");
	EXPECT_EQ(mold_of(reflect("values"), {.flat = true}), "[1 word x/y]");
	EXPECT_EQ(mold_of(reflect("body")), "[\n    a: 1\n    w: 'word\n    p: 'x/y\n]");
	Cell id = reflect("class");
	EXPECT_EQ(cell::get_integer(&id), object::class_of(&o));
	EXPECT_EQ(mold_of(reflect("changed"), {.flat = true}), "[p]");
	EXPECT_EQ(mold_of(reflect("owner")), "false");
	EXPECT_EQ(mold_of(reflect("events?")), "false");
	Cell words = reflect("words");
	EXPECT_EQ(block::vs_head(&words)[1].data1, o.data1) << "the words are bound to the object";
	EXPECT_EQ(raised_code([&] { reflect("spec"); }), int32_t(errors::id::internal_not_done.code()));
}

TEST_F(ObjectBasics, PathStepsGetAndSetFieldsAndReportMissingOnes) {
	Cell o = construct("a: 1 u: none");
	Cell u = word_of("u");
	Cell unset;
	cell::make_unset(&unset);
	object::put(&o, &u, &unset, false);
	Cell path = value_of("o/a");
	auto step = [&](const char* name, const Cell* value, bool get = false) {
		Cell e = word_of(name);
		return object::eval_path(&o, &e, const_cast<Cell*>(value), &path, nullptr, nullptr, 1, false, get, true, false);
	};
	Cell two = integer(2);
	EXPECT_EQ(cell::get_integer(step("A", nullptr)), 1) << "letter case is ignored";
	step("a", &two);
	EXPECT_EQ(cell::get_integer(step("a", nullptr)), 2);
	EXPECT_TRUE(cell::is(step("u", nullptr, true), T_UNSET)) << "a get-path takes unset as it is";
	struct Case {
		const char* name;
		bool set;
		errors::Id id;
	} cases[] = {
		{"missing", false, errors::id::script_unset_path},
		{"u", false, errors::id::script_unset_path},
		{"missing", true, errors::id::script_invalid_path},
		{"self", true, errors::id::script_invalid_path},
	};
	for (const Case& c : cases)
		EXPECT_EQ(raised_code([&] { step(c.name, c.set ? &two : nullptr); }), int32_t(c.id.code())) << c.name;
	Cell i = integer(1);
	EXPECT_EQ(raised_code([&] {
		object::eval_path(&o, &i, nullptr, &path, nullptr, nullptr, 1, false, false, true, false);
	}),
		int32_t(errors::id::script_invalid_path.code()));
}

TEST_F(ObjectBasics, PutAndSelectTakeWordKeysOnly) {
	Cell o = construct("a: 1");
	Cell a = word_of("a"), b = word_of("b"), one = integer(1), s = value_of("\"a\"");
	Cell nine = integer(9);
	EXPECT_EQ(cell::get_integer(object::put(&o, &a, &nine, false)), 9);
	EXPECT_EQ(cell::get_integer(object::select(&o, &a, nullptr, false, false, false, false, nullptr, nullptr, false, false)), 9);
	EXPECT_TRUE(cell::is(object::select(&o, &b, nullptr, false, false, false, false, nullptr, nullptr, false, false), T_NONE));
	EXPECT_EQ(raised_code([&] { object::put(&o, &s, &one, false); }), int32_t(errors::id::script_invalid_key_type.code()));
	EXPECT_EQ(raised_code([&] { object::put(&o, &b, &one, false); }), int32_t(errors::id::script_invalid_path.code()));
	EXPECT_EQ(raised_code([&] {
		object::select(&o, &one, nullptr, false, false, false, false, nullptr, nullptr, false, false);
	}),
		int32_t(errors::id::script_invalid_type.code()));
}

TEST_F(ObjectBasics, CopySharesSeriesUnlessDeepAndRefusesPart) {
	Cell o = construct("s: \"ab\" b: [1 [2]] f: %file");
	Cell shallow, deep;
	Cell src = o;
	object::copy(&src, &shallow, nullptr, false, nullptr);
	object::copy(&src, &deep, nullptr, true, nullptr);
	EXPECT_EQ(object::class_of(&shallow), object::class_of(&o));
	EXPECT_NE(shallow.data1, o.data1);
	for (const char* f : {"s", "b", "f"}) {
		EXPECT_EQ(field(shallow, f).data2, field(o, f).data2) << f;
		EXPECT_NE(field(deep, f).data2, field(o, f).data2) << f;
	}
	Cell original = field(o, "b"), copied = field(deep, "b");
	EXPECT_NE(block::vs_head(&copied)[1].data2, block::vs_head(&original)[1].data2) << "nested blocks too";
	EXPECT_EQ(mold_of(deep, {.flat = true}), mold_of(o, {.flat = true}));
	Cell part = integer(1);
	EXPECT_EQ(raised_code([&] { object::copy(&src, &deep, &part, false, nullptr); }),
		int32_t(errors::id::script_invalid_refine_arg.code()));
}

TEST_F(ObjectBasics, CopyWithTypesCopiesOnlyThoseTypes) {
	Cell o = construct("s: \"ab\" b: [1]");
	Cell types = datatype_value(T_STRING);
	Cell copied;
	object::copy(&o, &copied, nullptr, false, &types);
	EXPECT_NE(field(copied, "s").data2, field(o, "s").data2);
	EXPECT_EQ(field(copied, "b").data2, field(o, "b").data2);
}

TEST_F(ObjectBasics, ModifyClearsTheAssignedFlagsWithNoneOnly) {
	Cell o = construct("a: 1 b: 2");
	Cell a = word_of("a"), one = integer(1);
	object::put(&o, &a, &one, false);
	Cell changed = word_of("changed"), none_value;
	cell::make_none(&none_value);
	auto changed_words = [&] {
		Cell r = o;
		return mold_of(*object::reflect(&r, sym("changed")), {.flat = true});
	};
	EXPECT_EQ(changed_words(), "[a]") << "assigning the same value still marks the field";
	EXPECT_EQ(raised_code([&] { object::modify(&o, &changed, &one, false); }), int32_t(errors::id::script_invalid_arg.code()));
	object::modify(&o, &changed, &none_value, false);
	EXPECT_EQ(changed_words(), "[]");
}

TEST_F(ObjectBasics, SetManyFromBlockObjectOrOneValue) {
	struct Case {
		const char* source;
		bool only, any, some;
		const char* result;
	} cases[] = {
		{"[7 8 9]", false, false, false, "[a: 7 b: 8 c: 9]"},
		{"[7]", false, false, false, "[a: 7 b: none c: none]"},
		{"[7 none 9]", false, false, true, "[a: 7 b: 2 c: 9]"},
		{"5", false, false, false, "[a: 5 b: 5 c: 5]"},
		{"[7 8]", true, false, false, "[a: [7 8] b: [7 8] c: [7 8]]"},
	};
	for (const Case& c : cases) {
		Cell o = construct("a: 1 b: 2 c: 3");
		Cell v = value_of(c.source);
		if (cell::is(&v, T_BLOCK) && !c.only) {
			// `none` in the notation is a word: make it the none value.
			for (Cell* e = block::vs_head(&v); e < block::vs_tail(&v); e++)
				if (cell::is(e, T_WORD) && symbol::same_name(e->data2, words::sym_none)) cell::make_none(e);
		}
		object::set_many(&o, &v, c.any, c.only, c.some);
		EXPECT_EQ(mold_of(o, {.flat = true}), std::string("make object! ") + c.result) << c.source;
	}
	Cell o = construct("a: 1 b: 2 c: 3");
	Cell from = construct("C: 30 z: 0 a: 10");
	object::set_many(&o, &from, false, false, false);
	EXPECT_EQ(mold_of(o, {.flat = true}), "make object! [a: 10 b: 2 c: 30]");
	Cell unset_block = load("1");
	cell::make_unset(block::vs_head(&unset_block));
	EXPECT_EQ(raised_code([&] { object::set_many(&o, &unset_block, false, false, false); }),
		int32_t(errors::id::script_need_value.code()));
	object::set_many(&o, &unset_block, true, false, false);
	EXPECT_TRUE(cell::is(object::get_values(&o), T_UNSET));
}

using ObjectScripts = ObjectScript;

TEST_F(ObjectScripts, MakeEvaluatesTheSpecInTheNewObject) {
	struct Case {
		const char* source;
		const char* molded;
	} cases[] = {
		{"make object! [a: 1 + 2 b: \"x\"]", "make object! [a: 3 b: \"x\"]"},
		{"make object! [a: b: 5]", "make object! [a: 5 b: 5]"},
		{"make object! [a: 1 b: a * 10]", "make object! [a: 1 b: 10]"},
		{"make object! [a: 1 inner: make object! [b: a + 1]]", "make object! [a: 1 inner: make object! [b: 2]]"},
		{"make object! []", "make object! []"},
		{"make make object! [a: 1 b: 2] [b: 20 c: 30]", "make object! [a: 1 b: 20 c: 30]"},
	};
	for (const Case& c : cases) EXPECT_EQ(molded(c.source, {.flat = true}), c.molded) << c.source;
}

TEST_F(ObjectScripts, SelfIsTheObjectWhileTheSpecRunsAndAfter) {
	run("o: make object! [a: 1 me: self]");
	Cell o = run("o"), me = run("o/me");
	EXPECT_TRUE(cell::is(&me, T_OBJECT));
	EXPECT_EQ(me.data1, o.data1);
	EXPECT_EQ(mold_of(run("o/me/a")), "1");
}

TEST_F(ObjectScripts, MakeFromAPrototypeKeepsTheClassUnlessWordsAreAdded) {
	run("p: make object! [a: 1 b: [1]]");
	Cell p_class = run("reflect p 'class");
	int32_t p = cell::get_integer(&p_class);
	struct Case {
		const char* source;
		bool same_class;
	} cases[] = {
		{"reflect make p [a: 2] 'class", true},
		{"reflect make p [] 'class", true},
		{"reflect make p [c: 3] 'class", false},
		{"reflect make object! [a: 1 b: [1]] 'class", false},
	};
	for (const Case& c : cases) {
		Cell id = run(c.source);
		EXPECT_EQ(cell::get_integer(&id) == p, c.same_class) << c.source;
	}
	run("q: make p [append b 2]");
	EXPECT_EQ(molded("p/b"), "[1]") << "the prototype's series are copied";
	EXPECT_EQ(molded("q/b"), "[1 2]");
}

TEST_F(ObjectScripts, InheritedMethodsSeeTheNewObjectsFields) {
	run("p: make object! [x: 1 get-x: func [] [x] show: func [x] [x]]");
	run("q: make p [x: 2]");
	EXPECT_EQ(molded("q/get-x"), "2");
	EXPECT_EQ(molded("p/get-x"), "1");
	EXPECT_EQ(molded("q/show 5"), "5") << "arguments still shadow fields";
	run("r: copy q  r/x: 3");
	EXPECT_EQ(molded("r/get-x"), "3") << "copy rebinds methods too";
	EXPECT_EQ(molded("q/get-x"), "2");
}

TEST_F(ObjectScripts, OnChangeRunsWithTheWordTheOldAndTheNewValue) {
	run("log: copy []");
	run("o: make object! [a: 1 b: 2 on-change*: func [word old new] [append log word append log old append log new]]");
	EXPECT_EQ(molded("log"), "[]") << "assignments of the spec itself do not notify";
	run("o/a: 10");
	run("put o 'b 20");
	run("o/a: 10");
	EXPECT_EQ(molded("log", {.flat = true}), "[a 1 10 b 2 20 a 10 10]");
	EXPECT_EQ(molded("o/a"), "10");
	EXPECT_EQ(molded("reflect o 'events?"), "true");
	Cell log = run("log");
	EXPECT_EQ(block::vs_head(&log)->data1, run("o").data1) << "the word is bound to the object";
}

TEST_F(ObjectScripts, AHandlerRedefinedWithOtherLocalsIsRecounted) {
	run("log: copy []");
	run("o: make object! [a: 1 on-change*: func [w o n] [append log :n]]");
	run("o/a: 2");
	// The field is set before the notification: the new handler reports its
	// own assignment, with its /local words passed as none.
	run("o/on-change*: func [w o n /local x y] [x: 10 append log x append log y]");
	run("o/a: 3");
	EXPECT_EQ(molded("log", {.flat = true}), "[2 10 none 10 none]");
}

TEST_F(ObjectScripts, InheritedHandlersRunForTheNewObject) {
	run("log: copy []");
	run("p: make object! [a: 1 on-change*: func [w o n] [append log self/a append log w]]");
	run("q: make p []");
	run("q/a: 5");
	EXPECT_EQ(molded("log", {.flat = true}), "[5 a]");
}

TEST_F(ObjectScripts, HandlerFieldsMustHoldFunctions) {
	struct Case {
		const char* source;
		errors::Id id;
	} cases[] = {
		{"make object! [on-change*: 1]", errors::id::script_bad_field_set},
		{"make object! [on-deep-change*: \"x\"]", errors::id::script_bad_field_set},
		{"o: make object! [a: 1 on-change*: func [w o n] []] o/on-change*: 5 o/a: 2", errors::id::script_invalid_obj_evt},
		{"make object! 5", errors::id::syntax_malconstruct},
	};
	for (const Case& c : cases) EXPECT_EQ(error_code(c.source), int32_t(c.id.code())) << c.source;
}

TEST_F(ObjectScripts, OnDeepChangeRunsForSeriesOwnedByAField) {
	run("log: copy []");
	run("o: make object! [b: [1 [2]] s: \"ab\" "
		"on-deep-change*: func [owner word target action new index part] "
		"[append log word append log action append log new append log index append log part]]");
	EXPECT_EQ(molded("reflect o 'owner"), "true");
	Cell o = run("o");
	Cell b = field(o, "b"), s = field(o, "s");
	Cell* inner = block::vs_head(&b) + 1;
	Cell seven = integer(7);
	EXPECT_TRUE(ownership::check(&b, words::w_append, 1, 1, &seven));
	EXPECT_TRUE(ownership::check(inner, words::w_appended, 0, 2));
	EXPECT_TRUE(ownership::check(&s, words::w_changed, 1, 1));
	EXPECT_EQ(molded("log", {.flat = true}), "[b append 7 1 1 b appended none 0 2 s changed none 1 1]");
	Cell plain = load("[1]");
	EXPECT_FALSE(ownership::check(&plain, words::w_append, 0, 1)) << "a series no object owns";
}

TEST_F(ObjectScripts, ObjectsMoldInsideBlocksAndThemselves) {
	run("o: make object! [a: 1 me: none]");
	run("o/me: o");
	EXPECT_EQ(molded("o"), "make object! [\n    a: 1\n    me: make object! [...]\n]");
	EXPECT_EQ(molded("reduce [o]", {.flat = true}), "[make object! [a: 1 me: make object! [...]]]");
	EXPECT_EQ(molded("make object! [f: func [x] [x] on-change*: func [w o n] []]", {.flat = true}),
		"make object! [f: func [x][x]]")
		<< "handler fields are left out unless /all";
	EXPECT_EQ(molded("make object! [f: 1 on-change*: func [w o n] []]", {.all = true, .flat = true}),
		"make object! [f: 1 on-change*: func [w o n][]]");
}

}  // namespace
}  // namespace vyn::test::objects
