// The player's callback reads the time stamp counter for its load figure; WebAssembly has none.
// Goes when the player's library is built for the web.
#pragma once
#include <cstdint>
inline uint64_t __rdtsc() {
  return 0;
}
