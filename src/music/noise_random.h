// The engine's own pseudo-random numbers: the additive feedback generator that glibc's rand()
// uses, so the noise table is the same with any C library and on any word size. Start-up only.
//
// Usage:
//   NoiseRandom random = noise_random_seeded(1);  // glibc's srand(1), its default
//   int32_t r = noise_random_next(random);        // 0 ... 2147483647, as rand() gives
#pragma once

#include <array>
#include <cstdint>

constexpr int noise_random_degree = 31;  // words of feedback state

// The last 31 values of the sequence, in a ring; newest is where the next one goes.
struct NoiseRandom {
  std::array<uint32_t, noise_random_degree> ring;
  int32_t newest;
};

// The generator as srand(seed) leaves glibc's rand(); a seed of 0 counts as 1, as there.
NoiseRandom noise_random_seeded(uint32_t seed);

// The next value, what rand() would give next.
int32_t noise_random_next(NoiseRandom& random);
