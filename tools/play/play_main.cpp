// kelvorinsaa-play: plays a song through SDL 1.2's audio device with the show's audio callback,
// with a live status display, seeking, mute and solo, and reloading a song file as it changes.
// Main thread here; the callback in play_audio.cpp runs on SDL's audio thread.
#include <SDL.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <x86intrin.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_lint.h"
#include "music/song_model.h"
#include "play_display.h"
#include "play_state.h"
#include "shared/shared_values.h"
#include "tool_engine.h"

namespace {

constexpr int display_period_ms = 50;  // about 20 redraws a second
constexpr int watch_period_ms = 250;   // how often a watched file is looked at
constexpr int32_t bar_rows = 16;
constexpr int32_t long_seek_rows = 64;

const char* const usage_text =
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
    "  --mute LIST   silence channels, e.g. 2,5-7; --solo LIST hears only these\n"
    "  --watch       reload the song file whenever it changes, at the same row\n"
    "  --quiet       no status display\n"
    "\n"
    "Keys: space pause; left/right 16 rows (a bar); up/down 64 rows; 1 ... 9 and 0 mute\n"
    "channels 1 ... 10; s then a digit solos; r reloads the song; q or Escape quits.\n";

struct Options {
  const char* song_path = nullptr;
  int64_t from_row = 0;
  int64_t to_row = -1;  // -1: the show's length
  bool loop = false, watch = false, quiet = false, help = false;
  uint32_t muted = 0, soloed = 0;
};

struct Player {
  Options options;
  SongSource song;
  std::vector<std::string> warnings;
  std::string message;
  int64_t start_frame = 0;
  bool awaiting_solo_digit = false;
  struct stat watched {};
  uint64_t worst_cycles = 0;
};

int fail(const std::string& message) {
  std::fprintf(stderr, "kelvorinsaa-play: %s\n", message.c_str());
  return 1;
}

bool parse_row(const char* text, int64_t& row) {
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 1000000) return false;
  row = value;
  return true;
}

std::string parse_options(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    std::string error;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
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
  if (options.watch && options.song_path == nullptr) return "--watch needs --song FILE";
  return "";
}

void apply_mutes(const Options& options) {
  channel_mute_mask.store(mute_mask_for(options.muted, options.soloed), std::memory_order_relaxed);
}

std::vector<std::string> warnings_of(const SongLint& lint) {
  std::vector<std::string> lines;
  for (const LintWarning& warning : lint.warnings) lines.push_back(lint_line(warning));
  return lines;
}

int64_t end_frame(const Options& options) {
  return options.to_row >= 0 ? options.to_row * samples_per_row : show_frames;
}

// Starts the engine at frame; the caller holds the audio device's lock, so the callback sees
// either the old song at its old place or the new one at the new place.
bool restart_locked(Player& player, const SongSource& song, int64_t frame, std::string& error) {
  row_tick_hook = nullptr;
  bool started = engine_start(song, frame, error);
  if (!started) engine_start(player.song, frame, error);  // the old song plays on
  if (started) player.song = song;
  player_status_reset();
  player_status.end_frame.store(end_frame(player.options), std::memory_order_relaxed);
  row_tick_hook = player_row_hook;
  return started;
}

bool restart_at(Player& player, const SongSource& song, int64_t frame, std::string& error) {
  SDL_LockAudio();
  const bool started = restart_locked(player, song, frame, error);
  SDL_UnlockAudio();
  return started;
}

int64_t current_frame() {
  return frames_mixed.load(std::memory_order_relaxed);
}

void seek_rows(Player& player, int64_t rows) {
  const int64_t row = current_frame() / samples_per_row + rows;
  const int64_t last = end_frame(player.options) / samples_per_row;
  const int64_t target = row < 0 ? 0 : (row > last ? last : row);
  std::string error;
  restart_at(player, player.song, target * samples_per_row, error);
}

// Parses the file again; a song the parser rejects keeps the old one playing.
void reload(Player& player) {
  SongSource fresh;
  std::string error;
  if (!read_song(player.options.song_path, fresh, error)) {
    player.message = error;
    return;
  }
  SDL_LockAudio();
  const int64_t frame = current_frame();
  const SongLint lint = song_lint(fresh.text, false);  // replaces the model: locked
  if (lint.rejected) {
    player.message = "not reloaded: " + lint.error;
    restart_locked(player, player.song, frame, error);
  } else {
    player.warnings = warnings_of(lint);
    const bool started = restart_locked(player, fresh, frame, error);
    player.message = started ? "reloaded " + fresh.name : error;
  }
  SDL_UnlockAudio();
}

bool file_changed(Player& player) {
  struct stat now {};
  if (stat(player.options.song_path, &now) != 0) return false;
  const bool changed = now.st_mtim.tv_sec != player.watched.st_mtim.tv_sec ||
                       now.st_mtim.tv_nsec != player.watched.st_mtim.tv_nsec ||
                       now.st_size != player.watched.st_size || now.st_ino != player.watched.st_ino;
  player.watched = now;
  return changed;
}

