// Blocks of integer! cells through the block actions: append (1M and 10M),
// insert at the head of a 1M-cell block, find of the last cell, shallow copy
// of 1M cells, 1M deep copies of a small nested block, and sort of 1M
// integers (random, presorted, reversed; unstable and stable).
// Peers: bench/block_peer.py (CPython lists) and bench/block_peer.lua (Lua
// tables) time the same operations.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

constexpr int32_t MILLION = 1000000;

void fresh_runtime() {
	memory::free_all();
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
	cycles::reset();
	series::init_type();
	block::init_type();
	integer::init_type();
}

Cell integer_cell(int32_t v) {
	Cell c;
	cell::make_integer(&c, v);
	return c;
}

// A block of the given integers.
Cell block_of(const std::vector<int32_t>& values) {
	Cell b;
	block::make_at(&b, int32_t(values.size()));
	Series* s = block::buffer(&b);
	Cell* c = s->head_cell();
	for (int32_t v : values) cell::make_integer(c++, v);
	s->tail = s->head + uint32_t(values.size() * sizeof(Cell));
	return b;
}

std::vector<int32_t> numbers(int32_t n, int pattern) {
	std::mt19937 rng(42);
	std::vector<int32_t> v(static_cast<size_t>(n));
	for (int32_t i = 0; i < n; i++) v[size_t(i)] = pattern == 0 ? int32_t(rng() >> 1) : pattern == 1 ? i : n - i;
	return v;
}

// Every iteration runs on a fresh heap: nothing collects between them.
void BM_Append(benchmark::State& state) {
	int32_t n = int32_t(state.range(0));
	for (auto _ : state) {
		state.PauseTiming();
		fresh_runtime();
		Cell b;
		block::make_at(&b, 1);
		state.ResumeTiming();
		for (int32_t i = 0; i < n; i++) {
			Cell v = integer_cell(i);
			block::insert(&b, &v, -1, false, 1, true);
		}
		benchmark::DoNotOptimize(block::buffer(&b)->tail);
	}
	state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Append)->Arg(MILLION)->Arg(10 * MILLION)->Unit(benchmark::kMillisecond);

void BM_InsertAtHead(benchmark::State& state) {
	fresh_runtime();
	Cell b = block_of(numbers(MILLION, 1));
	Cell v = integer_cell(7);
	int64_t done = 0;
	for (auto _ : state) {
		block::insert(&b, &v, -1, false, 1, false);
		b.data1 = 0;
		if (++done % 1000 == 0) {
			state.PauseTiming();
			block::buffer(&b)->tail -= 1000 * sizeof(Cell);
			state.ResumeTiming();
		}
	}
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InsertAtHead)->Unit(benchmark::kMicrosecond);

void BM_FindLast(benchmark::State& state) {
	fresh_runtime();
	Cell b = block_of(numbers(MILLION, 1));
	Cell key = integer_cell(MILLION - 1);
	for (auto _ : state) {
		Cell at = b;
		block::find(&at, &key, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false);
		benchmark::DoNotOptimize(at.data1);
	}
	state.SetItemsProcessed(state.iterations() * MILLION);
}
BENCHMARK(BM_FindLast)->Unit(benchmark::kMillisecond);

void BM_Copy(benchmark::State& state) {
	fresh_runtime();
	Cell b = block_of(numbers(MILLION, 1));
	int64_t done = 0;
	for (auto _ : state) {
		Cell out;
		block::copy(&b, &out, nullptr, false, nullptr);
		benchmark::DoNotOptimize(out.data2);
		if (++done % 50 == 0) {
			state.PauseTiming();
			fresh_runtime();
			b = block_of(numbers(MILLION, 1));
			state.ResumeTiming();
		}
	}
	state.SetItemsProcessed(state.iterations() * MILLION);
}
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);

// [1 [2 3] [4 [5 6]] 7]
Cell small_nested() {
	Cell outer = block_of({1});
	Cell a = block_of({2, 3});
	Cell b = block_of({4});
	Cell c = block_of({5, 6});
	block::append_value(&b, &c);
	block::append_value(&outer, &a);
	block::append_value(&outer, &b);
	Cell seven = integer_cell(7);
	block::append_value(&outer, &seven);
	return outer;
}

void BM_DeepCopySmall(benchmark::State& state) {
	for (auto _ : state) {
		state.PauseTiming();
		fresh_runtime();
		Cell src = small_nested();
		state.ResumeTiming();
		for (int32_t i = 0; i < MILLION; i++) {
			Cell out;
			block::copy(&src, &out, nullptr, true, nullptr);
			benchmark::DoNotOptimize(out.data2);
		}
	}
	state.SetItemsProcessed(state.iterations() * MILLION);
}
BENCHMARK(BM_DeepCopySmall)->Unit(benchmark::kMillisecond);

void BM_Sort(benchmark::State& state) {
	int pattern = int(state.range(0));
	bool stable = state.range(1) != 0;
	std::vector<int32_t> input = numbers(MILLION, pattern);
	for (auto _ : state) {
		state.PauseTiming();
		fresh_runtime();
		Cell b = block_of(input);
		state.ResumeTiming();
		block::sort(&b, false, nullptr, nullptr, nullptr, false, false, stable);
	}
	state.SetItemsProcessed(state.iterations() * MILLION);
	state.SetLabel(std::string(pattern == 0 ? "random" : pattern == 1 ? "sorted" : "reversed") +
		(stable ? " stable" : ""));
}
BENCHMARK(BM_Sort)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
