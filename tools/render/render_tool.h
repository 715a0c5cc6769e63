// kelvorinsaa-render as a library: its command line and its whole pipeline, returning the exit
// status instead of ending the process, so that tests and fuzz targets run it in-process.
// One thread; it resets and drives the music engine's global state.
//
// Usage:
//   const int status = render_tool_run(argc, argv, stdout, stderr);
// or, with the options at hand:
//   RenderOptions options;
//   std::string problem = parse_render_options(argc, argv, options);
//   if (problem.empty()) status = run_render(options, stdout, stderr);
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sound_file.h"

struct RenderOptions {
  const char* song_path = nullptr;  // nullptr: the built-in song
  const char* out_path = nullptr;
  SoundKind out_kind = SoundKind::wav;  // by OUT's extension
  const char* stems_dir = nullptr;
  const char* trace_path = nullptr;
  const char* check_path = nullptr;
  const char* from_text = nullptr;
  const char* to_text = nullptr;
  bool from_seconds = false;  // from_text is --from-time's
  bool to_seconds = false;
  int64_t frames = 0;  // 0: not given
  uint32_t muted = 0;
  uint32_t soloed = 0;
  bool stats = false;
  bool help = false;
  bool version = false;
};

extern const char* const render_usage_text;

constexpr int render_failed = 1;
constexpr int render_usage_error = 2;  // the command line is wrong as written

// argv[0] is the program's name. Returns "" or what is wrong with the command line.
std::string parse_render_options(int argc, char** argv, RenderOptions& options);

// Does what the options ask: the usage text and the tables go to out, the one-line errors
// (prefixed "kelvorinsaa-render: ") to err. Returns the exit status: 0, 1 or 2.
int run_render(const RenderOptions& options, std::FILE* out, std::FILE* err);

// Asks a running run_render to stop: what it was writing is removed and it returns
// 128 + signal_number with no message. Safe in a signal handler.
void render_tool_interrupt(int signal_number);

// The whole program: parse_render_options, then run_render.
int render_tool_run(int argc, char** argv, std::FILE* out, std::FILE* err);
