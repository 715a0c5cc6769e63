// kelvorinsaa-play's command line, without SDL, so that tests and fuzz targets reach it. Main
// thread.
#pragma once

#include <cstdint>
#include <string>

struct PlayOptions {
  const char* song_path = nullptr;  // nullptr: the built-in song
  int64_t from_row = 0;
  int64_t to_row = -1;  // -1: the show's length
  bool loop = false, watch = false, quiet = false, help = false, version = false;
  uint32_t muted = 0, soloed = 0;
};

extern const char* const play_usage_text;

// argv[0] is the program's name. Returns "" or what is wrong with the command line.
std::string parse_play_options(int argc, char** argv, PlayOptions& options);
