// kelvorinsaa-framebench's command line, apart from the program, so that fuzz targets reach it.
// Main thread, before anything starts.
#pragma once

#include <string>

struct FramebenchOptions {
  int frames = 300;
  float level = 0.5f;
  std::string shots_dir;  // empty: no pictures
  bool help = false;
};

extern const char* const framebench_usage_text;

// Returns an empty string, or what is wrong with the command line.
std::string parse_framebench_options(int argc, char** argv, FramebenchOptions& options);
