#include <gtest/gtest.h>

#include <string>

#include "runtime/datatypes/error.h"
#include "runtime/print_hooks.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

using ErrorValues = ObjectTest;

Cell error_datatype() {
	Cell d;
	cell::set(&d, T_DATATYPE, T_ERROR);
	return d;
}

Cell make_error(const Cell& spec) {
	Cell d = error_datatype(), s = spec;
	Cell e = *error::make(&d, &s, T_ERROR);
	stack::pop(1);
	return e;
}

Cell created(errors::Id id, const Cell* a1 = nullptr, const Cell* a2 = nullptr, const Cell* a3 = nullptr) {
	Cell e;
	error::create(id, a1, a2, a3, &e);
	return e;
}

std::string name_of_field(const Cell& e, const char* name) {
	Cell v = field(e, name);
	return cell::is(&v, T_NONE) ? "none" : std::string(symbol::name(v.data2));
}

void set_field(Cell& e, const char* name, const Cell& value) {
	Cell w = word_of(name), v = value;
	object::put(&e, &w, &v, false);
}

// system/state as the report reads it.
void trace_setting(int32_t level) {
	Cell state = construct("stack-trace: 0 source-files: []");
	Cell l = integer(level);
	set_field(state, "stack-trace", l);
	error::state = state.data1;
}

TEST_F(ErrorValues, MakeFromACodeTakesCategoryAndIdFromTheCatalog) {
	struct Case {
		int32_t code;
		const char* type;
		const char* id;
	} cases[] = {
		{400, "math", "zero-divide"}, {0, "throw", "break"}, {300, "script", "no-value"},
		{364, "script", "invalid-obj-evt"}, {205, "syntax", "malconstruct"}, {800, "user", "message"},
		{910, "internal", "invalid-error"}, {913, "internal", "deprecated"}, {514, "access", "invalid-cmd"},
	};
	for (const Case& c : cases) {
		Cell e = make_error(integer(c.code));
		EXPECT_EQ(error::code_of(&e), c.code);
		EXPECT_EQ(name_of_field(e, "type"), c.type) << c.code;
		EXPECT_EQ(name_of_field(e, "id"), c.id) << c.code;
		EXPECT_EQ(object::class_of(&e), error::CLASS_ID);
		Cell type = field(e, "type");
		Cell catalog;
		error::catalog(&catalog);
		EXPECT_EQ(type.data1, catalog.data1) << "the type word is bound to the catalog";
	}
}

TEST_F(ErrorValues, MakeFromACodeOutsideTheCatalogRaisesOutOfRange) {
	for (int32_t code : {399, 394, -1, 600, 700, 801, 914, 1000, 2147483647}) {
		EXPECT_EQ(raised_code([&] { make_error(integer(code)); }), int32_t(errors::id::script_out_of_range.code()))
			<< code;
	}
}

TEST_F(ErrorValues, MakeFromABlockOfWordsChecksCategoryAndId) {
	struct Case {
		const char* spec;
		int32_t code;  // negative: the code of the error raised
	} cases[] = {
		{"[script invalid-arg]", 309},
		{"[MATH Overflow]", 401},
		{"[user message extra values]", 800},
		{"[bogus invalid-arg]", -int32_t(errors::id::script_invalid_spec_field.code())},
		{"[script]", -int32_t(errors::id::script_invalid_spec_field.code())},
		{"[script nope]", -int32_t(errors::id::script_invalid_spec_field.code())},
		{"[script code]", -int32_t(errors::id::script_invalid_spec_field.code())},
		{"[script 5]", -int32_t(errors::id::script_invalid_arg.code())},
		{"[1 2]", -int32_t(errors::id::internal_invalid_error.code())},
		{"[]", -int32_t(errors::id::internal_invalid_error.code())},
	};
	for (const Case& c : cases) {
		Cell spec = value_of(c.spec);
		if (c.code >= 0) {
			Cell e = make_error(spec);
			EXPECT_EQ(error::code_of(&e), c.code) << c.spec;
		} else {
			EXPECT_EQ(raised_code([&] { make_error(spec); }), -c.code) << c.spec;
		}
	}
}

TEST_F(ErrorValues, MakeFromAStringIsAUserMessage) {
	Cell e = make_error(value_of("\"disk on fire\""));
	EXPECT_EQ(error::code_of(&e), 800);
	EXPECT_EQ(mold_of(field(e, "arg1")), "\"disk on fire\"");
	EXPECT_EQ(form_of(e), "*** User Error: disk on fire\n*** Where: ???\n*** Near : none");
}

