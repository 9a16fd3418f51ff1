#include "runtime/datatypes/tuple.h"

#include <cmath>
#include <vector>

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/evaluator/lexer.h"
#include "tests/unit/extended_support.h"

using namespace vyn;
using test::float_cell;
using test::int_cell;

namespace {

Cell tup(std::vector<int> bytes) {
	uint8_t b[tuple::MAX_SIZE] = {};
	for (size_t i = 0; i < bytes.size(); i++) b[i] = uint8_t(bytes[i]);
	Cell c;
	tuple::make_at(&c, uint32_t(bytes.size()), b);
	return c;
}

std::string text(const Cell& c) { return test::form_of(c); }

class Tuple : public test::ValueTest {
protected:
	void SetUp() override {
		ValueTest::SetUp();
		integer::init_type();
		float_::init_type();
		tuple::init_type();
	}
	Cell math(const Cell& a, MathOp op, const Cell& b) {
		return test::run_frame(a, b, [op] { return tuple::do_math(op); });
	}
	uint32_t math_error(const Cell& a, MathOp op, const Cell& b) {
		return test::raised([&] { math(a, op, b); });
	}
	Cell block_of(std::vector<Cell> cells) {
		Cell b;
		cell::set(&b, T_BLOCK, 0, memory::alloc_cells(uint32_t(cells.size()) + 1), 0);
		for (const Cell& c : cells) *memory::alloc_tail(&b) = c;
		return b;
	}
	Cell binary_of(std::vector<uint8_t> bytes) {
		Cell b;
		cell::set(&b, T_BINARY, 0, memory::alloc_bytes(uint32_t(bytes.size()) + 1), 0);
		Series* s = memory::buffer_of(&b);
		std::memcpy(memory::alloc_tail_bytes(s, uint32_t(bytes.size())), bytes.data(), bytes.size());
		return b;
	}
	Cell converted(const Cell& spec) {
		Cell proto, s = spec;
		cell::set(&proto, T_DATATYPE, T_TUPLE);
		return *tuple::to(&proto, &s, T_TUPLE);
	}
};

TEST_F(Tuple, ArithmeticIsBytewiseAndSaturates) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		const char* result;
	} cases[] = {
		{tup({1, 2, 3}), OP_ADD, tup({1, 1, 1, 1}), "2.3.4.1"},
		{tup({1, 1, 1, 1}), OP_ADD, tup({1, 2, 3}), "2.3.4.1"},
		{tup({200, 0, 0}), OP_ADD, int_cell(100), "255.100.100"},
		{tup({10, 10, 10}), OP_SUB, int_cell(20), "0.0.0"},
		{tup({1, 2, 3}), OP_MUL, float_cell(1.5), "1.3.4"},
		{tup({9, 9, 9}), OP_DIV, int_cell(2), "4.4.4"},
		{tup({7, 8, 9}), OP_REM, int_cell(4), "3.0.1"},
		{tup({7, 8, 9}), OP_REM, int_cell(-4), "3.0.1"},
		{tup({10, 20, 30}), OP_AND, int_cell(15), "10.4.14"},
		{tup({1, 2, 3}), OP_OR, int_cell(-1), "0.0.0"},
		{tup({1, 2, 3}), OP_XOR, tup({3, 3, 3}), "2.1.0"},
		{tup({255, 255, 255}), OP_MUL, int_cell(2147483647), "255.255.255"},
		{tup({1, 2, 3}), OP_SUB, int_cell(-2147483647 - 1), "255.255.255"},
		{tup({100, 100, 100}), OP_MUL, float_cell(-1.5), "0.0.0"},
		{tup({100, 0, 2}), OP_DIV, float_cell(0.0), "255.0.255"},
		{tup({1, 2, 3}), OP_ADD, float_cell(1e300), "255.255.255"},
		{tup({1, 2, 3}), OP_ADD, float_cell(NAN), "0.0.0"},
		{tup({100, 50, 10}), OP_MUL, float_cell(0.5, T_PERCENT), "50.25.5"},
		{int_cell(2), OP_ADD, tup({1, 1, 1}), "3.3.3"},
		{int_cell(3), OP_MUL, tup({1, 2, 100}), "3.6.255"},
		{float_cell(0.5), OP_MUL, tup({10, 20, 30}), "5.10.15"},
	};
	for (const Case& c : cases) {
		Cell r = math(c.a, c.op, c.b);
		EXPECT_TRUE(cell::is(&r, T_TUPLE));
		EXPECT_EQ(text(r), c.result) << text(c.a) << " op " << c.op;
	}
}

