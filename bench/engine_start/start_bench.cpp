// Times the engine's start at a frame as the player and the studio meet it: the song plays from
// the start to a row, keeping states as the player does, then a reload of an edited song (or a
// seek in the same song) starts the engine at a frame there, again and again. Built natively and
// for node; prints each start's milliseconds, their median and what the kept states hold. One
// thread.
//
// With --player the play and the reloads go through the player's logic, as a page drives it
// (the lint's parse included); otherwise through engine_start alone. --ahead keeps every state
// ahead of the play first (timed too), and --jump ROW starts there instead of where it plays.
//
// Usage: start_bench [--song FILE] [--edit FILE] [--at ROW] [--seek ROWS] [--jump ROW]
//                    [--times N] [--ahead] [--by-mixing | --player]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine_checkpoints.h"
#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_model.h"
#include "play_session.h"
#include "play_state.h"
#include "shared/shared_values.h"
#include "tool_engine.h"

namespace {

struct Options {
  const char* song = nullptr;  // the built-in song
  const char* edit = nullptr;  // none: the song itself, so each start is a seek
  int64_t at_row = 1000, seek_rows = 0, jump_row = -1, times = 10;
  bool by_mixing = false, player = false, ahead = false;
};

bool parse_count(const char* text, int64_t& value) {
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && value >= 0;
}

bool parse_options(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--by-mixing") == 0) {
      options.by_mixing = true;
    } else if (std::strcmp(argv[i], "--player") == 0) {
      options.player = true;
    } else if (std::strcmp(argv[i], "--ahead") == 0) {
      options.ahead = true;
    } else if (!has_value) {
      return false;
    } else if (std::strcmp(argv[i], "--song") == 0) {
      options.song = argv[++i];
    } else if (std::strcmp(argv[i], "--edit") == 0) {
      options.edit = argv[++i];
    } else if (std::strcmp(argv[i], "--at") == 0) {
      if (!parse_count(argv[++i], options.at_row)) return false;
    } else if (std::strcmp(argv[i], "--seek") == 0) {
      if (!parse_count(argv[++i], options.seek_rows)) return false;
    } else if (std::strcmp(argv[i], "--jump") == 0) {
      if (!parse_count(argv[++i], options.jump_row)) return false;
    } else if (std::strcmp(argv[i], "--times") == 0) {
      if (!parse_count(argv[++i], options.times) || options.times < 1) return false;
    } else {
      return false;
    }
  }
  return true;
}

void keep_states(int32_t last_channel) {
  checkpoint_capture(last_channel);
}

// Plays from the start to frame as the player's callback does, states kept on the way.
void play_to(int64_t frame) {
  row_tick_hook = keep_states;
  std::vector<int16_t> out(2 * callback_frames);
  for (int64_t done = 0; done < frame; done += callback_frames) {
    const int64_t left = frame - done;
    mix_frames(out.data(), static_cast<int32_t>(left < callback_frames ? left : callback_frames));
  }
  row_tick_hook = nullptr;
}

// Starts next at frame the way the options say.
bool start_at(const Options& options, Player& player, const SongSource& next, int64_t frame,
              std::string& error) {
  if (options.player) {
    reload_song_at(player, next, frame);
    error = player.message;
    return player.message.rfind("reloaded", 0) == 0;
  }
  return options.by_mixing ? engine_start_by_mixing(next, frame, error)
                           : engine_start(next, frame, error);
}

void play_buffers_to(int64_t frame) {
  uint8_t bytes[4 * callback_frames];
  while (frames_mixed.load(std::memory_order_relaxed) < frame) {
    player_callback(nullptr, bytes, sizeof bytes);
  }
}

double milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

void keep_all_ahead() {
  const auto start = std::chrono::steady_clock::now();
  int32_t kept = 0;
  while (checkpoints_fill_one()) ++kept;
  const double ms = milliseconds_since(start);
  std::printf("%d states kept ahead in %.1f ms, %.3f ms each\n", kept, ms,
              kept > 0 ? ms / kept : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, options)) {
    std::fputs(
        "usage: start_bench [--song FILE] [--edit FILE] [--at ROW] [--seek ROWS] "
        "[--times N] [--by-mixing]\n",
        stderr);
    return 2;
  }
  SongSource song, edit;
  std::string error;
  if (!read_song(options.song, song, error) || !read_song(options.edit, edit, error) ||
      !engine_start(song, 0, error)) {
    std::fprintf(stderr, "start_bench: %s\n", error.c_str());
    return 1;
  }
  if (options.edit == nullptr) edit = song;
  // Halfway into a row, where a keystroke's pause falls as often as anywhere.
  const int64_t played = options.at_row * samples_per_row + samples_per_row / 2;
  Player player;
  if (options.player) {
    error = player_start_song(player, song);
    if (!error.empty()) {
      std::fprintf(stderr, "start_bench: %s\n", error.c_str());
      return 1;
    }
    play_buffers_to(played);
  } else {
    play_to(played);
  }
  if (options.ahead) keep_all_ahead();
  const int64_t rows_back = std::min(options.seek_rows, options.at_row);
  const int64_t frame = options.jump_row >= 0 ? options.jump_row * samples_per_row + 1234
                                              : played - rows_back * samples_per_row;
  std::vector<double> times;
  for (int64_t i = 0; i < options.times; ++i) {
    const SongSource& next = i % 2 == 0 ? edit : song;
    const auto start = std::chrono::steady_clock::now();
    const bool started = start_at(options, player, next, frame, error);
    times.push_back(milliseconds_since(start));
    if (!started) {
      std::fprintf(stderr, "start_bench: %s\n", error.c_str());
      return 1;
    }
  }
  for (const double ms : times) std::printf("%.2f ms\n", ms);
  std::sort(times.begin(), times.end());
  const CheckpointFigures figures = checkpoint_figures();
  std::printf("median %.2f ms at frame %lld; %d states kept every %d rows, %.1f MiB\n",
              times[times.size() / 2], static_cast<long long>(frame), figures.kept,
              figures.interval_rows, figures.bytes / 1048576.0);
  return 0;
}
