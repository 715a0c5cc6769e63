// Whether this is a fuzz build. A fuzzer must try hundreds of inputs a second, so where a limit
// of the engine or a tool is what the work costs (the longest sample, the instruments' memory,
// the stretch a lint mixes) fuzz builds lower it. The show and its tools keep their own limits.
// Compile time only.
#pragma once

#if defined(KELVORINSAA_FUZZ_LIMITS)
inline constexpr bool fuzz_limits = true;
#else
inline constexpr bool fuzz_limits = false;
#endif
