// kelvorinsaa-songcheck as a library, so that tests and fuzz targets run it in-process: the usage
// text goes to out, faults and warnings to err. Returns the exit status: 0 good, 1 a fault, 2 a
// usage error. Single-threaded; it resets the music engine's global state for every song.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

int songcheck_run(int argc, char** argv, std::FILE* out, std::FILE* err);

// One thing the check found: a fault (the song cannot play) or a warning, worded as the program
// prints it after SONG:LINE: (line 0: about the whole song, printed after SONG: alone).
struct SongFinding {
  int32_t line = 0;
  bool fault = false;
  std::string text;  // a warning's begins "warning: "
};

// The findings of a song text in the order the program prints them; with_clipping adds the
// stretches that clip, as kelvorinsaa-render --check finds them. Replaces the engine's song.
std::vector<SongFinding> song_findings(const std::string& text, bool with_clipping,
                                       bool as_show = false);
