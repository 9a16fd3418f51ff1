// The runtime's one pseudo-random source, and the secure source.
//
// The generator is a Mersenne Twister (624 words, middle distance 397) in
// this runtime's own variant: the words are signed and every right shift in
// seeding, twisting and tempering is arithmetic, and the draws after a seed
// temper the seeded words before the first twist. Its sequences are part of
// the language's behaviour (`random/seed`), so they must never change.
// The secure source is the kernel's (getrandom).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyn::random {

constexpr int32_t INIT_SEED = 19650218;

// Seeds the generator with INIT_SEED (start-up).
void init();
// Reseeds; the next 624 draws temper the seeded words.
void seed(int32_t s);
// The next draw: any of the 2^32 values.
int32_t next();

// Fills the buffer from the secure source; a failure of the source raises
// internal feature-na, never a short fill.
void secure_bytes(uint8_t* buffer, size_t count);
// A secure draw in 0..2147483647.
int32_t secure_next();

// A uniform integer in 1..n (n > 0), -1..n (n < 0) or 0 (n = 0), from the
// generator or, when `secure`, the secure source.
int32_t rand_range(bool secure, int32_t n);

}  // namespace vyn::random
