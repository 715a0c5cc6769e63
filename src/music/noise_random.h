// The engine's own pseudo-random numbers: the additive feedback generator that glibc's rand()
// uses, so the noise table is the same with any C library and on any word size. Start-up only.
//
// Usage:
//   NoiseRandom random = noise_random_seeded(1);  // glibc's srand(1), its default
//   int32_t r = noise_random_next(random);        // 0 ... 2147483647, as rand() gives
#pragma once

#include <array>
#include <cstdint>

// Value i of the sequence is the sum of values i - 31 and i - 3; the ring keeps the last 32,
// value i in slot i mod 32.
struct NoiseRandom {
  std::array<uint32_t, 32> ring;
  uint32_t next;  // the number of the value to come
};

// The generator as srand(seed) leaves glibc's rand(); a seed of 0 counts as 1, as there.
NoiseRandom noise_random_seeded(uint32_t seed);

// The next value, what rand() would give next.
int32_t noise_random_next(NoiseRandom& random);