TEST_F(ErrorValues, MakeFromAnythingElseRaisesBadMakeArg) {
	for (const char* spec : {"1.5", "none", "%file", "a/b"}) {
		EXPECT_EQ(raised_code([&] { make_error(value_of(spec)); }), int32_t(errors::id::script_bad_make_arg.code()))
			<< spec;
	}
}

TEST_F(ErrorValues, ReportFillsTheTemplateFormingSyntaxArgumentsAndMoldingOthers) {
	Cell word = word_of("foo"), s = value_of("\"text\""), file = value_of("%x.vyn"), i = integer(3);
	Cell type = error_datatype(), blk = value_of("[a \"b\"]");
	struct Case {
		errors::Id id;
		const Cell* a1;
		const Cell* a2;
		const Cell* a3;
		const char* first_line;
	} cases[] = {
		{errors::id::math_zero_divide, nullptr, nullptr, nullptr, "*** Math Error: attempt to divide by zero"},
		{errors::id::script_no_value, &word, nullptr, nullptr, "*** Script Error: foo has no value"},
		{errors::id::script_expect_arg, &word, &type, &word, "*** Script Error: foo does not allow error! for its foo argument"},
		{errors::id::script_invalid_arg, &s, nullptr, nullptr, "*** Script Error: invalid argument: \"text\""},
		{errors::id::script_invalid_arg, &blk, nullptr, nullptr, "*** Script Error: invalid argument: [a \"b\"]"},
		{errors::id::access_cannot_open, &file, nullptr, nullptr, "*** Access Error: cannot open: %x.vyn"},
		{errors::id::syntax_invalid, &s, &s, &s, "*** Syntax Error: text invalid text at text"},
		{errors::id::note_no_load, &i, nullptr, nullptr, "*** note: cannot load:  3"},
		{errors::id::internal_deprecated, &word, &s, nullptr, "*** Internal Error: foo is DEPRECATED, please use \"text\" instead"},
		{errors::id::script_unset_path, &word, &i, nullptr, "*** Script Error: 3 is unset in path foo"},
		{errors::id::throw_throw, &i, nullptr, nullptr, "*** Throw Error: no catch for throw: 3"},
		{errors::id::script_bad_op_spec, nullptr, nullptr, nullptr,
			"*** Script Error: making an op! requires a function with only 2 arguments and no lit/get-word on left argument"},
	};
	for (const Case& c : cases) {
		Cell e = created(c.id, c.a1, c.a2, c.a3);
		std::string report = form_of(e);
		EXPECT_EQ(report.substr(0, report.find('\n')), c.first_line) << c.id.code();
	}
}

TEST_F(ErrorValues, ReportCutsEachArgumentTo80AndNearTo40Characters) {
	std::string long_text(200, 'x');
	Cell s = value_of("\"" + long_text + "\"");
	Cell e = created(errors::id::script_invalid_arg, &s);
	std::string report = form_of(e);
	std::string first = report.substr(0, report.find('\n'));
	EXPECT_EQ(first, "*** Script Error: invalid argument: {" + std::string(79, 'x'));
	Cell near = load("a b c d e f g h i j k l m n o p q r s t u v w x y z");
	near.data1 = 1;
	set_field(e, "near", near);
	report = form_of(e);
	EXPECT_EQ(report.substr(report.rfind('\n')), "\n*** Near : b c d e f g h i j k l m n o p q r s t u ");
}

TEST_F(ErrorValues, ReportLinesForWhereNearStackAndFiles) {
	Cell e = created(errors::id::math_zero_divide);
	const std::string first = "*** Math Error: attempt to divide by zero";
	EXPECT_EQ(form_of(e), first + "\n*** Where: ???\n*** Near : none");

	set_field(e, "where", word_of("divide"));
	set_field(e, "near", load("1 / 0"));
	EXPECT_EQ(form_of(e), first + "\n*** Where: divide\n*** Near : 1 / 0");

	set_field(e, "where", value_of("\"in the pump\""));
	set_field(e, "stack", load("outer inner"));
	EXPECT_EQ(form_of(e), first + "\n*** Where: in the pump\n*** Near : 1 / 0") << "no stack line without a trace setting";

	trace_setting(1);
	EXPECT_EQ(form_of(e), first + "\n*** Where: in the pump\n*** Near : 1 / 0\n*** Stack: outer inner");
	trace_setting(0);
	EXPECT_EQ(form_of(e), first + "\n*** Where: in the pump\n*** Near : 1 / 0");

	set_field(e, "where", integer(5));
	set_field(e, "files", load("%a.vyn %b.vyn"));
	EXPECT_EQ(form_of(e), first + "\n*** Where: ???\n*** Near : 1 / 0\n*** Files: %a.vyn %b.vyn");
}

