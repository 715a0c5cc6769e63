// kelvorinsaa-songcheck: parses song files as the show would and reports the first fault of
// each as FILE:LINE: reason. The build runs it on the built-in song, so a broken song fails
// the build instead of the show. Single-threaded.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"
#include "shared/show_constants.h"

namespace {

constexpr int exit_fault = 1;
constexpr int exit_usage = 2;

const char* const usage_text =
    "Usage: kelvorinsaa-songcheck [--show] SONG...\n"
    "Parses each SONG (a file in the show's song language, - for standard input) as the show\n"
    "would, instruments included, and prints the first fault of each as SONG:LINE: reason.\n"
    "Prints nothing for a good song.\n"
    "\n"
    "  --show   also require what the show needs of its song: rows of %d frames (the\n"
    "           picture's row clock, tempo 125) and a track 1 that plays\n"
    "  --help   print this text and exit\n"
    "\n"
    "Exit status: 0 when every song is good, 1 when one has a fault, 2 on a usage error.\n";

// The parser says "line N: reason" or "end of song: reason"; compilers say FILE:N: reason.
std::string located(const char* path, const char* error) {
  int line = 0;
  int consumed = 0;
  if (std::sscanf(error, "line %d: %n", &line, &consumed) == 1 && consumed > 0) {
    return std::string(path) + ":" + std::to_string(line) + ": " + (error + consumed);
  }
  return std::string(path) + ": " + error;
}

// Checks one song; prints its fault and returns false when it has one.
bool check_song(const char* path, bool as_show) {
  song_model_clear();
  synth_init(show_sample_rate);
  const int32_t result = song_load(std::strcmp(path, "-") == 0 ? "/dev/stdin" : path);
  if (result == song_unreadable) {
    std::fprintf(stderr, "kelvorinsaa-songcheck: %s\n", song_error());
    return false;
  }
  if (result < 0) {
    std::fprintf(stderr, "%s\n", located(path, song_error()).c_str());
    return false;
  }
  if (as_show && samples_per_row != show_row_frames) {
    std::fprintf(stderr, "%s: rows of %d frames, but the picture counts rows of %d (tempo 125)\n",
                 path, samples_per_row, show_row_frames);
    return false;
  }
  if (as_show && tracks[1][0] == end_marker) {
    std::fprintf(stderr, "%s: track 1 is empty, so the show would be silent\n", path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool as_show = false;
  int first_song = 1;
  for (; first_song < argc && argv[first_song][0] == '-' && argv[first_song][1] != '\0';
       ++first_song) {
    const std::string option = argv[first_song];
    if (option == "--help") {
      std::printf(usage_text, show_row_frames);
      return 0;
    }
    if (option == "--show") {
      as_show = true;
    } else if (option == "--") {
      ++first_song;
      break;
    } else {
      std::fprintf(stderr, "kelvorinsaa-songcheck: unknown option %s (try --help)\n",
                   option.c_str());
      return exit_usage;
    }
  }
  if (first_song >= argc) {
    std::fprintf(stderr, "kelvorinsaa-songcheck: no song given (try --help)\n");
    return exit_usage;
  }
  bool all_good = true;
  for (int i = first_song; i < argc; ++i) all_good = check_song(argv[i], as_show) && all_good;
  return all_good ? 0 : exit_fault;
}
