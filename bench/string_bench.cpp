// Strings: appending single characters, finding a missing needle in a large
// text (with and without /case), molding large texts, and sorting short
// strings the way a block sort compares them.
// bench/string_peer.py runs the same workloads in CPython.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/case_folding.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

constexpr uint32_t APPENDS = 10'000'000;
constexpr uint32_t TEXT_BYTES = 10'000'000;
constexpr uint32_t SHORT_STRINGS = 1'000'000;

// A fresh heap for each run: nothing collects between iterations.
void fresh_heap() {
	static bool once = (unicode::init_case_tables(), true);
	(void)once;
	memory::free_all();
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
	string::init_type();
}

// The peer script's generator: lower-case words of 2-9 letters, one space apart.
std::string make_words(uint32_t bytes) {
	std::string text;
	text.reserve(bytes);
	uint32_t x = 2024;
	while (text.size() < bytes) {
		x = x * 1103515245u + 12345u;
		uint32_t len = 2 + (x >> 16) % 8;
		for (uint32_t i = 0; i < len; i++) {
			x = x * 1103515245u + 12345u;
			text += char('a' + (x >> 16) % 26);
		}
		text += ' ';
	}
	text.resize(bytes);
	return text;
}

void append_chars(benchmark::State& state) {
	for (auto _ : state) {
		state.PauseTiming();
		fresh_heap();
		Cell s, c;
		string::make_at(&s, 16);
		cell::set(&c, T_CHAR, 0, 'x');
		state.ResumeTiming();
		for (uint32_t i = 0; i < APPENDS; i++) string::insert(&s, &c, -1, false, 1, true);
		benchmark::DoNotOptimize(string::abs_length(&s));
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * APPENDS);
}
BENCHMARK(append_chars)->Unit(benchmark::kMillisecond);

void find_missing(benchmark::State& state) {
	bool case_sensitive = state.range(0);
	fresh_heap();
	std::string words = make_words(TEXT_BYTES);
	Cell hay, needle;
	string::load_at(&hay, words);
	string::load_at(&needle, "qzxwvjkqpx");
	for (auto _ : state) {
		Cell series = hay, value = needle;
		Cell* r = string::find(&series, &value, nullptr, false, case_sensitive, false, false, nullptr, nullptr, false,
			false, false, false);
		if (!cell::is(r, T_NONE)) state.SkipWithError("found");
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * TEXT_BYTES);
}
BENCHMARK(find_missing)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Plain text, or text with a line feed or tab every 16 characters.
void mold_large(benchmark::State& state) {
	bool escapes = state.range(0);
	std::string words = make_words(TEXT_BYTES);
	if (escapes)
		for (size_t i = 15; i < words.size(); i += 16) words[i] = (i / 16) % 2 ? '\n' : '\t';
	for (auto _ : state) {
		state.PauseTiming();
		fresh_heap();
		Cell text, out;
		string::load_at(&text, words);
		string::make_at(&out, 16);
		state.ResumeTiming();
		string::mold(&text, &out, false, false, false, nullptr, 0x7FFFFFFF, 0);
		benchmark::DoNotOptimize(string::abs_length(&out));
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * TEXT_BYTES);
}
BENCHMARK(mold_large)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// 1M strings of 2-9 letters, in cells, sorted as sort and sort/case sort a
// block of texts.
void sort_short_strings(benchmark::State& state) {
	CompareOp code = state.range(0) ? COMP_CASE_SORT : COMP_SORT;
	fresh_heap();
	std::string words = make_words(SHORT_STRINGS * 7);
	std::vector<Cell> input;
	input.reserve(SHORT_STRINGS);
	for (size_t at = 0; input.size() < SHORT_STRINGS;) {
		size_t end = words.find(' ', at);
		Cell c;
		string::load_at(&c, std::string_view(words).substr(at, end - at));
		input.push_back(c);
		at = end + 1;
	}
	for (auto _ : state) {
		state.PauseTiming();
		std::vector<Cell> cells = input;
		state.ResumeTiming();
		string::sort_text_cells(cells.data(), uint32_t(cells.size()), code, false);
		benchmark::DoNotOptimize(cells.data());
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * SHORT_STRINGS);
}
BENCHMARK(sort_short_strings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// sort on the characters of a 1M-character string.
void sort_characters(benchmark::State& state) {
	std::string words = make_words(SHORT_STRINGS);
	for (auto _ : state) {
		state.PauseTiming();
		fresh_heap();
		Cell s;
		string::load_at(&s, words);
		state.ResumeTiming();
		string::sort(&s, false, nullptr, nullptr, nullptr, false, false, false);
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * SHORT_STRINGS);
}
BENCHMARK(sort_characters)->Unit(benchmark::kMillisecond);

}  // namespace
