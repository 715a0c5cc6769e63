// The additive feedback generator behind glibc's rand(), in plain 32-bit arithmetic.
// Start-up only, on whatever thread builds the noise table.
#include "music/noise_random.h"

namespace {

constexpr int32_t lag = 3;               // the sequence adds the values 31 and 3 places back
constexpr int32_t warm_up_values = 310;  // the seeding throws these away before the first draw

// seed * 16807 mod (2^31 - 1) by Schrage's method, signed as glibc computes it, so that seeds
// from 2^31 on (negative as 32-bit values) go on exactly as there.
int32_t lehmer_step(int32_t word) {
  const int32_t high = word / 127773;
  const int32_t low = word % 127773;
  int32_t next = 16807 * low - 2836 * high;
  if (next < 0) next += 2147483647;
  return next;
}

}  // namespace

NoiseRandom noise_random_seeded(uint32_t seed) {
  NoiseRandom random{};
  int32_t word = seed == 0 ? 1 : static_cast<int32_t>(seed);
  random.ring[0] = static_cast<uint32_t>(word);
  for (int32_t i = 1; i < noise_random_degree; ++i) {
    word = lehmer_step(word);
    random.ring[i] = static_cast<uint32_t>(word);
  }
  // The sequence goes on with the first three seed values once more, which the ring already
  // holds in its first three slots: they are the newest.
  random.newest = lag - 1;
  for (int32_t i = 0; i < warm_up_values; ++i) noise_random_next(random);
  return random;
}

int32_t noise_random_next(NoiseRandom& random) {
  // The slot after the newest holds the value 31 places back, which the new value replaces.
  const int32_t slot = (random.newest + 1) % noise_random_degree;
  const int32_t lagged = (slot + noise_random_degree - lag) % noise_random_degree;
  random.ring[slot] += random.ring[lagged];
  random.newest = slot;
  return static_cast<int32_t>(random.ring[slot] >> 1);
}