TEST_F(Tuple, ArithmeticErrors) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		errors::Id error;
	} cases[] = {
		{int_cell(2), OP_SUB, tup({1, 1, 1}), errors::id::script_not_related},
		{int_cell(2), OP_DIV, tup({1, 1, 1}), errors::id::script_not_related},
		{int_cell(2), OP_REM, tup({1, 1, 1}), errors::id::script_not_related},
		{float_cell(2), OP_SUB, tup({1, 1, 1}), errors::id::script_not_related},
		{tup({1, 2, 3}), OP_DIV, int_cell(0), errors::id::math_zero_divide},
		{tup({1, 2, 3}), OP_REM, int_cell(0), errors::id::math_zero_divide},
		{tup({1, 2, 3}), OP_DIV, tup({1, 0, 1}), errors::id::math_zero_divide},
		{tup({1, 2, 3, 4}), OP_DIV, tup({1, 1, 1}), errors::id::math_zero_divide},
		{tup({1, 2, 3}), OP_ADD, test::none(), errors::id::script_invalid_type},
		{tup({1, 2, 3}), OP_AND, float_cell(1.5), errors::id::script_cannot_use},
	};
	for (const Case& c : cases)
		EXPECT_EQ(math_error(c.a, c.op, c.b), c.error.code()) << text(c.a) << " op " << c.op;
}

TEST_F(Tuple, AFailedOperationLeavesTheOperandsAsTheyWere) {
	Cell a = tup({4, 0, 4}), b = tup({2, 2, 0});
	Cell* frame = nullptr;
	EXPECT_EQ(test::raised([&] {
		stack::arguments = stack::top;
		frame = stack::push(&a);
		stack::push(&b);
		tuple::do_math(OP_DIV);
	}),
		errors::id::math_zero_divide.code());
	EXPECT_EQ(text(frame[0]), "4.0.4");
	EXPECT_EQ(text(frame[1]), "2.2.0");
}

TEST_F(Tuple, ConversionsFromBlocksBinariesAndColourNames) {
	struct Case {
		Cell spec;
		const char* result;
	} cases[] = {
		{block_of({int_cell(1), int_cell(2)}), "1.2.0"},
		{block_of({}), "0.0.0"},
		{block_of({int_cell(1), int_cell(0), float_cell(2.9), float_cell(-0.5)}), "1.0.2.0"},
		{binary_of({9, 8}), "9.8.0"},
		{binary_of({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}), "1.2.3.4.5.6.7.8.9.10.11.12"},
		{tup({1, 2, 3}), "1.2.3"},
	};
	for (const Case& c : cases) EXPECT_EQ(text(converted(c.spec)), c.result);

	Cell c;
	cell::set(&c, T_CHAR, 0, 'A');
	EXPECT_EQ(text(converted(block_of({c, int_cell(255), int_cell(0)}))), "65.255.0");

	std::vector<Cell> thirteen(13, int_cell(1));
	Cell refused[] = {block_of(thirteen), block_of({int_cell(256)}), block_of({int_cell(-1)}),
		block_of({float_cell(NAN)}), block_of({float_cell(255.5), test::none()}), int_cell(1)};
	for (const Cell& spec : refused)
		EXPECT_EQ(test::raised([&] { converted(spec); }), errors::id::script_bad_to_arg.code());
}

TEST_F(Tuple, HexColourNames) {
	struct Case {
		const char* name;
		const char* result;  // null: invalid-data
	} cases[] = {
		{"F80", "255.136.0"}, {"FFF", "255.255.255"}, {"fff", "255.255.255"}, {"FF8000", "255.128.0"},
		{"FF800080", "255.128.0.128"}, {"12", nullptr}, {"1234", nullptr}, {"123456789", nullptr},
		{"GG0", nullptr}, {"", nullptr}, {"F\x01" "0", nullptr},
		// Characters above 127 are no digits: U+00C1 does not read as "A".
		{"\xC3\x81" "00", nullptr}, {"\xC2\xB2\xC2\xB2\xC2\xB2", nullptr},
	};
	for (const Case& c : cases) {
		Cell out, issue = test::none();
		auto run = [&] {
			tuple::from_hex(&out, reinterpret_cast<const uint8_t*>(c.name), uint32_t(std::strlen(c.name)), &issue);
		};
		if (c.result) {
			run();
			EXPECT_EQ(text(out), c.result) << c.name;
		} else {
			EXPECT_EQ(test::raised(run), errors::id::script_invalid_data.code()) << c.name;
		}
	}
}

