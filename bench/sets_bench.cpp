// `unique` of 1M words (100,000 distinct) through the evaluator, and `sort`
// of the same block. Peers: bench/sets_peer.py (CPython set, dict.fromkeys)
// and bench/sets_peer.lua (a Lua table as a set).
#include <benchmark/benchmark.h>

#include "bench/script_boot.h"

using namespace vyn;

namespace {

void boot_once() {
	bench::boot_script("words: make block! 1000000 "
		"repeat i 1000000 [append words to word! append copy \"w\" remainder i 100000]");
}

void BM_UniqueWords(benchmark::State& state) {
	boot_once();
	for (auto _ : state) bench::run("u: unique words");
	state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_UniqueWords)->Unit(benchmark::kMillisecond);

void BM_SortWords(benchmark::State& state) {
	boot_once();
	for (auto _ : state) bench::run("s: sort copy words");
	state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_SortWords)->Unit(benchmark::kMillisecond);

}  // namespace
