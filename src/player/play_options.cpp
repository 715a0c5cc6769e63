// kelvorinsaa-play's command line and its usage text. Main thread.
#include "play_options.h"

#include <cstdlib>

#include "tool_engine.h"

const char* const play_usage_text =
    "usage: kelvorinsaa-play [--song FILE] [--from ROW] [--to ROW] [--loop] [--mute LIST]\n"
    "                        [--solo LIST] [--watch] [--quiet]\n"
    "\n"
    "Plays the song built into the show, or a song file, through the audio device with the\n"
    "show's own audio callback. On a terminal a status display is redrawn in place.\n"
    "\n"
    "  --song FILE   play a song file\n"
    "  --from ROW    start at this row (exactly what a play from the start gives there)\n"
    "  --to ROW      stop before this row (default: the show's length, 5762048 frames)\n"
    "  --loop        go back to --from at the end instead of stopping\n"
    "  --mute LIST   silence channels, e.g. 2,5-7; --solo LIST hears only these (a channel\n"
    "                in both lists is muted)\n"
    "  --watch       reload the song file whenever it changes, at the same row\n"
    "  --quiet       no status display\n"
    "  --version     print the name and version and exit\n"
    "\n"
    "Keys: space pause; left/right 16 rows (a bar); up/down 64 rows; 1 ... 9 and 0 mute\n"
    "channels 1 ... 10; s then a digit solos; r reloads the song; q or Escape quits.\n"
    "Exit status: 0 at the end, 1 when something failed, 2 on a usage error, 130 on Ctrl-C.\n";

namespace {

bool parse_row(const char* text, int64_t& row) {
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 1000000) return false;
  row = value;
  return true;
}

}  // namespace

std::string parse_play_options(int argc, char** argv, PlayOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    std::string error;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--loop") {
      options.loop = true;
    } else if (arg == "--watch") {
      options.watch = true;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (!has_value && (arg == "--song" || arg == "--from" || arg == "--to" ||
                              arg == "--mute" || arg == "--solo")) {
      return arg + " needs a value";
    } else if (arg == "--song") {
      options.song_path = argv[++i];
    } else if (arg == "--from" || arg == "--to") {
      if (!parse_row(argv[++i], arg == "--from" ? options.from_row : options.to_row)) {
        return arg + " needs a row number, not \"" + argv[i] + "\"";
      }
    } else if (arg == "--mute" || arg == "--solo") {
      if (!parse_channel_list(argv[++i], arg == "--mute" ? options.muted : options.soloed, error)) {
        return error;
      }
    } else {
      return "unknown argument " + arg + " (see --help)";
    }
  }
  if (options.help || options.version) return "";
  if (options.watch && options.song_path == nullptr) return "--watch needs --song FILE";
  return "";
}
