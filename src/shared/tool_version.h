// What a tool prints for --version, the GNU way: its name and the release on the first line, then
// the copyright and the licence. Every installed tool prints it alike; the show has no options
// beyond -w, and its version is in its manual page and its package.
#pragma once

#include <cstdio>

#include "kelvorinsaa_version.h"

inline void print_tool_version(std::FILE* out, const char* program) {
  std::fprintf(out,
               "%s %s\n"
               "Copyright (C) 2026 The Kelvorinsaa developers\n"
               "Licence zlib: <https://zlib.net/zlib_license.html>\n"
               "This is free software: you are free to change and redistribute it.\n"
               "There is NO WARRANTY, to the extent permitted by law.\n",
               program, KELVORINSAA_VERSION);
}
