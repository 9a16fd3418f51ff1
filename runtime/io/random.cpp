#include "runtime/io/random.h"

#include <sys/random.h>

#include <cerrno>

#include "runtime/errors.h"

namespace vyn::random {

namespace {

constexpr int WORDS = 624;
constexpr int MIDDLE = 397;

// Words are kept signed: right shifts are arithmetic (C++20). Left shifts
// and products are done unsigned, so nothing relies on signed overflow.
int32_t state[WORDS];
int index = WORDS;

inline int32_t wrap(uint32_t v) { return int32_t(v); }

inline int32_t mix(int32_t upper, int32_t lower, int32_t partner) {
	int32_t y = wrap((uint32_t(upper) & 0x80000000u) | (uint32_t(lower) & 0x7FFFFFFFu));
	uint32_t odd = (y & 1) ? 0x9908B0DFu : 0;
	return wrap(uint32_t(partner) ^ uint32_t(y >> 1) ^ odd);
}

void twist() {
	for (int k = 0; k < WORDS - 1; k++) state[k] = mix(state[k], state[k + 1], state[(k + MIDDLE) % WORDS]);
	state[WORDS - 1] = mix(state[WORDS - 1], state[0], state[MIDDLE - 1]);
}

inline int32_t temper(int32_t y) {
	y ^= y >> 11;
	y ^= wrap((uint32_t(y) << 7) & 0x9D2C5680u);
	y ^= wrap((uint32_t(y) << 15) & 0xEFC60000u);
	y ^= y >> 18;
	return y;
}

}  // namespace

void init() { seed(INIT_SEED); }

void seed(int32_t s) {
	state[0] = s;
	for (int i = 1; i < WORDS; i++) {
		int32_t w = state[i - 1];
		state[i] = wrap(1812433253u * uint32_t(w ^ (w >> 30)) + uint32_t(i));
	}
	index = 0;
}

int32_t next() {
	if (index >= WORDS) {
		twist();
		index = 0;
	}
	return temper(state[index++]);
}

void secure_bytes(uint8_t* buffer, size_t count) {
	while (count) {
		ssize_t got = getrandom(buffer, count, 0);
		if (got < 0) {
			if (errno == EINTR) continue;
			errors::fire(errors::id::internal_feature_na);
		}
		buffer += got;
		count -= size_t(got);
	}
}

int32_t secure_next() {
	uint8_t b[4];
	secure_bytes(b, 4);
	uint32_t word = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
	return int32_t(word & 0x7FFFFFFFu);
}

int32_t rand_range(bool secure, int32_t n) {
	auto draw = [secure] { return secure ? secure_next() : next() & 0x7FFFFFFF; };
	if (n == 0) return 0;
	// -n is not representable: one draw of 31 bits gives -1 .. -2^31.
	if (n == INT32_MIN) return -1 - draw();
	bool negative = n < 0;
	if (negative) n = -n;
	int32_t limit = (INT32_MAX / n) * n;
	int32_t d;
	do d = draw();
	while (d >= limit);
	int32_t r = d % n + 1;
	return negative ? -r : r;
}

}  // namespace vyn::random
