// Copies that the audio thread may run: plain loops, which the compiler must not turn into calls
// of the C library's memcpy or memset. Any thread.
#pragma once

#include <cstddef>

#if defined(__clang__)
#define PLAYER_KEEP_LOOPS __attribute__((no_builtin("memset", "memcpy", "memmove")))
#elif defined(__GNUC__)
#define PLAYER_KEEP_LOOPS __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define PLAYER_KEEP_LOOPS
#endif

PLAYER_KEEP_LOOPS inline void copy_floats(float* to, const float* from, size_t count) {
  for (size_t i = 0; i < count; ++i) to[i] = from[i];
}
