// The player's song, seeking, reloading and keys, and the facts of its display. Main thread; the
// engine changes only under the audio device's lock that the program hands in.
#include "play_session.h"

#include <algorithm>
#include <cmath>

#include "engine_checkpoints.h"
#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_lint.h"
#include "music/song_model.h"
#include "play_loop.h"
#include "play_state.h"
#include "shared/shared_values.h"

namespace {

constexpr int32_t bar_rows = 16;
constexpr int32_t long_seek_rows = 64;

struct AudioLock {
  explicit AudioLock(const Player& player) : unlock(player.unlock_audio) {
    if (player.lock_audio != nullptr) player.lock_audio();
  }
  ~AudioLock() {
    if (unlock != nullptr) unlock();
  }
  AudioLock(const AudioLock&) = delete;
  AudioLock& operator=(const AudioLock&) = delete;
  void (*unlock)();
};

void apply_mutes(const PlayOptions& options) {
  channel_mute_mask.store(mute_mask_for(options.muted, options.soloed), std::memory_order_relaxed);
}

std::vector<std::string> warnings_of(const SongLint& lint) {
  std::vector<std::string> lines;
  for (const LintWarning& warning : lint.warnings) lines.push_back(lint_line(warning));
  return lines;
}

int64_t current_frame() {
  return frames_mixed.load(std::memory_order_relaxed);
}

// Starts the engine at frame; the caller holds the audio device's lock, so the callback sees
// either the old song at its old place or the new one at the new place.
bool restart_locked(Player& player, const SongSource& song, int64_t frame, std::string& error) {
  row_tick_hook = nullptr;
  if (player.options.loop && song.text != player.song.text &&
      engine_start(song, player.start_frame, error)) {
    loop_start_keep(player.start_frame);  // the next pass starts with the new song
  }
  bool started = engine_start(song, frame, error);
  if (!started) {
    std::string ignored;
    engine_start(player.song, frame, ignored);  // the old song plays on
  }
  if (started) player.song = song;
  player_status_reset();
  player_status.end_frame.store(player_end_frame(player.options), std::memory_order_relaxed);
  row_tick_hook = player_row_hook;
  return started;
}

}  // namespace

int64_t player_end_frame(const PlayOptions& options) {
  return options.to_row >= 0 ? options.to_row * samples_per_row : show_frames;
}

std::string player_start(Player& player) {
  std::string error;
  SongSource song;
  if (!read_song(player.options.song_path, song, error)) return error;
  return player_start_song(player, song);
}

std::string player_start_song(Player& player, const SongSource& song) {
  std::string error;
  player.song = song;
  const SongLint lint = song_lint(player.song.text, false);
  if (lint.rejected) return player.song.name + ": " + lint.error;
  player.warnings = warnings_of(lint);
  // Rows have a length only once the song is known to play.
  if (!engine_start(player.song, 0, error)) return error;
  if (player.options.watch) file_changed(player);
  if (player.options.to_row >= 0) {
    error = check_end_row(player.options.to_row);
    if (!error.empty()) return error;
  }
  player.start_frame = player.options.from_row * samples_per_row;
  const int64_t end = player_end_frame(player.options);
  if (player.start_frame >= end) {
    const std::string from = "--from " + std::to_string(player.options.from_row);
    if (player.options.to_row >= 0) {
      return "--to " + std::to_string(player.options.to_row) + " does not come after " + from;
    }
    return from + " is past the end: the show's length, " + std::to_string(end) +
           " frames, ends in row " + std::to_string((end - 1) / samples_per_row) + " of this song";
  }
  if (!engine_start(player.song, player.start_frame, error)) return error;
  if (player.options.loop) {
    loop_start_keep(player.start_frame);
  } else {
    loop_start_forget();  // an earlier player of this process may have kept one
  }
  player_status.end_frame.store(end, std::memory_order_relaxed);
  apply_mutes(player.options);
  channel_meters_on.store(true, std::memory_order_relaxed);
  row_tick_hook = player_row_hook;
  return "";
}

bool restart_at(Player& player, const SongSource& song, int64_t frame, std::string& error) {
  const AudioLock lock(player);
  return restart_locked(player, song, frame, error);
}

namespace {

void seek_locked(Player& player, int64_t row) {
  const int64_t last = player_end_frame(player.options) / samples_per_row;
  const int64_t target = row < 0 ? 0 : (row > last ? last : row);
  std::string error;
  restart_locked(player, player.song, target * samples_per_row, error);
}

}  // namespace

void seek_rows(Player& player, int64_t rows) {
  if (samples_per_row <= 0) return;  // no song plays
  // The row left is read under the lock: read before it, a buffer mixed in between could carry
  // the play into the next row, and the seek would land a row short of where it should.
  const AudioLock lock(player);
  seek_locked(player, current_frame() / samples_per_row + rows);
}

void seek_to_row(Player& player, int64_t row) {
  if (samples_per_row <= 0) return;
  const AudioLock lock(player);
  seek_locked(player, row);
}

void reload_song(Player& player, const SongSource& fresh) {
  reload_song_at(player, fresh, -1);
}

