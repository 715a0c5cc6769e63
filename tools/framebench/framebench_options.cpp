// Parsing of kelvorinsaa-framebench's command line, with checked numbers. Main thread.
#include "framebench_options.h"

#include <cerrno>
#include <cstdlib>

const char* const framebench_usage_text =
    "usage: kelvorinsaa-framebench [--frames N] [--level L] [--shots DIR]\n"
    "\n"
    "Times the show's drawing under a real OpenGL context (a 640x480 window; Xvfb works).\n"
    "For each of the 21 scenes of the script it sets the song clock to the scene's first row,\n"
    "draws 20 frames to warm up and then N timed frames, 9 ms of show time apart so that\n"
    "every call draws. No sound runs: the audio level is held at L.\n"
    "\n"
    "  --frames N   timed frames per scene, 1 to 100000 (default 300)\n"
    "  --level L    audio level the layers see, 0 to 1 (default 0.5); more spirals and\n"
    "               tighter fans above 0.75\n"
    "  --shots DIR  also save each scene's last frame as DIR/scene_NN.ppm (DIR is made\n"
    "               when missing)\n"
    "  --help       print this text\n"
    "\n"
    "Columns, one row per scene:\n"
    "  scene, layers   the scene's number and the layers it draws\n"
    "  draw ms, worst  mean and worst time of render_frame up to glFinish\n"
    "  +swap ms, worst the same with the buffer swap\n"
    "  fps             1000 / mean +swap ms: the drawing rate of that scene (the show caps\n"
    "                  it at 111)\n"
    "Then two lines of passes per second when no frame is due: render_frame alone, and a\n"
    "whole main-loop pass with the event drain.\n"
    "\n"
    "A run draws 21 x (N + 20) frames and then spins for 2 s: with the default 300 frames\n"
    "about 10 s on a graphics card. Under Mesa's software renderer a frame takes about 42 ms\n"
    "of processor time, so the default run takes about 5 minutes of it: 3 to 4 minutes on a\n"
    "quiet 2-core machine, 9 on a busy one (--frames 20: 38 s of it, 27 to 42 s).\n"
    "Exit status: 0 when done, 1 when something failed, 2 on a usage error.\n";

namespace {

bool parse_long(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool parse_level(const char* text, float& level) {
  char* end = nullptr;
  errno = 0;
  const double parsed = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(parsed >= 0.0 && parsed <= 1.0)) return false;
  level = static_cast<float>(parsed);
  return true;
}

}  // namespace

std::string parse_framebench_options(int argc, char** argv, FramebenchOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return "";
    }
    const bool valued = arg == "--frames" || arg == "--level" || arg == "--shots";
    if (!valued) return "unknown option " + arg + " (see --help)";
    if (i + 1 >= argc) return arg + " needs a value (see --help)";
    const char* value = argv[++i];
    long frames = 0;
    if (arg == "--frames") {
      if (!parse_long(value, 1, 100000, frames))
        return std::string("--frames needs a whole number from 1 to 100000, not ") + value;
      options.frames = static_cast<int>(frames);
    } else if (arg == "--level") {
      if (!parse_level(value, options.level))
        return std::string("--level needs a number from 0 to 1, not ") + value;
    } else {
      options.shots_dir = value;
    }
  }
  return "";
}
