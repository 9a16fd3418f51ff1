#include "runtime/datatypes/bitset.h"

#include "tests/unit/scalar_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Bitset : public ScalarTest {
protected:
	void SetUp() override {
		ScalarTest::SetUp();
		bitset::init_type();
	}
};

// A bitset holding `members`; `negated` complements it (bytes and flag).
Cell set_of(std::initializer_list<int32_t> members, bool negated = false) {
	Cell b;
	bitset::make_at(&b, 1, false);
	for (int32_t n : members) {
		Cell m = I(n);
		bitset::process(&m, &b, bitset::Op::set, bitset::Caller::action);
	}
	if (negated) b = call(A_COMPLEMENT, {b});
	return b;
}

bool member(const Cell& b, uint32_t n) { return bitset::has(&b, n); }

TEST_F(Bitset, SetOperationsHoldTheExactSetWhateverTheFlags) {
	// Operands of different sizes, plain and complemented: the members past
	// the shorter one's bytes are its fill, so every result must agree with
	// the operation applied member by member, far past both sizes.
	std::vector<Cell> operands = {
		set_of({}), set_of({1, 2, 3}), set_of({0, 7, 8, 100}), set_of({5}, true), set_of({9, 200}, true),
	};
	struct Op {
		int32_t code;
		bool (*apply)(bool, bool);
	} ops[] = {
		{5, [](bool a, bool b) { return a || b; }},  {6, [](bool a, bool b) { return a && b; }},
		{7, [](bool a, bool b) { return a != b; }},  {9, [](bool a, bool b) { return a || b; }},
		{10, [](bool a, bool b) { return a && b; }}, {11, [](bool a, bool b) { return a && !b; }},
		{12, [](bool a, bool b) { return a != b; }},
	};
	for (const Op& op : ops) {
		for (size_t i = 0; i < operands.size(); i++) {
			for (size_t j = 0; j < operands.size(); j++) {
				Cell* frame = stack::top;
				stack::arguments = frame;
				stack::push(&operands[i]);
				stack::push(&operands[j]);
				Cell r = *bitset::do_bitwise(op.code);
				stack::top = frame;
				for (uint32_t n = 0; n < 400; n++) {
					ASSERT_EQ(member(r, n), op.apply(member(operands[i], n), member(operands[j], n)))
						<< "code " << op.code << " operands " << i << "," << j << " member " << n;
				}
			}
		}
	}
}

TEST_F(Bitset, UniqueAnswersTheFirstAndOthersRefuseNonBitsets) {
	Cell a = set_of({1});
	stack::arguments = stack::top;
	stack::push(&a);
	Cell i = I(3);
	stack::push(&i);
	EXPECT_EQ(bitset::do_bitwise(8)->data2, a.data2);
	Raised r = raised([] { bitset::do_bitwise(9); });
	EXPECT_EQ(r.code, code(errors::id::script_invalid_type));
	EXPECT_TRUE(same_cell(r.args[0], D(T_INTEGER)));
}

TEST_F(Bitset, SettingAndClearingPastTheSize) {
	struct Case {
		bool negated;
		bitset::Op op;
		int32_t member;
		uint32_t bytes;  // size after
		bool in;         // membership after
	} cases[] = {
		{false, bitset::Op::set, 100, 13, true},    // grows, zero filled
		{false, bitset::Op::clear, 100, 1, false},  // already absent: no growth
		{true, bitset::Op::set, 100, 1, true},      // already present: no growth
		{true, bitset::Op::clear, 100, 13, false},  // grows, 0xFF filled
	};
	for (const Case& c : cases) {
		Cell b;
		bitset::make_at(&b, 1, c.negated);
		Cell m = I(c.member);
		bitset::process(&m, &b, c.op, bitset::Caller::action);
		EXPECT_EQ(bitset::byte_count(&b), c.bytes);
		EXPECT_EQ(member(b, uint32_t(c.member)), c.in);
		// Members the change did not name keep their state, old bytes and new.
		for (uint32_t n : {0u, 50u, 99u, 101u, 5000u}) EXPECT_EQ(member(b, n), c.negated) << n;
	}
}