void reload_song_at(Player& player, const SongSource& fresh, int64_t at_frame) {
  std::string error;
  const AudioLock lock(player);
  const int64_t frame = at_frame >= 0 ? at_frame : current_frame();
  const int64_t old_row_frames = samples_per_row;
  const int64_t row = old_row_frames > 0 ? frame / old_row_frames : 0;
  const SongLint lint = song_lint(fresh.text, false);  // replaces the model: locked
  // The new song goes on at the same place of the same row in its own tempo (the same frame when
  // the tempo stays), never past its end; a song without rows fails to start, and the old one
  // goes on where it was.
  int64_t fresh_frame = frame;
  if (!lint.rejected && samples_per_row > 0 && old_row_frames > 0) {
    const int64_t into_row = std::min<int64_t>(frame - row * old_row_frames, samples_per_row - 1);
    fresh_frame = std::min(row * samples_per_row + into_row, player_end_frame(player.options));
  }
  if (lint.rejected) {
    player.message = "not reloaded: " + lint.error;
    restart_locked(player, player.song, frame, error);
  } else if (restart_locked(player, fresh, fresh_frame, error)) {
    player.warnings = warnings_of(lint);
    player.message = "reloaded " + fresh.name;
  } else {
    player.message = "not reloaded: " + error;  // the last good song and its warnings stay
  }
}

void reload(Player& player) {
  SongSource fresh;
  std::string error;
  if (!read_song(player.options.song_path, fresh, error)) {
    player.message = error;
    return;
  }
  reload_song(player, fresh);
}

void set_mutes(Player& player, uint32_t muted, uint32_t soloed) {
  player.options.muted = muted;
  player.options.soloed = soloed;
  apply_mutes(player.options);
}

std::string set_loop(Player& player, int64_t from_row, int64_t to_row) {
  if (samples_per_row <= 0) return "no song plays";
  PlayOptions looped = player.options;
  looped.loop = true;
  looped.from_row = from_row;
  looped.to_row = to_row;
  const int64_t end = player_end_frame(looped);
  if (from_row < 0 || from_row * samples_per_row >= end) {
    return "the loop's first row " + std::to_string(from_row) + " does not come before its end";
  }
  const AudioLock lock(player);
  const int64_t frame = current_frame();
  player.options = looped;
  player.start_frame = from_row * samples_per_row;
  std::string error;
  if (engine_start(player.song, player.start_frame, error)) loop_start_keep(player.start_frame);
  // Where the play already is inside the loop it goes on; elsewhere it starts at the loop.
  const int64_t resume = frame >= player.start_frame && frame < end ? frame : player.start_frame;
  restart_locked(player, player.song, resume, error);
  return "";
}

void stop_loop(Player& player) {
  const AudioLock lock(player);
  player.options.loop = false;
  player.options.to_row = -1;
  loop_start_forget();
  player_status.end_frame.store(player_end_frame(player.options), std::memory_order_relaxed);
}

int32_t player_keep_states_ahead(Player& player, int32_t most) {
  const AudioLock lock(player);
  int32_t kept = 0;
  while (kept < most && checkpoints_fill_one()) ++kept;
  return kept;
}

ChannelFacts channel_facts(int32_t k) {
  ChannelFacts facts;
  if (k < 0 || k >= channel_count) return facts;
  const ChannelStatus& status = player_status.channels[k];
  facts.entry = status.entry.load(std::memory_order_relaxed);
  facts.pattern = status.pattern.load(std::memory_order_relaxed);
  facts.row = status.row.load(std::memory_order_relaxed);
  facts.finished = status.finished.load(std::memory_order_relaxed);
  facts.level = status.peak.load(std::memory_order_relaxed);
  return facts;
}

bool file_changed(Player& player) {
  struct stat now = {};
  if (stat(player.options.song_path, &now) != 0) return false;
  const bool changed = now.st_mtim.tv_sec != player.watched.st_mtim.tv_sec ||
                       now.st_mtim.tv_nsec != player.watched.st_mtim.tv_nsec ||
                       now.st_size != player.watched.st_size || now.st_ino != player.watched.st_ino;
  player.watched = now;
  return changed;
}

bool handle_key(Player& player, const KeyPress& press) {
  PlayOptions& options = player.options;
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

DisplayFacts display_facts(Player& player, double buffer_cycles) {
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
  const int64_t row_frames = samples_per_row > 0 ? samples_per_row : show_frames;  // none plays
  facts.row = frame / row_frames;
  facts.end_row = player_end_frame(player.options) / row_frames;
  facts.last_channel = player_status.last_channel.load(std::memory_order_relaxed);
  facts.muted = player.options.muted;
  facts.soloed = player.options.soloed;
  facts.mute_mask = mute_mask_for(facts.muted, facts.soloed);
  const int32_t peak = player_status.buffer_peak.load(std::memory_order_relaxed);
  facts.peak_dbfs = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -99.9;
  facts.clipped = player_status.clipped_frames.load(std::memory_order_relaxed);
  facts.load = buffer_cycles > 0.0 ? cycles / buffer_cycles : 0.0;
  facts.worst_load = buffer_cycles > 0.0 ? player.worst_cycles / buffer_cycles : 0.0;
  return facts;
}
