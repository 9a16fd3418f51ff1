// The parse engine alone (no actions) over 2.4 MB of one-byte text and a
// block of 600,000 values: searches with thru, bitset runs, a case-insensitive
// string search, rule dispatch on block input and collecting. The whole
// dialect against CPython re and Lua LPeg, actions included, is timed by
// bench/parse_compare.py.
#include <benchmark/benchmark.h>

#include <string_view>

#include "bench/script_boot.h"

using namespace vyn;

namespace {

void time_source(benchmark::State& state, std::string_view source) {
	bench::boot_script("t: make string! 2400000 "
		"loop 100000 [append t \"lorem ipsum, Dolor sit.^/\"] "
		"letters: make bitset! [#\"a\" - #\"z\" #\"A\" - #\"Z\"] "
		"b: make block! 600000 loop 200000 [append b [1 word \"text\"]]");
	for (auto _ : state) bench::run(source);
}

void BM_ThruSpace(benchmark::State& state) { time_source(state, "parse t [any [thru \" \"] to end]"); }
BENCHMARK(BM_ThruSpace)->Unit(benchmark::kMillisecond);

void BM_BitsetRuns(benchmark::State& state) { time_source(state, "parse t [any [some letters | skip]]"); }
BENCHMARK(BM_BitsetRuns)->Unit(benchmark::kMillisecond);

void BM_ThruStringAnyCase(benchmark::State& state) { time_source(state, "parse t [any [thru \"dolor\"] to end]"); }
BENCHMARK(BM_ThruStringAnyCase)->Unit(benchmark::kMillisecond);

void BM_BlockDispatch(benchmark::State& state) { time_source(state, "parse b [any [integer! | word! | string!]]"); }
BENCHMARK(BM_BlockDispatch)->Unit(benchmark::kMillisecond);

void BM_CollectRuns(benchmark::State& state) {
	time_source(state, "parse t [collect [any [keep some letters | skip]]]");
}
BENCHMARK(BM_CollectRuns)->Unit(benchmark::kMillisecond);

}  // namespace
