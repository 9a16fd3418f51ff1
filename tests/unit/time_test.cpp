#include <bit>
#include <cmath>
#include <limits>

#include "tests/unit/scalar_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Time : public ScalarTest {};

TEST_F(Time, FormsHoursMinutesSeconds) {
	struct Case {
		double t;
		const char* text;
	} cases[] = {
		{3723, "1:02:03"},
		{0.5, "0:00:00.5"},
		{90061.25, "25:01:01.25"},
		{-90, "-0:01:30"},
		{360000, "100:00:00"},
		{0, "0:00:00"},
		{-0.0, "0:00:00"},
		{5.5, "0:00:05.5"},
		{59.999999, "0:01:00"},
		{3599.9999999, "1:00:00"},
		{-3599.9999999, "-1:00:00"},
		{12.3456789, "0:00:12.3457"},
		{0.0000005, "0:00:00"},
		{0.0000015, "0:00:00.0000015"},
		{1e15, "277777777777:46:40"},
		{std::numeric_limits<double>::infinity(), "1.#INF"},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(form(T(c.t)), c.text) << c.t;
		EXPECT_EQ(mold(T(c.t)), c.text) << c.t;
	}
}

TEST_F(Time, MakeFromNumbersAndBlocks) {
	struct Case {
		Cell spec;
		double seconds;
	} cases[] = {
		{I(90), 90},
		{F(1.5), 1.5},
		{P(0.5), 0.5},
		{BLOCK({I(1), I(30)}), 5400},
		{BLOCK({I(1), I(30), F(15.5)}), 5415.5},
		{BLOCK({I(-1), I(30)}), -5400},
		{BLOCK({I(2)}), 7200},
		{BLOCK({}), 0},
		{BLOCK({I(0), I(0), I(7)}), 7},
		{T(12), 12},
		{S("1:30"), 5400},
		{S(" -1:30:15.5", T_TAG), -5415.5},
		{S("1:30.5"), 90.5},
	};
	for (const Case& c : cases) expect_cell(make(T_TIME, c.spec), T(c.seconds), "make time! " + form(c.spec));
	EXPECT_EQ(form(make(T_TIME, BLOCK({I(-1), I(30)}))), "-1:30:00");
	EXPECT_EQ(form(to(T_TIME, F(90061.25))), "25:01:01.25");

	Cell bad[] = {BLOCK({I(1), I(-30)}), BLOCK({I(1), I(2), I(3), I(4)}), BLOCK({I(1), I(2), I(-3)}),
		BLOCK({F(1.5), I(2)}), BLOCK({I(1), F(2.5)}), S("90"), S("1:30 2:00"), S(""), L(true)};
	for (const Cell& b : bad) {
		Raised r = raised([&] { make(T_TIME, b); });
		EXPECT_EQ(r.code, code(errors::id::script_bad_to_arg)) << form(b);
		EXPECT_TRUE(same_cell(r.args[0], D(T_TIME)));
	}
	EXPECT_EQ(raised([] { make(T_TIME, S("1:")); }).code, code(errors::id::syntax_invalid)) << "loading raises its syntax error";
}

TEST_F(Time, Arithmetic) {
	struct Case {
		MathOp op;
		Cell a, b, want;
	} cases[] = {
		{OP_DIV, T(3600), T(1800), F(2.0)},
		{OP_ADD, T(3600), I(1), T(3601)},
		{OP_MUL, I(2), T(3600), T(7200)},
		{OP_MUL, T(7200), I(2), T(14400)},
		{OP_DIV, T(3600), I(4), T(900)},
		{OP_SUB, T(60), F(0.5), T(59.5)},
		{OP_REM, T(100), I(60), T(40)},
		{OP_ADD, P(0.5), T(10), T(10.5)},
	};
	for (const Case& c : cases) expect_cell(op(c.op, c.a, c.b), c.want, mold(c.a) + " op" + std::to_string(c.op) + " " + mold(c.b));

	Raised r = raised([] { op(OP_MUL, T(3600), T(3600)); });
	EXPECT_EQ(r.code, code(errors::id::script_not_related));
	EXPECT_TRUE(same_cell(r.args[1], D(T_TIME)));
	Cell date;
	cell::set(&date, T_DATE);
	EXPECT_EQ(raised([&] { op(OP_SUB, T(1), date); }).code, code(errors::id::script_not_related));
	EXPECT_EQ(raised([&] { op(OP_ADD, T(1), date); }).code, code(errors::id::script_invalid_type)) << "no date arithmetic registered";
	EXPECT_EQ(raised([] { call(A_POWER, {T(1), I(2)}); }).code, code(errors::id::script_expect_arg));

	expect_cell(call(A_NEGATE, {T(90)}), T(-90), "negate");
	expect_cell(call(A_ABSOLUTE, {T(-90)}), T(90), "absolute");
	Cell a = T(60), b = I(60);
	EXPECT_TRUE(actions::compare(&a, &b, COMP_EQUAL));
	EXPECT_FALSE(actions::compare(&a, &b, COMP_STRICT_EQUAL));
}

