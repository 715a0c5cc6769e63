// The capture's command line: what to capture, at which rate and size, and where to.
// Main thread, before anything starts.
//
// Usage:
//   CaptureOptions options;
//   std::string problem = parse_capture_options(argc, argv, options);  // "" when all is well
#pragma once

#include <string>

#include "capture_clock.h"

enum class OutputKind { folder, mp4, mkv, webm };

struct CaptureOptions {
  CaptureSpan span;
  int32_t width = picture_width;  // of the video; the picture is scaled to fit and padded
  int32_t height = picture_height;
  std::string out_path;
  OutputKind kind = OutputKind::folder;
  bool help = false;
  bool version = false;
};

extern const char* const capture_usage_text;

// Returns an empty string, or one line on what is wrong with the command line.
std::string parse_capture_options(int argc, char** argv, CaptureOptions& options);

// The show's 4:3 picture scaled to fit a width x height frame, in even pixel counts.
struct ScaledSize {
  int32_t width, height;
};
ScaledSize fit_picture(int32_t width, int32_t height);