TEST_F(ErrorValues, UnknownCategoryOrIdIsReportedAsInvalidError) {
	Cell e = created(errors::id::math_zero_divide);
	set_field(e, "id", word_of("no-such-id"));
	std::string report = form_of(e);
	EXPECT_EQ(report.substr(0, report.find('\n')), "*** Internal Error: invalid error object field value: no-such-id");
	set_field(e, "type", word_of("bogus"));
	report = form_of(e);
	EXPECT_EQ(report.substr(0, report.find('\n')), "*** Internal Error: invalid error object field value: bogus");
	set_field(e, "type", integer(4));
	report = form_of(e);
	EXPECT_EQ(report.substr(0, report.find('\n')), "*** Internal Error: invalid error object field value: 4");
}

TEST_F(ErrorValues, FireBuildsTheErrorWithWhereFromTheCallAndTheRaiseDepth) {
	Cell foo = word_of("foo");
	Cell arg = word_of("missing");
	uint32_t depth = 0;
	Cell e = caught([&] {
		stack::mark_native(&foo);
		depth = stack::depth();
		errors::fire(errors::id::script_no_value, &arg);
	});
	ASSERT_TRUE(cell::is(&e, T_ERROR));
	EXPECT_EQ(error::code_of(&e), 300);
	EXPECT_EQ(name_of_field(e, "where"), "foo");
	Cell s = field(e, "stack");
	EXPECT_EQ(cell::get_integer(&s), int32_t(depth));
	EXPECT_EQ(name_of_field(e, "arg1"), "missing");
	EXPECT_EQ(field(e, "arg2").header, uint32_t(T_NONE));
	EXPECT_EQ(form_of(e), "*** Script Error: missing has no value\n*** Where: foo\n*** Near : none");
}

TEST_F(ErrorValues, NearIsTheCodeBeingEvaluated) {
	interpreter::current_code = load("x: 1 + oops");
	interpreter::current_code.data1 = 1;
	Cell e = created(errors::id::math_overflow);
	EXPECT_EQ(mold_of(field(e, "near"), {.only = true, .flat = true}), "1 + oops");
}

TEST_F(ErrorValues, TheStackTraceBecomesABlockOfTheCalls) {
	Cell f = word_of("outer"), g = word_of("inner");
	trace_setting(2);  // every named frame, not only function calls
	Cell e = caught([&] {
		stack::mark_native(&f);
		stack::mark_eval(nullptr);
		stack::mark_native(&g);
		errors::fire(errors::id::math_overflow);
	});
	EXPECT_NE(form_of(e).find("\n*** Stack: outer inner "), std::string::npos);
	error::set_stack_trace(&e);
	EXPECT_EQ(mold_of(field(e, "stack"), {.flat = true}), "[outer inner]");
	EXPECT_NE(form_of(e).find("\n*** Stack: outer inner"), std::string::npos);
}

TEST_F(ErrorValues, TheUncaughtReportIsUtf8CutToTheRoom) {
	Cell s = value_of("\"caf\u00e9\"");
	Cell e = created(errors::id::user_message, &s);
	char text[64];
	error::form_report(&e, text, sizeof text);
	EXPECT_STREQ(text, "*** User Error: caf\u00e9\n*** Where: ???\n*** Near : none");
	char small[10];
	error::form_report(&e, small, sizeof small);
	EXPECT_STREQ(small, "*** User ");
}

TEST_F(ErrorValues, ArgumentWordsComeFromTheSpecOfTheCalledFunction) {
	Cell spec = load("series [block!] value /part length [integer!] 'lit :get");
	Cell fn;
	cell::set(&fn, T_FUNCTION, 0, spec.data2, 0);
	Cell name = word_of("appendix");
	context::set(&name, &fn);
	const char* expected[] = {"series", "value", "part", "length", "lit", "get", "none"};
	for (uint32_t n = 0; n < 7; n++) {
		Cell w;
		error::argument_word(&name, n, &w);
		EXPECT_EQ(cell::is(&w, T_NONE) ? "none" : std::string(symbol::name(w.data2)), expected[n]) << n;
		EXPECT_TRUE(cell::is(&w, T_NONE) || cell::is(&w, T_WORD));
	}
	Cell plain = word_of("not-a-function"), w;
	error::argument_word(&plain, 0, &w);
	EXPECT_TRUE(cell::is(&w, T_NONE));
}

TEST_F(ErrorValues, MoldWritesTheFieldsAsAnObjectDoes) {
	Cell e = created(errors::id::math_zero_divide);
	EXPECT_EQ(mold_of(e, {.flat = true}),
		"make error! [code: 400 type: 'math id: 'zero-divide arg1: none arg2: none arg3: none near: none "
		"where: none stack: none files: none]");
	EXPECT_EQ(mold_of(e, {.limit = 13}), "make error! [");
}

