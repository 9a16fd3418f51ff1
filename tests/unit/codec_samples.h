// Sample data for the codec tests: text-like bytes (words from a small
// vocabulary, so matches are plentiful) and incompressible noise.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace codec_samples {

using Bytes = std::vector<uint8_t>;

inline Bytes text(size_t n, uint32_t seed) {
	static const char* words[] = {"the ", "runtime ", "block ", "series ", "of ", "value ", "cells\n", "and ",
		"a ", "word ", "context ", "binds ", "to ", "1234 ", "evaluates ", "(paren) ", "Vyn ", "[x y] "};
	std::mt19937 gen(seed);
	Bytes b;
	while (b.size() < n) {
		const char* w = words[gen() % 18];
		b.insert(b.end(), w, w + std::strlen(w));
	}
	b.resize(n);
	return b;
}

inline Bytes noise(size_t n, uint32_t seed) {
	std::mt19937 gen(seed);
	Bytes b(n);
	for (auto& x : b) x = uint8_t(gen());
	return b;
}

}  // namespace codec_samples
