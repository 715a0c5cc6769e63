// kelvorinsaa-songcheck as a library, so that tests and fuzz targets run it in-process: the usage
// text goes to out, faults and warnings to err. Returns the exit status: 0 good, 1 a fault, 2 a
// usage error. Single-threaded; it resets the music engine's global state for every song.
#pragma once

#include <cstdio>

int songcheck_run(int argc, char** argv, std::FILE* out, std::FILE* err);