TEST_F(ErrorValues, TheCatalogHoldsEveryCategoryWithCodeDisplayNameAndTemplates) {
	Cell catalog;
	error::catalog(&catalog);
	Cell r = catalog;
	EXPECT_EQ(mold_of(*object::reflect(&r, sym("words")), {.flat = true}),
		"[throw note syntax script math access reserved1 reserved2 user internal]");
	struct Case {
		const char* category;
		const char* code_and_type;
		const char* id;
		const char* message;
	} cases[] = {
		{"script", "300 \"Script Error\"", "no-value", "[:arg1 \"has no value\"]"},
		{"math", "400 \"Math Error\"", "zero-divide", "\"attempt to divide by zero\""},
		{"user", "800 \"User Error\"", "message", "arg1"},
		{"internal", "900 \"Internal Error\"", "bad-path", "[\"bad path:\" arg1]"},
		{"internal", "900 \"Internal Error\"", "limit-hit", "[\"internal limit reached:\" :arg1]"},
		{"reserved1", "600 \"Reserved1 Error\"", nullptr, nullptr},
	};
	for (const Case& c : cases) {
		Cell category = field(catalog, c.category);
		EXPECT_EQ(mold_of(field(category, "code")) + " " + mold_of(field(category, "type")), c.code_and_type);
		if (c.id) {
			EXPECT_EQ(mold_of(field(category, c.id), {.flat = true}), c.message) << c.id;
		}
	}
	Cell script = field(catalog, "script");
	EXPECT_EQ(context::word_count(script.data1), 2u + 94u);
}

using ErrorScripts = ObjectScript;

TEST_F(ErrorScripts, MakeFromASetWordBlockEvaluatesItInTheError) {
	struct Case {
		const char* source;
		int32_t code;  // negative: the code of the error raised
	} cases[] = {
		{"make error! [type: 'math id: 'overflow]", 401},
		{"make error! [type: 'user id: 'message arg1: \"x\"]", 800},
		{"make error! [code: 1 type: 'script id: 'no-value]", 300},
		{"make error! [type: 'math]", -int32_t(errors::id::script_invalid_spec_field.code())},
		{"make error! [id: 'overflow]", -int32_t(errors::id::script_invalid_spec_field.code())},
		{"make error! [type: 'math id: 5]", -int32_t(errors::id::script_invalid_arg.code())},
		{"make error! [type: 'nope id: 'overflow]", -int32_t(errors::id::script_invalid_spec_field.code())},
	};
	for (const Case& c : cases) {
		Cell r = run(c.source);
		ASSERT_TRUE(cell::is(&r, T_ERROR)) << c.source;
		int32_t code = error::code_of(&r);
		if (c.code >= 0) {
			EXPECT_EQ(code, c.code) << c.source;
			EXPECT_TRUE(cell::is(context::values(r.data1) + error::WHERE, T_NONE)) << "made, not raised: " << c.source;
		} else {
			EXPECT_EQ(code, -c.code) << c.source;
		}
	}
	Cell e = run("make error! [type: 'user id: 'message arg1: \"disk full\"]");
	EXPECT_EQ(form_of(e), "*** User Error: disk full\n*** Where: ???\n*** Near : none\n*** Stack: ");
}

std::string printed;

void capture(const Cell* text, int32_t) {
	Cell t = *text;
	printed += utf8_of(&t);
}

TEST_F(ErrorScripts, PrintReportsAnErrorWithoutRaisingIt) {
	printed.clear();
	dyn_print::add(capture, nullptr);
	Cell* top = stack::top;
	Cell word = word_of("pen");
	error::print(errors::id::script_invalid_arg, &word);
	dyn_print::remove(capture, nullptr);
	EXPECT_EQ(printed, "*** Script Error: invalid argument: pen\n*** Where: ???\n*** Near : none\n*** Stack: ");
	EXPECT_EQ(stack::top, top);
	EXPECT_EQ(stack::frame_top(), stack::frames_bottom);
}

TEST_F(ErrorScripts, ARaisedErrorReportsWhereAndNear) {
	Cell e = run("x: 1\ny: x / 0 z: 2");
	ASSERT_TRUE(cell::is(&e, T_ERROR));
	EXPECT_EQ(form_of(e), "*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : y: x / 0 z: 2\n*** Stack: ");
	e = run("f: func [a] [a + none] f 1");
	ASSERT_TRUE(cell::is(&e, T_ERROR));
	std::string report = form_of(e);
	EXPECT_EQ(report.substr(0, report.find('\n')), "*** Script Error: + does not allow none! for its value2 argument");
}

}  // namespace
}  // namespace vyn::test::objects
