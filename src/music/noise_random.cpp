// The additive feedback generator behind glibc's rand(), in plain 32-bit arithmetic.
// Start-up only, on whatever thread builds the noise table.
#include "music/noise_random.h"

#if defined(KELVORINSAA_PARTY)
#include <cstdlib>

// The party build binds to glibc alone (libc.so.6), whose rand() is this very sequence: it takes
// it from there and saves the generator's bytes.
NoiseRandom noise_random_seeded(uint32_t seed) {
  std::srand(seed);
  return {};
}

int32_t noise_random_next(NoiseRandom&) {
  return std::rand();
}
#else

namespace {

constexpr uint32_t ring_mask = 31;
constexpr uint32_t seed_values = 31;      // made from the seed, then repeated for values 31 to 33
constexpr uint32_t first_draw = 34;       // the first value the sums make
constexpr uint32_t warm_up_values = 310;  // thrown away before the first draw

// word * 16807 mod (2^31 - 1) by Schrage's method, signed as glibc computes it, so that seeds
// from 2^31 on (negative as 32-bit values) go on exactly as there.
int32_t lehmer_step(int32_t word) {
  const int32_t next = 16807 * (word % 127773) - 2836 * (word / 127773);
  return next < 0 ? next + 2147483647 : next;
}

}  // namespace

NoiseRandom noise_random_seeded(uint32_t seed) {
  NoiseRandom random{};
  int32_t word = seed == 0 ? 1 : static_cast<int32_t>(seed);
  for (uint32_t i = 0; i < seed_values; ++i) {
    random.ring[i] = static_cast<uint32_t>(word);
    word = lehmer_step(word);
  }
  for (uint32_t i = seed_values; i < first_draw; ++i) {
    random.ring[i & ring_mask] = random.ring[(i - seed_values) & ring_mask];
  }
  random.next = first_draw;
  for (uint32_t i = 0; i < warm_up_values; ++i) noise_random_next(random);
  return random;
}

int32_t noise_random_next(NoiseRandom& random) {
  const uint32_t i = random.next++;
  const uint32_t value = random.ring[(i - 31) & ring_mask] + random.ring[(i - 3) & ring_mask];
  random.ring[i & ring_mask] = value;
  return static_cast<int32_t>(value >> 1);
}
#endif
