// Sorting 1M records: the runtime's two entries against std::sort and
// std::stable_sort. The std algorithms run twice: through the same
// out-of-line comparator the runtime calls (same cost per comparison), and
// with an inlined comparison (the best a C++ caller gets).
// Records: 4-byte integers, and 16-byte cells keyed by their second word.
#include "runtime/sorting.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "runtime/cell.h"

using namespace vyn;

namespace {

constexpr int32_t N = 1000000;

enum Pattern { RANDOM, SORTED, REVERSED, NEARLY, FEW_KEYS };

std::vector<int32_t> keys(Pattern p) {
	std::mt19937 rng(42);
	std::vector<int32_t> k(N);
	for (int32_t i = 0; i < N; i++) {
		switch (p) {
		case RANDOM: k[i] = int32_t(rng()); break;
		case SORTED: k[i] = i; break;
		case REVERSED: k[i] = N - i; break;
		case NEARLY: k[i] = rng() % 100 ? i : int32_t(rng() % N); break;  // 1% out of place
		case FEW_KEYS: k[i] = int32_t(rng() % 16); break;
		}
	}
	return k;
}

uint64_t comparisons;

[[gnu::noinline]] int32_t compare_ints(const void* a, const void* b, uint32_t, uint32_t) {
	comparisons++;
	int32_t x, y;
	std::memcpy(&x, a, 4);
	std::memcpy(&y, b, 4);
	return x < y ? -1 : x > y ? 1 : 0;
}

[[gnu::noinline]] int32_t compare_cells(const void* a, const void* b, uint32_t, uint32_t) {
	comparisons++;
	int32_t x = cell::get_integer(static_cast<const Cell*>(a));
	int32_t y = cell::get_integer(static_cast<const Cell*>(b));
	return x < y ? -1 : x > y ? 1 : 0;
}

template <class T>
std::vector<T> records(Pattern p);
template <>
std::vector<int32_t> records<int32_t>(Pattern p) {
	return keys(p);
}
template <>
std::vector<Cell> records<Cell>(Pattern p) {
	auto k = keys(p);
	std::vector<Cell> cells(N);
	for (int32_t i = 0; i < N; i++) cell::make_integer(&cells[i], k[i]);
	return cells;
}

template <class T>
sorting::Comparator comparator() {
	if constexpr (sizeof(T) == 4)
		return compare_ints;
	else
		return compare_cells;
}

template <class T>
bool inline_less(const T& a, const T& b) {
	if constexpr (sizeof(T) == 4)
		return a < b;
	else
		return cell::get_integer(&a) < cell::get_integer(&b);
}

enum Algo { QUICK, MERGE, STD_SORT, STD_STABLE, STD_SORT_INLINE, STD_STABLE_INLINE };

template <class T>
void run(benchmark::State& state, Algo algo, Pattern p) {
	const auto input = records<T>(p);
	std::vector<T> v;
	sorting::Comparator cmp = comparator<T>();
	auto through = [cmp](const T& a, const T& b) { return cmp(&a, &b, 0, 0) < 0; };
	uint64_t total = 0;
	for (auto _ : state) {
		state.PauseTiming();
		v = input;
		comparisons = 0;
		state.ResumeTiming();
		switch (algo) {
		case QUICK: sorting::quick_sort(v.data(), N, int32_t(sizeof(T)), 0, 0, cmp); break;
		case MERGE: sorting::merge_sort(v.data(), N, int32_t(sizeof(T)), 0, 0, cmp); break;
		case STD_SORT: std::sort(v.begin(), v.end(), through); break;
		case STD_STABLE: std::stable_sort(v.begin(), v.end(), through); break;
		case STD_SORT_INLINE: std::sort(v.begin(), v.end(), inline_less<T>); break;
		case STD_STABLE_INLINE: std::stable_sort(v.begin(), v.end(), inline_less<T>); break;
		}
		benchmark::DoNotOptimize(v.data());
		total += comparisons;
	}
	state.counters["cmp/rec"] = double(total) / double(state.iterations()) / N;
	if (!std::is_sorted(v.begin(), v.end(), inline_less<T>)) state.SkipWithError("not sorted");
}

void register_all() {
	const struct {
		const char* name;
		Algo algo;
	} algos[] = {
		{"quick_sort", QUICK},
		{"merge_sort", MERGE},
		{"std::sort", STD_SORT},
		{"std::stable_sort", STD_STABLE},
		{"std::sort/inline", STD_SORT_INLINE},
		{"std::stable_sort/inline", STD_STABLE_INLINE},
	};
	const struct {
		const char* name;
		Pattern p;
	} patterns[] = {
		{"random", RANDOM}, {"sorted", SORTED}, {"reversed", REVERSED}, {"nearly", NEARLY}, {"few-keys", FEW_KEYS},
	};
	for (auto& pt : patterns)
		for (auto& a : algos) {
			std::string base = std::string(a.name) + "/" + pt.name;
			benchmark::RegisterBenchmark((base + "/int32").c_str(), [a, pt](benchmark::State& s) { run<int32_t>(s, a.algo, pt.p); })
				->Unit(benchmark::kMillisecond);
			benchmark::RegisterBenchmark((base + "/cell").c_str(), [a, pt](benchmark::State& s) { run<Cell>(s, a.algo, pt.p); })
				->Unit(benchmark::kMillisecond);
		}
}

const int registered = (register_all(), 0);

}  // namespace