TEST_F(Bitset, ProcessMeasuresAndTests) {
	Cell b = set_of({65, 66});
	Cell text = S("AB"), partly = S("ABC"), wide = S("\xE2\x82\xAC");  // U+20AC
	EXPECT_EQ(bitset::process(&wide, nullptr, bitset::Op::measure, bitset::Caller::make), 0x20AC);
	EXPECT_EQ(bitset::process(&text, &b, bitset::Op::test, bitset::Caller::action), 1);
	EXPECT_EQ(bitset::process(&partly, &b, bitset::Op::test, bitset::Caller::action), 0);
	Cell negative = I(-1), huge = F(1e12);
	EXPECT_EQ(bitset::process(&negative, &b, bitset::Op::test, bitset::Caller::action), 0);
	EXPECT_EQ(bitset::process(&huge, &b, bitset::Op::test, bitset::Caller::action), 0);
	Cell all = set_of({}, true);
	EXPECT_EQ(bitset::process(&huge, &all, bitset::Op::test, bitset::Caller::action), 1);
	EXPECT_EQ(raised([&] { bitset::process(&negative, &b, bitset::Op::set, bitset::Caller::action); }).code,
		code(errors::id::script_out_of_range));
	EXPECT_EQ(raised([&] { bitset::process(&huge, &b, bitset::Op::set, bitset::Caller::action); }).code,
		code(errors::id::script_out_of_range));
}

TEST_F(Bitset, MakeFromSizesAndBinaries) {
	struct Case {
		Cell spec;
		const char* mold;
	} cases[] = {
		{I(0), "make bitset! #{}"},
		{I(1), "make bitset! #{00}"},
		{I(8), "make bitset! #{00}"},
		{I(9), "make bitset! #{0000}"},
		{F(15.9), "make bitset! #{0000}"},
		{BIN({0x80, 0x01}), "make bitset! #{8001}"},
		{S("A"), "make bitset! #{000000000000000040}"},
	};
	for (const Case& c : cases) EXPECT_EQ(mold(make(T_BITSET, c.spec)), c.mold);
	struct Refused {
		Slot slot;
		Cell spec;
		errors::Id id;
	} refused[] = {
		{A_MAKE, I(-1), errors::id::script_out_of_range},
		{A_MAKE, F(1e300), errors::id::script_out_of_range},
		{A_TO, I(8), errors::id::script_bad_to_arg},
		{A_MAKE, NONE(), errors::id::script_bad_make_arg},
		{A_MAKE, BLOCK({NONE()}), errors::id::script_bad_make_arg},
		{A_TO, BLOCK({L(true)}), errors::id::script_bad_to_arg},
		{A_MAKE, BLOCK({BIN({1})}), errors::id::internal_not_done},
	};
	for (const Refused& r : refused)
		EXPECT_EQ(raised([&] { call(r.slot, {D(T_BITSET), r.spec}); }).code, code(r.id)) << mold(r.spec);
}

TEST_F(Bitset, CompareOrdersBySizeThenFlagThenLastByte) {
	struct Case {
		Cell a, b;
		int32_t order;
	} cases[] = {
		{set_of({}), set_of({}), 0},
		{set_of({1}), set_of({100}), -1},         // fewer bytes
		{set_of({1}), set_of({1}, true), -1},     // the complemented one is greater
		{set_of({0, 9}), set_of({1, 8}), -1},     // #{8040} vs #{4080}: the last byte decides
		{set_of({7, 8}), set_of({0, 8}), -1},     // last bytes equal; 0x01 < 0x80, unsigned
		{set_of({0}), set_of({1}), 1},
	};
	for (const Case& c : cases)
		EXPECT_EQ(actions::compare_raw(&c.a, &c.b, COMP_LESSER), c.order) << mold(c.a) << " vs " << mold(c.b);
	Cell a = set_of({1});
	EXPECT_EQ(actions::compare_raw(&a, &a, COMP_SAME), 0);
	Cell copy = call(A_COPY, {a});
	EXPECT_EQ(actions::compare_raw(&a, &copy, COMP_SAME), 1);
	EXPECT_EQ(actions::compare_raw(&a, &copy, COMP_EQUAL), 0);
}

TEST_F(Bitset, ComplementKeepsTheExcludedMembersVisible) {
	Cell b = set_of({65}, true);
	EXPECT_TRUE(bitset::complemented(&b));
	EXPECT_FALSE(member(b, 65));
	EXPECT_TRUE(member(b, 64));
	EXPECT_TRUE(member(b, 1000000));
	EXPECT_EQ(mold(b), "make bitset! [not #{000000000000000040}]");
	Cell back = call(A_NEGATE, {b});
	EXPECT_FALSE(bitset::complemented(&back));
	EXPECT_EQ(mold(back), "make bitset! #{000000000000000040}");
	Cell cut = call(A_MOLD, {b, I(20)}, {-1, -1, -1, 1});
	EXPECT_EQ(narrow(units_text(&cut)).substr(0, 20), "make bitset! [not #{");
}

}  // namespace
