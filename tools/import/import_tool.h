// kelvorinsaa-import as a library: the command line and the whole import, returning the exit
// status instead of ending the process, so that tests and the fuzz target run it in-process.
// One thread.
//
// Usage:
//   const int status = import_tool_run(argc, argv, stdout, stderr);
#pragma once

#include <cstdio>

constexpr int import_failed = 1;       // the input is no MIDI file a song can hold, or no write
constexpr int import_usage_error = 2;  // the command line is wrong as written

// The usage and version go to out; warnings and the one-line error, each prefixed
// "kelvorinsaa-import: ", to err. Returns 0, 1, 2, or 128 + a signal that asked it to stop.
int import_tool_run(int argc, char** argv, std::FILE* out, std::FILE* err);

// Asks a running import to stop: nothing is left written and it returns 128 + signal_number.
// Safe in a signal handler.
void import_tool_interrupt(int signal_number);
