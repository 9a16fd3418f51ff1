// Money arithmetic: summing one million amounts (cents below $1,000,000)
// through the add worker, and forming amounts as text. The peer is CPython's
// decimal module summing the same amounts (bench/money_peer.py).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "bench/value_boot.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

constexpr int COUNT = 1000000;

void boot() { bench::boot(money::init_type); }

const std::vector<Cell>& amounts() {
	static const std::vector<Cell> values = [] {
		std::vector<Cell> v;
		std::mt19937 rng(7);
		for (int i = 0; i < COUNT; i++) {
			uint64_t cents = rng() % 100000000u;
			money::Amount a{money::Magnitude(cents) * 1000, (rng() & 3) == 0, 0};
			Cell c;
			money::make_at(&c, a);
			v.push_back(c);
		}
		return v;
	}();
	return values;
}

void BM_SumAmounts(benchmark::State& state) {
	boot();
	const std::vector<Cell>& values = amounts();
	for (auto _ : state) {
		stack::arguments = stack::top;
		Cell* sum = stack::alloc_slot();
		Cell* operand = stack::alloc_slot();
		money::make_at(sum, money::Amount{0, false, 0});
		for (const Cell& v : values) {
			*operand = v;
			money::do_math(OP_ADD);
		}
		benchmark::DoNotOptimize(*sum);
		stack::top = stack::arguments;
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}
BENCHMARK(BM_SumAmounts)->Unit(benchmark::kMillisecond);

void BM_FormAmounts(benchmark::State& state) {
	boot();
	const std::vector<Cell>& values = amounts();
	Cell buffer;
	string::make_at(&buffer, 64);
	for (auto _ : state) {
		for (const Cell& v : values) {
			string::reset(&buffer);
			money::form(&v, &buffer, nullptr, 0x7FFFFFFF);
		}
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}
BENCHMARK(BM_FormAmounts)->Unit(benchmark::kMillisecond);

}  // namespace
