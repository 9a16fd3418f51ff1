// Element-wise vector arithmetic over 10 million 64-bit floats, through
// the vector! arithmetic (scalar in place, and vector by vector into a new
// vector) against the same work as a plain C++ loop.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/value_boot.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/vector.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

constexpr uint32_t COUNT = 10000000;

void boot() { bench::boot(vector::init_type); }

Cell filled(Type t, uint32_t width) {
	Cell v;
	vector::make_at(&v, COUNT, t, width);
	Series* s = memory::buffer_of(&v);
	for (uint32_t i = 0; i < COUNT; i++) {
		Cell e;
		if (t == T_FLOAT)
			cell::make_float(&e, 1.0 + i % 1000);
		else
			cell::make_integer(&e, int32_t(1 + i % 1000));
		vector::set_value(&e, s->head_ptr() + size_t(i) * width, width);
	}
	s->tail = s->head + COUNT * width;
	return v;
}

Cell run(Cell a, MathOp op, const Cell& b) {
	stack::arguments = stack::top;
	stack::push(&a);
	stack::push(&b);
	Cell r = *vector::do_math(op);
	stack::top = stack::arguments;
	return r;
}

void BM_ScalarMultiply(benchmark::State& state) {
	boot();
	Cell v = filled(T_FLOAT, 8), k;
	cell::make_float(&k, 1.0000001);
	for (auto _ : state) benchmark::DoNotOptimize(run(v, OP_MUL, k));
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}
BENCHMARK(BM_ScalarMultiply)->Unit(benchmark::kMillisecond);

void BM_ScalarMultiplyLoop(benchmark::State& state) {
	std::vector<double> v(COUNT);
	for (uint32_t i = 0; i < COUNT; i++) v[i] = 1.0 + i % 1000;
	double k = 1.0000001;
	for (auto _ : state) {
		for (double& d : v) d *= k;
		benchmark::DoNotOptimize(v.data());
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}
BENCHMARK(BM_ScalarMultiplyLoop)->Unit(benchmark::kMillisecond);

void BM_VectorAdd(benchmark::State& state) {
	boot();
	Cell a = filled(T_FLOAT, 8), b = filled(T_FLOAT, 8);
	for (auto _ : state) benchmark::DoNotOptimize(run(a, OP_ADD, b));
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}
BENCHMARK(BM_VectorAdd)->Unit(benchmark::kMillisecond);

void BM_VectorAddLoop(benchmark::State& state) {
	std::vector<double> a(COUNT), b(COUNT);
	for (uint32_t i = 0; i < COUNT; i++) a[i] = b[i] = 1.0 + i % 1000;
	for (auto _ : state) {
		std::vector<double> r(COUNT);
		for (uint32_t i = 0; i < COUNT; i++) r[i] = a[i] + b[i];
		benchmark::DoNotOptimize(r.data());
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}
BENCHMARK(BM_VectorAddLoop)->Unit(benchmark::kMillisecond);

void BM_IntegerScalarAdd(benchmark::State& state) {
	boot();
	Cell v = filled(T_INTEGER, 4), k;
	cell::make_integer(&k, 3);
	for (auto _ : state) benchmark::DoNotOptimize(run(v, OP_ADD, k));
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}
BENCHMARK(BM_IntegerScalarAdd)->Unit(benchmark::kMillisecond);

void BM_IntegerScalarAddLoop(benchmark::State& state) {
	std::vector<int32_t> v(COUNT);
	for (uint32_t i = 0; i < COUNT; i++) v[i] = int32_t(1 + i % 1000);
	for (auto _ : state) {
		for (int32_t& x : v) x = int32_t(uint32_t(x) + 3u);
		benchmark::DoNotOptimize(v.data());
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}
BENCHMARK(BM_IntegerScalarAddLoop)->Unit(benchmark::kMillisecond);

}  // namespace
