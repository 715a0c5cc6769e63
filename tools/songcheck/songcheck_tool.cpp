// kelvorinsaa-songcheck as a library: parses song files as the show would and reports the first
// fault of each as FILE:LINE: reason, and the song lint's warnings as FILE:LINE: warning: text.
// Returns the exit status. Single-threaded.
#include "songcheck_tool.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "music/song_lint.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "shared/show_constants.h"
#include "tool_engine.h"

namespace {

constexpr int exit_fault = 1;
constexpr int exit_usage = 2;

const char* const usage_text =
    "usage: kelvorinsaa-songcheck [--show] SONG...\n"
    "\n"
    "Parses each SONG (a file in the show's song language, - for standard input) as the show\n"
    "would, instruments included, and prints the first fault of each as SONG:LINE: reason.\n"
    "A song without a tempo line (bpm:N) is a fault: nothing can play it. What parses but is\n"
    "probably a mistake is printed as SONG:LINE: warning: text. Prints nothing for a good song.\n"
    "\n"
    "  --show   also require what the show needs of its song: rows of %d frames (the\n"
    "           picture's row clock, tempo 125) and a track 1 that plays\n"
    "  --help   print this text and exit\n"
    "\n"
    "Exit status: 0 when every song is good (warnings or not), 1 when one has a fault, 2 on a\n"
    "usage error.\n";

// The parser says "line N: reason" or "end of song: reason"; compilers say FILE:N: reason.
std::string located(const char* path, const char* error) {
  int line = 0;
  int consumed = 0;
  if (std::sscanf(error, "line %d: %n", &line, &consumed) == 1 && consumed > 0) {
    return std::string(path) + ":" + std::to_string(line) + ": " + (error + consumed);
  }
  return std::string(path) + ": " + error;
}

void print_warning(std::FILE* err, const char* path, const LintWarning& warning) {
  if (warning.line == 0) {
    std::fprintf(err, "%s: warning: %s\n", path, warning.text.c_str());
  } else {
    std::fprintf(err, "%s:%d: warning: %s\n", path, warning.line, warning.text.c_str());
  }
}

// Checks one song; prints its fault and returns false when it has one, and its warnings.
bool check_song(const char* path, bool as_show, std::FILE* err) {
  SongSource song;
  std::string error;
  if (!read_song(std::strcmp(path, "-") == 0 ? "/dev/stdin" : path, song, error)) {
    std::fprintf(err, "kelvorinsaa-songcheck: %s\n", error.c_str());
    return false;
  }
  // The lint leaves the model as the parser made it.
  const SongLint lint = song_lint(song.text, false);
  if (lint.rejected) {
    std::fprintf(err, "%s\n", located(path, lint.error.c_str()).c_str());
    return false;
  }
  const char* unplayable = song_unplayable_reason();
  for (const LintWarning& warning : lint.warnings) {
    if (unplayable == nullptr || warning.text != unplayable) print_warning(err, path, warning);
  }
  if (unplayable != nullptr) {
    std::fprintf(err, "%s: %s\n", path, unplayable);
    return false;
  }
  if (as_show && samples_per_row != show_row_frames) {
    std::fprintf(err, "%s: rows of %d frames, but the picture counts rows of %d (tempo 125)\n",
                 path, samples_per_row, show_row_frames);
    return false;
  }
  if (as_show && tracks[1][0] == end_marker) {
    std::fprintf(err, "%s: track 1 is empty, so the show would be silent\n", path);
    return false;
  }
  return true;
}

}  // namespace

int songcheck_run(int argc, char** argv, std::FILE* out, std::FILE* err) {
  bool as_show = false;
  int first_song = 1;
  for (; first_song < argc && argv[first_song][0] == '-' && argv[first_song][1] != '\0';
       ++first_song) {
    const std::string option = argv[first_song];
    if (option == "--help") {
      std::fprintf(out, usage_text, show_row_frames);
      return 0;
    }
    if (option == "--show") {
      as_show = true;
    } else if (option == "--") {
      ++first_song;
      break;
    } else {
      std::fprintf(err, "kelvorinsaa-songcheck: unknown option %s (try --help)\n", option.c_str());
      return exit_usage;
    }
  }
  if (first_song >= argc) {
    std::fprintf(err, "kelvorinsaa-songcheck: no song given (try --help)\n");
    return exit_usage;
  }
  bool all_good = true;
  for (int i = first_song; i < argc; ++i) all_good = check_song(argv[i], as_show, err) && all_good;
  return all_good ? 0 : exit_fault;
}
