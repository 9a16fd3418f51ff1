// Date arithmetic and text: adding times and days to a million dates with
// zones through the add worker, subtracting dates, molding dates with time
// and zone, and scanning date literals back.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "bench/value_boot.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/time.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"

using namespace vyn;

namespace {

constexpr int COUNT = 1000000;

void boot() { bench::boot(date::init_type, time::init_type); }

// Dates from 1900 to 2100 with times and zones.
const std::vector<Cell>& dates() {
	static const std::vector<Cell> values = [] {
		std::vector<Cell> v;
		std::mt19937 rng(3);
		int64_t first = date::day_number(1900, 1, 1), span = date::day_number(2100, 1, 1) - first;
		for (int i = 0; i < COUNT; i++) {
			int32_t q = int32_t(rng() % 97) - 48;
			Cell c;
			date::rebuild(&c, first + int64_t(rng() % uint32_t(span)), double(rng() % 86400) - q * 900.0,
				date::TIME_FLAG | date::zone_code(q));
			v.push_back(c);
		}
		return v;
	}();
	return values;
}

// Runs the worker on (date, operand) for every date.
template <MathOp Op>
void run_math(benchmark::State& state, const Cell& operand) {
	boot();
	const std::vector<Cell>& values = dates();
	for (auto _ : state) {
		stack::arguments = stack::top;
		Cell* left = stack::alloc_slot();
		Cell* right = stack::alloc_slot();
		for (const Cell& v : values) {
			*left = v;
			*right = operand;
			benchmark::DoNotOptimize(date::do_math(Op));
		}
		stack::top = stack::arguments;
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}

void BM_AddTime(benchmark::State& state) {
	Cell t;
	time::make_at(&t, 7 * 3600 + 1800);
	run_math<OP_ADD>(state, t);
}
BENCHMARK(BM_AddTime)->Unit(benchmark::kMillisecond);

void BM_AddDays(benchmark::State& state) {
	Cell n;
	cell::make_integer(&n, 45);
	run_math<OP_ADD>(state, n);
}
BENCHMARK(BM_AddDays)->Unit(benchmark::kMillisecond);

void BM_SubtractDates(benchmark::State& state) {
	Cell d;
	date::make_at(&d, 2000, 1, 1, 3600, 4, true);
	run_math<OP_SUB>(state, d);
}
BENCHMARK(BM_SubtractDates)->Unit(benchmark::kMillisecond);

void BM_MoldDates(benchmark::State& state) {
	boot();
	const std::vector<Cell>& values = dates();
	Cell buffer;
	string::make_at(&buffer, 64);
	for (auto _ : state) {
		for (const Cell& v : values) {
			string::truncate(&buffer, 0);
			actions::mold(&v, &buffer, false, false, false, nullptr, 0x7FFFFFFF, 0);
		}
		benchmark::DoNotOptimize(buffer);
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * COUNT);
}
BENCHMARK(BM_MoldDates)->Unit(benchmark::kMillisecond);

void BM_ScanLiterals(benchmark::State& state) {
	boot();
	static const char* const texts[] = {"5-Jan-2024", "5-Jan-2024/10:30:00+02:00", "2024-01-05T10:30:00Z",
		"1/December/1999/23:59:59.5-05:30", "2024-W01-3", "20240105T103000+0200"};
	int64_t n = 0;
	for (auto _ : state) {
		for (const char* t : texts) {
			Cell out;
			const uint8_t* p = reinterpret_cast<const uint8_t*>(t);
			benchmark::DoNotOptimize(date::scan(p, p + std::char_traits<char>::length(t), &out));
			benchmark::DoNotOptimize(out);
			n++;
		}
	}
	state.SetItemsProcessed(n);
}
BENCHMARK(BM_ScanLiterals);

}  // namespace
