// Whether this build carries its messages. The show and its tools do; the party build, whose
// one song is checked while it is built, leaves every message text out. Compile time only.
#pragma once

#include <cstdio>

#if defined(KELVORINSAA_PARTY)
inline constexpr bool messages_built_in = false;
#else
inline constexpr bool messages_built_in = true;
#endif

// One line on standard error, in builds that carry their messages.
template <typename... Args>
void say(const char* format, Args... args) {
  if constexpr (messages_built_in) std::fprintf(stderr, format, args...);
}
