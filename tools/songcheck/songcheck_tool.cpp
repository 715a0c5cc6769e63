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
#include "shared/tool_version.h"
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
    "  --show      also require what the show needs of its song: rows of %d frames (the\n"
    "              picture's row clock, tempo 125) and a track 1 that plays\n"
    "  --help      print this text and exit\n"
    "  --version   print the name and version and exit\n"
    "\n"
    "Exit status: 0 when every song is good (warnings or not), 1 when one has a fault, 2 on a\n"
    "usage error.\n";

// The parser says "line N: reason" or "end of song: reason"; compilers say FILE:N: reason.
SongFinding located(const std::string& error) {
  int line = 0;
  int consumed = 0;
  if (std::sscanf(error.c_str(), "line %d: %n", &line, &consumed) == 1 && consumed > 0) {
    return {line, true, error.substr(static_cast<size_t>(consumed))};
  }
  return {0, true, error};
}

void print_finding(std::FILE* err, const char* path, const SongFinding& finding) {
  if (finding.line == 0) {
    std::fprintf(err, "%s: %s\n", path, finding.text.c_str());
  } else {
    std::fprintf(err, "%s:%d: %s\n", path, finding.line, finding.text.c_str());
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
  bool good = true;
  for (const SongFinding& finding : song_findings(song.text, false, as_show)) {
    print_finding(err, path, finding);
    good = good && !finding.fault;
  }
  return good;
}

}  // namespace

std::vector<SongFinding> song_findings(const std::string& text, bool with_clipping, bool as_show) {
  // The lint leaves the model as the parser made it.
  const SongLint lint = song_lint(text, with_clipping);
  if (lint.rejected) return {located(lint.error)};
  std::vector<SongFinding> findings;
  const char* unplayable = song_unplayable_reason();
  for (const LintWarning& warning : lint.warnings) {
    if (unplayable == nullptr || warning.text != unplayable) {
      findings.push_back({warning.line, false, "warning: " + warning.text});
    }
  }
  if (unplayable != nullptr) {
    findings.push_back({0, true, unplayable});
    return findings;
  }
  if (as_show && samples_per_row != show_row_frames) {
    findings.push_back({0, true,
                        "rows of " + std::to_string(samples_per_row) +
                            " frames, but the picture counts rows of " +
                            std::to_string(show_row_frames) + " (tempo 125)"});
  } else if (as_show && tracks[1][0] == end_marker) {
    findings.push_back({0, true, "track 1 is empty, so the show would be silent"});
  }
  return findings;
}

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
    if (option == "--version") {
      print_tool_version(out, "kelvorinsaa-songcheck");
      return 0;
    }
    if (option == "--show") {
      as_show = true;
    } else if (option == "--") {
      ++first_song;
      break;
    } else {
      std::fprintf(err, "kelvorinsaa-songcheck: unknown option %s (see --help)\n", option.c_str());
      return exit_usage;
    }
  }
  if (first_song >= argc) {
    std::fprintf(err, "kelvorinsaa-songcheck: no song given (see --help)\n");
    return exit_usage;
  }
  bool all_good = true;
  for (int i = first_song; i < argc; ++i) all_good = check_song(argv[i], as_show, err) && all_good;
  return all_good ? 0 : exit_fault;
}
