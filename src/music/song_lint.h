// Warnings for what a song author probably did not mean: the parser accepts these, and the show
// plays them. Main thread; replaces the song model with the song it checks.
//
// Usage:
//   const SongLint lint = song_lint(text, true);
//   if (lint.rejected) puts(lint.error.c_str());
//   for (const LintWarning& w : lint.warnings) puts(lint_line(w).c_str());
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LintWarning {
  int32_t line;  // 0 when the warning is about the whole song, not one line
  std::string text;
};

struct SongLint {
  bool rejected = false;
  std::string error;  // the parser's line and reason when rejected
  std::vector<LintWarning> warnings;
};

// Parses text (a copy: text itself is left alone) and checks it. check_clipping also mixes the
// show's length of sound to find stretches that clip, which takes a fraction of a second.
SongLint song_lint(const std::string& text, bool check_clipping);

// After a parse, why the tools cannot play the song, or nullptr. A song without a tempo line
// parses, and the show would play it as silence, but its rows have no length to count or seek in.
const char* song_unplayable_reason();

// "line 12: ..." or "song: ...".
std::string lint_line(const LintWarning& warning);