// Returns false when the key quits.
bool handle_key(Player& player, const KeyPress& press) {
  Options& options = player.options;
  const bool solo = player.awaiting_solo_digit;
  player.awaiting_solo_digit = false;
  switch (press.key) {
    case Key::quit:
      return false;
    case Key::pause:
      player_status.paused.store(!player_status.paused.load(std::memory_order_relaxed),
                                 std::memory_order_relaxed);
      break;
    case Key::forward_bar:
      seek_rows(player, bar_rows);
      break;
    case Key::back_bar:
      seek_rows(player, -bar_rows);
      break;
    case Key::forward_long:
      seek_rows(player, long_seek_rows);
      break;
    case Key::back_long:
      seek_rows(player, -long_seek_rows);
      break;
    case Key::reload:
      if (options.song_path != nullptr) reload(player);
      break;
    case Key::solo:
      player.awaiting_solo_digit = true;
      break;
    case Key::digit:
      (solo ? options.soloed : options.muted) ^= 1u << press.digit;
      apply_mutes(options);
      break;
    case Key::none:
      break;
  }
  return true;
}

// Ticks of the time stamp counter per second, from the time the player has run so far.
struct CycleClock {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  uint64_t start_cycles = __rdtsc();
  double per_second() const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return seconds > 0.1 ? static_cast<double>(__rdtsc() - start_cycles) / seconds : 0.0;
  }
};

void draw(Player& player, const CycleClock& clock) {
  const double buffer_cycles = clock.per_second() * callback_frames / show_sample_rate;
  const uint64_t cycles = player_status.last_cycles.load(std::memory_order_relaxed);
  if (buffer_cycles > 0.0 && cycles > player.worst_cycles) player.worst_cycles = cycles;
  DisplayFacts facts;
  facts.song = player.song.name;
  facts.state = player_status.paused.load(std::memory_order_relaxed) ? "paused" : "playing";
  if (player.options.loop) facts.state += ", loop";
  if (player.options.watch) facts.state += ", watching";
  facts.message = player.message;
  facts.warnings = player.warnings;
  const int64_t frame = current_frame();
  facts.seconds = static_cast<double>(frame) / show_sample_rate;
  facts.row = frame / samples_per_row;
  facts.end_row = end_frame(player.options) / samples_per_row;
  facts.last_channel = player_status.last_channel.load(std::memory_order_relaxed);
  facts.muted = player.options.muted;
  facts.soloed = player.options.soloed;
  facts.mute_mask = mute_mask_for(facts.muted, facts.soloed);
  const int32_t peak = player_status.buffer_peak.load(std::memory_order_relaxed);
  facts.peak_dbfs = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -99.9;
  facts.clipped = player_status.clipped_frames.load(std::memory_order_relaxed);
  facts.load = buffer_cycles > 0.0 ? cycles / buffer_cycles : 0.0;
  facts.worst_load = buffer_cycles > 0.0 ? player.worst_cycles / buffer_cycles : 0.0;
  display_draw(display_lines(facts));
}

bool open_audio(std::string& error) {
  if (SDL_Init(SDL_INIT_AUDIO) != 0) {
    error = std::string("cannot start SDL's audio: ") + SDL_GetError();
    return false;
  }
  SDL_AudioSpec request{};
  request.freq = show_sample_rate;
  request.format = AUDIO_S16LSB;
  request.channels = 2;
  request.samples = callback_frames;
  request.callback = player_callback;
  if (SDL_OpenAudio(&request, nullptr) != 0) {
    error = std::string("cannot open the audio device: ") + SDL_GetError();
    SDL_Quit();
    return false;
  }
  return true;
}

int run(Player& player) {
  const bool display = !player.options.quiet && isatty(STDOUT_FILENO);
  terminal_take();
  SDL_PauseAudio(0);
  CycleClock clock;
  bool input_open = true;
  int since_watch = 0;
  while (!stop_requested()) {
    std::vector<KeyPress> keys;
    if (input_open) {
      input_open = read_keys(display_period_ms, keys);
    } else {
      SDL_Delay(display_period_ms);
    }
    bool quit = false;
    for (const KeyPress& key : keys) quit = quit || !handle_key(player, key);
    if (quit) break;
    if (player.options.watch && (since_watch += display_period_ms) >= watch_period_ms) {
      since_watch = 0;
      if (file_changed(player)) reload(player);
    }
    if (player_status.at_end.load(std::memory_order_relaxed)) {
      if (!player.options.loop) break;
      std::string error;
      restart_at(player, player.song, player.start_frame, error);
    }
    if (display) draw(player, clock);
  }
  if (display) draw(player, clock);
  SDL_CloseAudio();
  SDL_Quit();
  terminal_restore();
  return stop_requested() ? 128 + SIGINT : 0;
}

}  // namespace

int main(int argc, char** argv) {
  Player player;
  const std::string problem = parse_options(argc, argv, player.options);
  if (!problem.empty()) return fail(problem);
  if (player.options.help) {
    std::fputs(usage_text, stdout);
    return 0;
  }
  std::string error;
  if (!read_song(player.options.song_path, player.song, error)) return fail(error);
  const SongLint lint = song_lint(player.song.text, false);
  if (lint.rejected) return fail(player.song.name + ": " + lint.error);
  player.warnings = warnings_of(lint);
  if (player.options.watch) file_changed(player);
  player.start_frame = player.options.from_row * samples_per_row;
  if (player.start_frame >= end_frame(player.options)) return fail("--to must come after --from");
  if (!engine_start(player.song, player.start_frame, error)) return fail(error);
  player_status.end_frame.store(end_frame(player.options), std::memory_order_relaxed);
  apply_mutes(player.options);
  channel_meters_on.store(true, std::memory_order_relaxed);
  row_tick_hook = player_row_hook;
  if (!open_audio(error)) return fail(error);
  return run(player);
}
