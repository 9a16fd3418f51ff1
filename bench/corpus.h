// A deterministic text corpus for the codec benchmarks: English-like prose
// from a generated vocabulary of 4,096 words drawn with Zipf frequencies,
// with punctuation, numbers and lines of about 72 characters. No downloads;
// the same bytes on every machine.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corpus {

struct Rng {
	uint64_t s;
	uint64_t next() {  // xorshift64*
		s ^= s >> 12;
		s ^= s << 25;
		s ^= s >> 27;
		return s * 0x2545F4914F6CDD1DULL;
	}
	uint32_t below(uint32_t n) { return uint32_t((next() >> 32) * n >> 32); }
};

inline std::vector<std::string> vocabulary(Rng& rng) {
	static const char* syllables[] = {"ka", "ro", "the", "in", "ta", "le", "ver", "um", "sa", "mi", "con",
		"de", "pro", "al", "ne", "ti", "ble", "ing", "er", "ou", "an", "se", "re", "lo", "ma", "ex", "ed",
		"ous", "ri", "na", "po", "si"};
	std::vector<std::string> words;
	for (int i = 0; i < 4096; i++) {
		std::string w;
		unsigned n = 1 + rng.below(i < 64 ? 2 : 4);
		for (unsigned k = 0; k < n; k++) w += syllables[rng.below(32)];
		words.push_back(w);
	}
	return words;
}

inline std::vector<uint8_t> make(size_t size, uint64_t seed = 0x5EEDC0DEC0DEC5ULL) {
	Rng rng{seed};
	std::vector<std::string> words = vocabulary(rng);
	std::vector<double> cumulative(words.size());
	double total = 0;
	for (size_t i = 0; i < words.size(); i++) cumulative[i] = total += 1.0 / double(i + 1);
	std::vector<uint8_t> out;
	out.reserve(size + 128);
	size_t line = 0;
	bool capital = true;
	while (out.size() < size) {
		double pick = double(rng.next() >> 11) * 0x1.0p-53 * total;
		size_t index = size_t(std::lower_bound(cumulative.begin(), cumulative.end(), pick) - cumulative.begin());
		std::string w = words[std::min(index, words.size() - 1)];
		if (rng.below(40) == 0) {
			char digits[16];
			w.assign(digits, std::to_chars(digits, digits + sizeof digits, rng.below(100000)).ptr);
		}
		if (capital && w[0] >= 'a') w[0] = char(w[0] - 32);
		capital = false;
		uint32_t p = rng.below(100);
		if (p < 6) {
			w += '.';
			capital = true;
		} else if (p < 12) {
			w += ',';
		}
		if (line + w.size() > 72) {
			out.push_back('\n');
			line = 0;
		} else if (line > 0) {
			out.push_back(' ');
			line++;
		}
		out.insert(out.end(), w.begin(), w.end());
		line += w.size();
	}
	out.resize(size);
	return out;
}

// The 100 MB corpus, made once per process.
inline const std::vector<uint8_t>& text100() {
	static const std::vector<uint8_t> c = make(100u << 20);
	return c;
}

}  // namespace corpus
