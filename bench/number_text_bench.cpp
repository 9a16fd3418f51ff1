// Number text against the standard library's conversions, over one million
// doubles: random bit patterns (every exponent, 15-17 digit texts) and short
// literals of the kind found in source text ("12.375", "0.5").
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/number_text.h"

using namespace vyn;

namespace {

constexpr int COUNT = 1000000;

const std::vector<double>& random_doubles() {
	static const std::vector<double> values = [] {
		std::vector<double> v;
		std::mt19937_64 rng(1);
		while (v.size() < COUNT) {
			uint64_t b = rng();
			double d;
			std::memcpy(&d, &b, sizeof d);
			if (std::isfinite(d)) v.push_back(d);
		}
		return v;
	}();
	return values;
}

const std::vector<double>& short_doubles() {
	static const std::vector<double> values = [] {
		std::vector<double> v;
		std::mt19937_64 rng(2);
		for (int i = 0; i < COUNT; i++) v.push_back(double(rng() % 100000) / 1000.0);
		return v;
	}();
	return values;
}

// Texts side by side in one buffer, as a lexer meets them in source.
struct Texts {
	std::string chars;
	std::vector<std::string_view> items;
};

Texts molds_of(const std::vector<double>& values) {
	Texts t;
	std::vector<size_t> ends;
	char buf[numconv::TEXT_CAPACITY];
	for (double d : values) {
		t.chars.append(buf, numconv::form_float(buf, d, 0, true));
		t.chars += ' ';
		ends.push_back(t.chars.size() - 1);
	}
	size_t start = 0;
	for (size_t end : ends) {
		t.items.emplace_back(t.chars.data() + start, end - start);
		start = end + 1;
	}
	return t;
}

const Texts& random_texts() {
	static const Texts texts = molds_of(random_doubles());
	return texts;
}

const Texts& short_texts() {
	static const Texts texts = molds_of(short_doubles());
	return texts;
}

template <class Format>
void format_all(benchmark::State& state, const std::vector<double>& values, Format format) {
	char buf[64];
	for (auto _ : state) {
		for (double d : values) {
			char* end = format(buf, d);
			benchmark::DoNotOptimize(end);
		}
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(values.size()));
}

template <class Parse>
void parse_all(benchmark::State& state, const Texts& texts, Parse parse) {
	for (auto _ : state) {
		for (std::string_view t : texts.items) benchmark::DoNotOptimize(parse(t));
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(texts.items.size()));
}

char* mold(char* out, double d) { return numconv::form_float(out, d, 0, true); }
char* to_chars_shortest(char* out, double d) { return std::to_chars(out, out + 64, d).ptr; }
char* general16(char* out, double d) { return numconv::form_general(out, d, 16); }
char* to_chars_general16(char* out, double d) {
	return std::to_chars(out, out + 64, d, std::chars_format::general, 16).ptr;
}

double read(std::string_view t) {
	size_t rest;
	return numconv::decimal_to_float(t, 0, rest);
}

double from_chars(std::string_view t) {
	double d = 0;
	std::from_chars(t.data(), t.data() + t.size(), d);
	return d;
}

void BM_MoldRandom(benchmark::State& s) { format_all(s, random_doubles(), mold); }
void BM_ToCharsRandom(benchmark::State& s) { format_all(s, random_doubles(), to_chars_shortest); }
void BM_MoldShort(benchmark::State& s) { format_all(s, short_doubles(), mold); }
void BM_ToCharsShort(benchmark::State& s) { format_all(s, short_doubles(), to_chars_shortest); }
void BM_General16Random(benchmark::State& s) { format_all(s, random_doubles(), general16); }
void BM_ToCharsGeneral16Random(benchmark::State& s) { format_all(s, random_doubles(), to_chars_general16); }
void BM_ReadRandom(benchmark::State& s) { parse_all(s, random_texts(), read); }
void BM_FromCharsRandom(benchmark::State& s) { parse_all(s, random_texts(), from_chars); }
void BM_ReadShort(benchmark::State& s) { parse_all(s, short_texts(), read); }
void BM_FromCharsShort(benchmark::State& s) { parse_all(s, short_texts(), from_chars); }

}  // namespace

BENCHMARK(BM_MoldRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToCharsRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoldShort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToCharsShort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_General16Random)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToCharsGeneral16Random)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FromCharsRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadShort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FromCharsShort)->Unit(benchmark::kMillisecond);