TEST_F(Tuple, ComparisonFillsTheShorterWithZeros) {
	struct Case {
		Cell a, b;
		int32_t result;
	} cases[] = {
		{tup({1, 2, 3}), tup({1, 2, 3, 0}), 0},
		{tup({1, 2, 3}), tup({1, 2, 4}), -1},
		{tup({1, 2, 3, 1}), tup({1, 2, 3}), 1},
		{tup({200, 0, 0}), tup({100, 255, 255}), 1},
		{tup({1, 2, 3}), int_cell(1), COMPARE_UNRELATED},
	};
	for (const Case& c : cases) EXPECT_EQ(actions::compare_raw(&c.a, &c.b, COMP_EQUAL), c.result);
	Cell a = tup({1, 2, 3}), b = tup({1, 2, 3, 0});
	EXPECT_TRUE(actions::compare(&a, &b, COMP_STRICT_EQUAL));
}

TEST_F(Tuple, PathsReadAndSetBytesAndNoneTruncates) {
	struct Case {
		Cell t;
		int32_t index;
		Cell value;
		const char* result;
	} cases[] = {
		{tup({1, 2, 3, 4, 5}), 5, test::none(), "1.2.3.4"},
		{tup({1, 2, 3, 4, 5}), 2, test::none(), "1.0.0"},
		{tup({1, 2, 3}), 2, test::none(), "1.0.0"},
		{tup({1, 2, 3}), 2, int_cell(300), "1.255.3"},
		{tup({1, 2, 3}), 3, int_cell(-5), "1.2.0"},
	};
	for (Case& c : cases) {
		Cell element = int_cell(c.index);
		Cell* answer = tuple::eval_path(&c.t, &element, &c.value, nullptr, nullptr, nullptr, 0, false, false, true, false);
		EXPECT_EQ(answer, &c.value);
		EXPECT_EQ(text(c.t), c.result);
	}
	Cell t = tup({1, 2, 3, 4, 5});
	Cell none = test::none();
	Cell four = int_cell(4);
	tuple::eval_path(&t, &four, &none, nullptr, nullptr, nullptr, 0, false, false, true, false);
	EXPECT_EQ(tuple::length_q(&t), 3) << "never fewer than 3 bytes";
	Cell two = int_cell(2);
	EXPECT_EQ(cell::get_integer(tuple::eval_path(&t, &two, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false)), 2);

	Cell word = test::none(), string_like = float_cell(1.0);
	EXPECT_EQ(test::raised([&] { tuple::eval_path(&t, &word, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false); }),
		errors::id::script_invalid_type.code());
	EXPECT_EQ(test::raised([&] { tuple::eval_path(&t, &four, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false); }),
		errors::id::script_out_of_range.code());
	EXPECT_EQ(test::raised([&] { tuple::eval_path(&t, &two, &string_like, nullptr, nullptr, nullptr, 0, false, false, true, false); }),
		errors::id::script_invalid_type.code());
	for (int32_t index : {0, 4, -1})
		EXPECT_EQ(test::raised([&] { Cell i = int_cell(index); actions::pick(&t, &i); }), errors::id::script_out_of_range.code());
}

TEST_F(Tuple, ReverseWithPartAndSkip) {
	Cell none = test::none();
	struct Case {
		Cell part, skip;
		bool has_part, has_skip;
		const char* result;  // null: the error below
		errors::Id error;
	} cases[] = {
		{none, none, false, false, "6.5.4.3.2.1", {}},
		{int_cell(2), none, true, false, "2.1.3.4.5.6", {}},
		{int_cell(99), none, true, false, "6.5.4.3.2.1", {}},
		{none, int_cell(2), false, true, "5.6.3.4.1.2", {}},
		{int_cell(4), int_cell(2), true, true, "3.4.1.2.5.6", {}},
		{none, int_cell(6), false, true, "1.2.3.4.5.6", {}},
		{none, int_cell(4), false, true, nullptr, errors::id::script_invalid_refine_arg},
		{int_cell(2), int_cell(3), true, true, nullptr, errors::id::script_invalid_refine_arg},
		{int_cell(-1), none, true, false, nullptr, errors::id::script_out_of_range},
		{none, int_cell(0), false, true, nullptr, errors::id::script_out_of_range},
		{float_cell(1), none, true, false, nullptr, errors::id::script_invalid_refine_arg},
	};
	for (Case& c : cases) {
		Cell t = tup({1, 2, 3, 4, 5, 6});
		auto run = [&] { tuple::reverse(&t, c.has_part ? &c.part : nullptr, c.has_skip ? &c.skip : nullptr); };
		if (c.result) {
			run();
			EXPECT_EQ(text(t), c.result);
		} else {
			EXPECT_EQ(test::raised(run), c.error.code());
		}
	}
}

