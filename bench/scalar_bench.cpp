// Integer and float arithmetic, comparison and text through the action rows
// (the stack forms the interpreter calls), against the bare C++ operation.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/unset.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

void fresh_runtime() {
	memory::free_all();
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
	datatype::init_type();
	unset::init_type();
	none::init_type();
	logic::init_type();
	integer::init_type();
	char_::init_type();
	float_::init_type();
	percent::init_type();
	time::init_type();
	actions::init();
}

const int32_t no_refinements[8] = {-1, -1, -1, -1, -1, -1, -1, -1};

// One action call as the interpreter makes it: a frame holding the two
// arguments, the stack form of the slot, the result read back.
template <Slot S>
void binary_action(benchmark::State& state, Cell a, Cell b) {
	fresh_runtime();
	Cell* base = stack::top;
	stack::arguments = base;
	for (auto _ : state) {
		base[0] = a;
		base[1] = b;
		stack::top = base + 2;
		actions::stack_forms[S - 1](no_refinements);
		benchmark::DoNotOptimize(base[0]);
		a = base[0];
		if (cell::is(&a, T_FLOAT) && cell::is(&b, T_INTEGER)) cell::make_integer(&a, 1);
	}
	state.SetItemsProcessed(state.iterations());
}

Cell integer_cell(int32_t v) {
	Cell c;
	cell::make_integer(&c, v);
	return c;
}

Cell float_cell(double d) {
	Cell c;
	cell::make_float(&c, d);
	return c;
}

void BM_IntegerAdd(benchmark::State& state) { binary_action<A_ADD>(state, integer_cell(1), integer_cell(3)); }
void BM_IntegerMultiply(benchmark::State& state) { binary_action<A_MULTIPLY>(state, integer_cell(1), integer_cell(1)); }
// Every step overflows into a float! (then restarts from an integer).
void BM_IntegerAddOverflow(benchmark::State& state) {
	binary_action<A_ADD>(state, integer_cell(2147483647), integer_cell(2147483647));
}
void BM_IntegerDivideInexact(benchmark::State& state) { binary_action<A_DIVIDE>(state, integer_cell(7), integer_cell(2)); }
void BM_FloatAdd(benchmark::State& state) { binary_action<A_ADD>(state, float_cell(1.5), float_cell(0.25)); }
void BM_FloatMultiply(benchmark::State& state) { binary_action<A_MULTIPLY>(state, float_cell(1.0), float_cell(1.0000001)); }
void BM_MixedAdd(benchmark::State& state) { binary_action<A_ADD>(state, float_cell(1.5), integer_cell(2)); }

// The same operations on plain machine numbers, with the overflow check.
void BM_NativeIntegerAdd(benchmark::State& state) {
	int32_t a = 1, b = 3;
	for (auto _ : state) {
		int32_t r;
		if (__builtin_add_overflow(a, b, &r)) r = 0;
		benchmark::DoNotOptimize(r);
		a = r;
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(state.iterations());
}

void BM_NativeFloatAdd(benchmark::State& state) {
	double a = 1.5, b = 0.25;
	for (auto _ : state) {
		a += b;
		benchmark::DoNotOptimize(a);
	}
	state.SetItemsProcessed(state.iterations());
}

void BM_FloatEqual(benchmark::State& state) {
	fresh_runtime();
	Cell a = float_cell(0.1 + 0.2), b = float_cell(0.3);
	for (auto _ : state) benchmark::DoNotOptimize(actions::compare(&a, &b, COMP_EQUAL));
	state.SetItemsProcessed(state.iterations());
}

void BM_IntegerLesser(benchmark::State& state) {
	fresh_runtime();
	Cell a = integer_cell(1), b = float_cell(2.5);
	for (auto _ : state) benchmark::DoNotOptimize(actions::compare(&a, &b, COMP_LESSER));
	state.SetItemsProcessed(state.iterations());
}

// Text into a reused string buffer.
template <bool Mold>
void float_text(benchmark::State& state) {
	fresh_runtime();
	Cell buffer;
	string::make_at(&buffer, 64);
	Cell value = float_cell(0.1);
	uint64_t step = 0;
	for (auto _ : state) {
		cell::put_double(&value, 1.0 / double(++step | 1));
		string::truncate(&buffer, 0);
		if (Mold)
			actions::mold(&value, &buffer, false, false, false, nullptr, 0x7FFFFFFF, 0);
		else
			actions::form(&value, &buffer, nullptr, 0x7FFFFFFF);
	}
	state.SetItemsProcessed(state.iterations());
}
void BM_FloatForm(benchmark::State& state) { float_text<false>(state); }
void BM_FloatMold(benchmark::State& state) { float_text<true>(state); }

void BM_IntegerForm(benchmark::State& state) {
	fresh_runtime();
	Cell buffer;
	string::make_at(&buffer, 64);
	Cell value = integer_cell(0);
	int32_t step = 0;
	for (auto _ : state) {
		value.data2 = uint32_t(++step * 7919);
		string::truncate(&buffer, 0);
		actions::form(&value, &buffer, nullptr, 0x7FFFFFFF);
	}
	state.SetItemsProcessed(state.iterations());
}

void BM_TimeForm(benchmark::State& state) {
	fresh_runtime();
	Cell buffer;
	string::make_at(&buffer, 64);
	Cell value;
	time::make_at(&value, 0);
	double t = 0;
	for (auto _ : state) {
		cell::put_double(&value, t += 3723.25);
		string::truncate(&buffer, 0);
		actions::form(&value, &buffer, nullptr, 0x7FFFFFFF);
	}
	state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_IntegerAdd);
BENCHMARK(BM_NativeIntegerAdd);
BENCHMARK(BM_IntegerMultiply);
BENCHMARK(BM_IntegerAddOverflow);
BENCHMARK(BM_IntegerDivideInexact);
BENCHMARK(BM_FloatAdd);
BENCHMARK(BM_NativeFloatAdd);
BENCHMARK(BM_FloatMultiply);
BENCHMARK(BM_MixedAdd);
BENCHMARK(BM_FloatEqual);
BENCHMARK(BM_IntegerLesser);
BENCHMARK(BM_IntegerForm);
BENCHMARK(BM_FloatForm);
BENCHMARK(BM_FloatMold);
BENCHMARK(BM_TimeForm);
