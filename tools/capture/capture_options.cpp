// Parsing of the capture's command line, with checked numbers. Main thread.
#include "capture_options.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char* const capture_usage_text =
    "usage: kelvorinsaa-capture [--fps N] [--from SEC] [--to SEC] [--warm-up N|all] [--size WxH]\n"
    "                           [--passes P] OUT\n"
    "\n"
    "Plays the show on a clock of its own, one exact video frame after another however long\n"
    "each takes to draw, and writes its picture and its sound. Video frame k shows the moment\n"
    "from + k / fps seconds after the sound started, with the sound mixed as far ahead as live\n"
    "output would have it, so the row drawn is the row heard.\n"
    "\n"
    "OUT:\n"
    "  DIR/        numbered PNG frames (frame_000001.png, ...) and audio.wav (an existing\n"
    "              folder works without the slash)\n"
    "  NAME.mp4    H.264 (yuv420p) and AAC\n"
    "  NAME.mkv    lossless: FFV1 and FLAC\n"
    "  NAME.webm   VP9 and Opus\n"
    "  Video files are encoded by the ffmpeg program (Debian package ffmpeg).\n"
    "\n"
    "  --fps N      video frames per second, 1 to 1000 (default 60)\n"
    "  --from SEC   start this many seconds into the show (default 0); the sound is still\n"
    "               mixed from its first frame, so echoes are as in a run from the start\n"
    "  --to SEC     end here (default: with the frame in which the show ends, row 1088)\n"
    "  --warm-up N  before a later --from, draw the N frames before it without writing them\n"
    "               (default 30), so that the trails, the glow and the colours that a frame\n"
    "               hands to the next are as in a capture from the start; the brightness\n"
    "               is always as there. 'all' draws every frame from the start: the frames\n"
    "               are then byte for byte those of a capture from 0 at the same moments.\n"
    "  --size WxH   frame size (default 640x480); the 4:3 picture is scaled to fit and padded\n"
    "               with black: 1920x1080 gives 1440 x 1080 in a 16:9 frame\n"
    "  --passes P   frame-driver calls per video frame (default 1). The brightness moves one\n"
    "               step towards its scene's target on every call, drawn or not, so its fades\n"
    "               run at the speed of the show's main loop: 1 is what a display that waits\n"
    "               for vertical sync gives; a larger P makes fades quicker, as on a machine\n"
    "               whose loop spins P times per frame shown.\n"
    "  --help       print this text\n"
    "  --version    print the name and version\n"
    "\n"
    "Needs an X display (Xvfb works); the show's window is opened to draw in. Frames above\n"
    "111 per second repeat the previous picture when the show's pacing declines to draw, as a\n"
    "display would. Nothing is left under OUT's name unless the capture completes: files are\n"
    "made under a temporary name beside it and renamed at the end; Ctrl-C or TERM removes\n"
    "them (status 130 or 143).\n"
    "A progress line is shown when standard error is a terminal.\n"
    "Exit status: 0 when done, 1 when something failed, 2 on a usage error.\n";

namespace {

constexpr int64_t max_seconds = 100000;

bool parse_whole(const char* text, long low, long high, int32_t& value) {
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  value = static_cast<int32_t>(parsed);
  return true;
}

// Decimal seconds with at most six places, exactly, as microseconds.
bool parse_seconds(const char* text, int64_t& micros) {
  const char* p = text;
  int64_t whole = 0;
  int digits = 0;
  for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
    whole = whole * 10 + (*p - '0');
    if (whole > max_seconds) return false;
  }
  int64_t fraction = 0, scale = micros_per_second;
  if (*p == '.') {
    for (++p; *p >= '0' && *p <= '9'; ++p, ++digits) {
      if (scale == 1) return false;  // finer than a microsecond
      scale /= 10;
      fraction += (*p - '0') * scale;
    }
  }
  if (*p != '\0' || digits == 0) return false;
  micros = whole * micros_per_second + fraction;
  return true;
}

bool parse_size(const char* text, int32_t& width, int32_t& height) {
  const char* x = std::strchr(text, 'x');
  if (x == nullptr) return false;
  const std::string w(text, x);
  return parse_whole(w.c_str(), 16, 8192, width) && parse_whole(x + 1, 16, 8192, height) &&
         width % 2 == 0 && height % 2 == 0;
}

bool ends_with(const std::string& text, const char* tail) {
  const size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

bool is_folder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string choose_output(CaptureOptions& options) {
  const std::string& out = options.out_path;
  if (out.empty()) return "no output given (see --help)";
  if (ends_with(out, "/") || is_folder(out)) {
    options.kind = OutputKind::folder;
  } else if (ends_with(out, ".mp4")) {
    options.kind = OutputKind::mp4;
  } else if (ends_with(out, ".mkv")) {
    options.kind = OutputKind::mkv;
  } else if (ends_with(out, ".webm")) {
    options.kind = OutputKind::webm;
  } else {
    return out + ": give a folder (ending in /) or a name ending in .mp4, .mkv or .webm";
  }
  return "";
}

// One option with its value; returns "" or the problem.
std::string parse_valued(const std::string& flag, const char* value, CaptureOptions& options) {
  CaptureSpan& span = options.span;
  if (flag == "--fps") {
    if (!parse_whole(value, 1, 1000, span.fps))
      return "--fps must be a whole number from 1 to 1000";
  } else if (flag == "--from") {
    if (!parse_seconds(value, span.from_us)) return "--from needs seconds, such as 12 or 12.5";
  } else if (flag == "--to") {
    if (!parse_seconds(value, span.to_us)) return "--to needs seconds, such as 20 or 20.25";
    span.to_given = true;
  } else if (flag == "--size") {
    if (!parse_size(value, options.width, options.height))
      return std::string(
                 "--size needs WxH with even numbers from 16 to 8192, such as 1920x1080, not ") +
             value;
  } else if (flag == "--warm-up") {
    if (std::strcmp(value, "all") == 0) {
      span.warm_up = warm_up_all;
    } else if (!parse_whole(value, 0, 1000000, span.warm_up)) {
      return "--warm-up needs a number of frames from 0 to 1000000, or all";
    }
  } else if (flag == "--passes") {
    if (!parse_whole(value, 1, 10000, span.passes))
      return "--passes must be a whole number from 1 to 10000";
  }
  return "";
}

}  // namespace

std::string parse_capture_options(int argc, char** argv, CaptureOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return "";
    }
    if (arg == "--version") {
      options.version = true;
      return "";
    }
    if (arg == "--fps" || arg == "--from" || arg == "--to" || arg == "--size" ||
        arg == "--passes" || arg == "--warm-up") {
      if (i + 1 >= argc) return arg + " needs a value (see --help)";
      const std::string problem = parse_valued(arg, argv[++i], options);
      if (!problem.empty()) return problem;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option " + arg + " (see --help)";
    } else if (!options.out_path.empty()) {
      return "more than one output given";
    } else {
      options.out_path = arg;
    }
  }
  const std::string problem = choose_output(options);
  if (!problem.empty()) return problem;
  return check_span(options.span);
}

ScaledSize fit_picture(int32_t width, int32_t height) {
  // Wider than 4:3: the height fills the frame; otherwise the width does.
  if (int64_t{width} * picture_height > int64_t{height} * picture_width) {
    return {static_cast<int32_t>(int64_t{height} * picture_width / picture_height) & ~1, height};
  }
  return {width, static_cast<int32_t>(int64_t{width} * picture_height / picture_width) & ~1};
}