TEST_F(Tuple, FormComplementLengthAndBuilders) {
	EXPECT_EQ(text(tup({255, 0, 0})), "255.0.0");
	EXPECT_EQ(test::mold_of(tup({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})), "1.2.3.4.5.6.7.8.9.10.11.12");
	Cell t = tup({0, 100, 255, 1});
	EXPECT_EQ(text(*tuple::complement(&t)), "255.155.0.254");
	EXPECT_EQ(tuple::length_q(&t), 4);
	EXPECT_FALSE(tuple::zero_q(&t));
	Cell zero = tup({0, 0, 0});
	EXPECT_TRUE(tuple::zero_q(&zero));
	int32_t ints[] = {0x1FF, -1};
	EXPECT_EQ(text(*tuple::push_ints(2, ints)), "255.255.0");
	EXPECT_EQ(text(*tuple::push(4, 0x04030201u, 0, 0)), "1.2.3.4");
}

}  // namespace

namespace {

TEST_F(Tuple, NumbersHandTheirArithmeticToTuples) {
	struct Case {
		Cell a;
		MathOp op;
		const char* result;  // null: not-related
	} cases[] = {
		{int_cell(2), OP_ADD, "3.3.3"},
		{int_cell(2), OP_MUL, "2.2.2"},
		{int_cell(2), OP_SUB, nullptr},
		{int_cell(2), OP_DIV, nullptr},
		{int_cell(2), OP_REM, nullptr},
		{float_cell(1.5), OP_MUL, "1.1.1"},
		{float_cell(2), OP_REM, nullptr},
	};
	for (const Case& c : cases) {
		auto worker = cell::is(&c.a, T_INTEGER) ? integer::do_math : float_::do_math;
		auto run = [&] { return test::run_frame(c.a, tup({1, 1, 1}), [&] { return worker(c.op); }); };
		if (c.result)
			EXPECT_EQ(text(run()), c.result);
		else
			EXPECT_EQ(test::raised(run), errors::id::script_not_related.code()) << c.op;
	}
}

TEST_F(Tuple, TextThatDoesNotLoadAsATupleIsRefused) {
	lexer::init();
	for (const char* source : {"1 2", "", "12", "\"s\"", "2.5"}) {
		Cell s;
		string::load_at(&s, source);
		EXPECT_EQ(test::raised([&] { converted(s); }), errors::id::script_bad_to_arg.code()) << source;
	}
}

}  // namespace

namespace {

TEST_F(Tuple, IssuesConvertAsHexColours) {
	EXPECT_EQ(text(converted(test::word_of("F80", T_ISSUE))), "255.136.0");
	EXPECT_EQ(text(converted(test::word_of("ff8000cc", T_ISSUE))), "255.128.0.204");
	EXPECT_EQ(test::raised([&] { converted(test::word_of("12", T_ISSUE)); }), errors::id::script_invalid_data.code());
}

TEST_F(Tuple, RandomDrawsEachByteUpToItself) {
	for (int i = 0; i < 200; i++) {
		Cell t = tup({0, 1, 255, 7});
		tuple::random(&t, false, i % 2 == 1, false);
		const uint8_t* b = tuple::bytes_of(&t);
		EXPECT_EQ(b[0], 0);
		EXPECT_LE(b[1], 1);
		EXPECT_LE(b[3], 7);
		EXPECT_EQ(tuple::length_q(&t), 4);
	}
	Cell s = tup({1, 2, 3}), r1 = tup({200, 200, 200}), r2 = r1;
	EXPECT_TRUE(cell::is(tuple::random(&s, true, false, false), T_UNSET));
	tuple::random(&r1, false, false, false);
	s = tup({1, 2, 3});
	tuple::random(&s, true, false, false);
	tuple::random(&r2, false, false, false);
	EXPECT_EQ(text(r1), text(r2));
}

TEST_F(Tuple, PathSetsTellTheOwnerObject) {
	std::vector<std::string>& heard = test::record_changes();
	Cell owner, field = test::word_of("color");
	cell::set(&owner, T_OBJECT, 0, 0, 1);
	Cell t = tup({1, 2, 3}), two = int_cell(2), nine = int_cell(9), none = test::none();
	tuple::eval_path(&t, &two, &nine, nullptr, &owner, &field, 1, false, false, true, true);
	tuple::eval_path(&t, &two, &none, nullptr, &owner, &field, 1, false, false, true, false);
	owner.data3 = 0;
	tuple::eval_path(&t, &two, &nine, nullptr, &owner, &field, 1, false, false, true, true);
	ASSERT_EQ(heard.size(), 1u) << "only with notification on and change handlers present";
	EXPECT_EQ(heard[0], "color 1.2.3 1.9.3");
}

}  // namespace
