// Whether this build carries its messages. The show and its tools do; the party build, whose
// one song is checked while it is built, leaves every message text out. Compile time only.
#pragma once

#if defined(KELVORINSAA_PARTY)
inline constexpr bool messages_built_in = false;
#else
inline constexpr bool messages_built_in = true;
#endif