TEST_F(Time, RoundAndParity) {
	Cell sixty = I(60), half = F(0.5), minute = T(60), percent = P(0.5);
	expect_cell(round_to(T(5025), &sixty, PLAIN), T(5040), "round/to 1:23:45 60");
	expect_cell(round_to(T(5025), &minute, FLOOR), T(4980), "round/floor/to 1:23:45 0:01");
	expect_cell(round_to(T(1.25), &half, PLAIN), T(1.5), "round/to 0:00:01.25 0.5");
	expect_cell(round_to(T(1.25), &percent, PLAIN), T(1.5), "round/to 0:00:01.25 50%");
	expect_cell(round_to(T(2.5), nullptr, EVEN), T(2.0), "round/even 0:00:02.5");
	expect_cell(round_to(T(1e15 + 0.5), &sixty, DOWN), T(1e15 - 40), "round/down of a large time");

	struct Parity {
		double t;
		bool even;
	} parity[] = {{2, true}, {3, false}, {2.9999999, false}, {1.9999995, true}, {-3, false}, {62, true}, {-0.0000001, true}};
	for (const Parity& p : parity) {
		Cell even = call(A_EVEN_Q, {T(p.t)}), odd = call(A_ODD_Q, {T(p.t)});
		EXPECT_EQ(logic::get(&even), p.even) << p.t;
		EXPECT_EQ(logic::get(&odd), !p.even) << p.t;
	}
}

TEST_F(Time, FieldsByPickAndPath) {
	expect_cell(call(A_PICK, {T(5415.5), I(1)}), I(1), "pick hour");
	expect_cell(call(A_PICK, {T(5415.5), I(2)}), I(30), "pick minute");
	expect_cell(call(A_PICK, {T(5415.5), I(3)}), F(15.5), "pick second");
	expect_cell(call(A_PICK, {T(5400), I(3)}), F(0.0), "pick 1:30:00 3");
	expect_cell(call(A_PICK, {T(-5415), I(1)}), I(-1), "hour of a negative time");
	expect_cell(call(A_PICK, {T(-5415), I(2)}), I(30), "minute of a negative time");
	for (Cell index : {I(0), I(4), F(1.0)}) {
		Raised r = raised([&] { call(A_PICK, {T(1), index}); });
		EXPECT_EQ(r.code, code(errors::id::script_out_of_range)) << form(index);
	}
	EXPECT_EQ(raised([] { call(A_PICK, {T(1e14), I(1)}); }).code, code(errors::id::script_type_limit));

	struct Set {
		double t;
		int32_t field;
		Cell value;
		double want;
	} sets[] = {
		{5400, 2, I(45), 6300},          // 1:30:00 minute 45: 1:45:00
		{5400, 1, I(3), 12600},          // hour 3: 3:30:00
		{5400, 3, F(7.5), 5407.5},       // second 7.5
		{-5400, 1, I(2), -9000},         // -1:30:00 hour 2: -2:30:00
		{-5400, 2, I(10), -4200},        // -1:30:00 minute 10: -1:10:00
		{-90, 3, I(10), -70},            // -0:01:30 second 10: -0:01:10
		{5400, 1, I(-2), -9000},         // a negative hour makes it negative
	};
	for (const Set& s : sets) {
		Cell t = T(s.t), element = I(s.field), value = s.value;
		Cell* answer = actions::eval_path(&t, &element, &value, nullptr, nullptr, nullptr, -1, false, false, true, false);
		EXPECT_TRUE(same_cell(*answer, s.value));
		expect_cell(t, T(s.want), "set field " + std::to_string(s.field) + " of " + form(T(s.t)));
	}

	struct ByWord {
		const char* name;
		Cell value;
		double want;
	} by_word[] = {{"minute", I(45), 6300}, {"HOUR", I(3), 12600}, {"Second", F(7.5), 5407.5}};
	for (const ByWord& b : by_word) {
		Cell t = T(5400), element = W(b.name), value = b.value;
		actions::eval_path(&t, &element, &value, nullptr, nullptr, nullptr, -1, false, false, true, false);
		expect_cell(t, T(b.want), std::string("set ") + b.name);
	}
	expect_cell(call(A_PICK, {T(5415.5), W("second")}), F(15.5), "pick 'second");
	expect_cell(call(A_PICK, {T(5415.5), W("Hour")}), I(1), "pick 'Hour");
	Raised bad_word = raised([] { call(A_PICK, {T(1), W("day")}); });
	EXPECT_EQ(bad_word.code, code(errors::id::script_cannot_use));
	EXPECT_TRUE(is_word_named(bad_word.args[0], "day"));
	Cell day = W("day"), one = I(1);
	EXPECT_EQ(time::field_index(&day, &one), -1);
	EXPECT_EQ(raised([&] {
		Cell t = T(1), element = W("day");
		actions::eval_path(&t, &element, nullptr, nullptr, nullptr, nullptr, -1, false, false, true, false);
	}).code, code(errors::id::script_invalid_path));

	Cell t = T(5400), hour = I(1), second = I(3), four = I(4), half = F(2.5);
	EXPECT_EQ(raised([&] { actions::eval_path(&t, &hour, &half, nullptr, nullptr, nullptr, -1, false, false, true, false); }).code,
		code(errors::id::script_invalid_arg));
	EXPECT_EQ(raised([&] { actions::eval_path(&t, &four, nullptr, nullptr, nullptr, nullptr, -1, false, false, true, false); }).code,
		code(errors::id::script_invalid_path));
	Cell text = S("x");
	EXPECT_EQ(raised([&] { actions::eval_path(&t, &second, &text, nullptr, nullptr, nullptr, -1, false, false, true, false); }).code,
		code(errors::id::script_invalid_arg));
	stack::arguments = stack::top;
	Cell* got = actions::eval_path(&t, &hour, nullptr, nullptr, nullptr, nullptr, -1, false, false, true, false);
	EXPECT_TRUE(same_cell(*got, I(1)));
}

// What an owner's change handler was told.
struct Told {
	int calls = 0;
	Cell word, old_value, new_value;
};
Told told;

TEST_F(Time, SetPathTellsTheOwningObject) {
	told = Told{};
	context::on_change = [](Cell*, Cell* word, Cell* old_value, Cell* new_value) {
		told.calls++;
		told.word = *word;
		told.old_value = *old_value;
		told.new_value = *new_value;
	};
	Cell owner, field = W("start"), element = W("minute"), value = I(10), t = T(5400);
	cell::set(&owner, T_OBJECT);
	actions::eval_path(&t, &element, &value, nullptr, &owner, &field, 1, false, false, true, true);
	ASSERT_EQ(told.calls, 1);
	EXPECT_TRUE(is_word_named(told.word, "start"));
	expect_cell(told.old_value, T(5400), "old value");
	expect_cell(told.new_value, T(4200), "new value");
	actions::eval_path(&t, &element, &value, nullptr, &owner, &field, 1, false, false, true, false);
	EXPECT_EQ(told.calls, 1) << "no notification without the flag";
	Cell block = BLOCK({T(1)});
	Cell* held = block::vs_head(&block);
	actions::eval_path(held, &element, &value, nullptr, &block, nullptr, 1, false, false, true, true);
	EXPECT_EQ(told.calls, 1) << "a series owner goes through the ownership table";
	expect_cell(*held, T(601), "the time in the block");
}

}  // namespace
