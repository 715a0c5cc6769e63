// Kept channel states and the bringing of channels to a frame one at a time. Main thread under
// the audio device's lock; checkpoint_capture on the thread that mixes, in the row tick hook.
#include "engine_checkpoints.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_model.h"
#include "music/synth.h"
#include "plain_copy.h"
#include "shared/show_constants.h"

namespace {

constexpr int64_t checkpoint_frames = 32 * int64_t{show_row_frames};  // about 3.8 s apart
constexpr int64_t checkpoint_budget_bytes = int64_t{64} << 20;        // with all 28 channels
constexpr int64_t most_playing_channels = channel_count - 2;
constexpr int64_t most_covered_rows = 16384;  // the rows whose ticks are compared

// One channel's whole state but its echo line.
struct ChannelState {
  int32_t track_pos, row_in_pattern;
  float position, rate, slide, volume, filter_coef, filter_state, pan;
  uint8_t echo_on;
};

// Each field of the mixer's channel k with the same field of a state, to f.
template <typename State, typename Function>
void each_field(int32_t k, State& s, Function f) {
  f(::track_pos[k], s.track_pos);
  f(::row_in_pattern[k], s.row_in_pattern);
  f(::position[k], s.position);
  f(::rate[k], s.rate);
  f(::slide[k], s.slide);
  f(::volume[k], s.volume);
  f(::filter_coef[k], s.filter_coef);
  f(::filter_state[k], s.filter_state);
  f(::pan[k], s.pan);
  f(::echo_on[k], s.echo_on);
}

// A channel just after the row tick of a kept row, before that row's first frame is mixed.
struct Checkpoint {
  std::atomic<bool> kept{false};  // set last, with release, by whoever fills it
  bool has_echo = false;
  ChannelState state{};
  std::unique_ptr<float[]> echo;  // echo_frames values, taken when made
};

// What one row tick did to a channel, with the floats as bits. The voice's position is set to a
// mark before the tick: after it, 0 means a note struck, -1 a stop, the mark neither.
struct TickEffect {
  int32_t track_pos, row_in_pattern;
  uint32_t position, rate, slide, volume;
  uint8_t echo_on;
  bool operator==(const TickEffect&) const = default;
};
constexpr float untouched_mark = 0.5f;

uint32_t bits_of(float value) {
  return __builtin_bit_cast(uint32_t, value);
}

struct ChannelRecord {
  bool has_sample = false, has_echo_line = false;
  int32_t sample_length = 0, echo_line_length = 0;
  uint32_t pan = 0, filter_coef = 0;
  std::vector<float> sample;
  std::vector<TickEffect> ticks;                         // rows 0 ... covered_rows - 1
  std::vector<std::shared_ptr<Checkpoint>> checkpoints;  // rows 0, interval, 2 x interval ...
};

struct SongCheckpoints {
  int32_t row_frames = 0, echo_frames = 0, last_channel = 0;
  int64_t interval_rows = 0, covered_rows = 0, init_count = 0;
  std::array<ChannelRecord, channel_count> channels;
};

std::unique_ptr<SongCheckpoints> current;
bool capturing = false;
std::vector<float> playing_line;  // checkpoints_fill_one's copy of the line it puts back

bool same_instrument(const ChannelRecord& a, const ChannelRecord& b) {
  if (a.has_sample != b.has_sample || a.has_echo_line != b.has_echo_line ||
      a.sample_length != b.sample_length || a.echo_line_length != b.echo_line_length ||
      a.pan != b.pan || a.filter_coef != b.filter_coef || a.sample.size() != b.sample.size()) {
    return false;
  }
  for (size_t i = 0; i < a.sample.size(); ++i) {
    if (bits_of(a.sample[i]) != bits_of(b.sample[i])) return false;
  }
  return true;
}

void record_instrument(int32_t k, ChannelRecord& record) {
  record.has_sample = sample[k] != nullptr;
  record.has_echo_line = echo_line[k] != nullptr;
  record.sample_length = sample_length[k];
  record.echo_line_length = echo_line_length[k];
  record.pan = bits_of(pan[k]);
  record.filter_coef = bits_of(filter_coef[k]);
  if (record.has_sample && sample_length[k] > 0) {
    record.sample.assign(sample[k].get(), sample[k].get() + sample_length[k]);
  }
}

// The sequencer alone over the covered rows, on the state the parser left, which is put back.
void record_ticks(SongCheckpoints& song) {
  std::array<ChannelState, channel_count> saved{};
  for (int32_t k = 1; k <= song.last_channel; ++k) {
    each_field(k, saved[k], [](auto& engine, auto& copy) { copy = engine; });
    song.channels[k].ticks.resize(static_cast<size_t>(song.covered_rows));
  }
  for (int64_t row = 0; row < song.covered_rows; ++row) {
    for (int32_t k = 1; k <= song.last_channel; ++k) {
      position[k] = untouched_mark;
      row_tick_channel(k);
      song.channels[k].ticks[static_cast<size_t>(row)] = {
          track_pos[k],     row_in_pattern[k], bits_of(position[k]),
          bits_of(rate[k]), bits_of(slide[k]), bits_of(volume[k]),
          echo_on[k]};
    }
  }
  for (int32_t k = 1; k <= song.last_channel; ++k) {
    each_field(k, saved[k], [](auto& engine, auto& copy) { engine = copy; });
  }
}

// Rows between kept states: about checkpoint_frames apart, farther where the budget needs it.
// It depends on the tempo alone, so songs of one tempo share their kept states row for row.
int64_t interval_rows_for(int32_t row_frames, int64_t covered_rows, int32_t echo_frames) {
  int64_t interval = (checkpoint_frames + row_frames - 1) / row_frames;
  const int64_t state_bytes = most_playing_channels * echo_frames * int64_t{sizeof(float)};
  const int64_t most_states = checkpoint_budget_bytes / (state_bytes > 0 ? state_bytes : 1);
  if (most_states < 1) return covered_rows + 1;  // only the start is kept
  const int64_t least = (covered_rows + most_states - 1) / most_states;
  return interval > least ? interval : least;
}

std::unique_ptr<SongCheckpoints> describe_parsed_song() {
  auto song = std::make_unique<SongCheckpoints>();
  song->row_frames = samples_per_row;
  song->echo_frames = echo_length;
  song->last_channel = walk_end();
  song->init_count = mixer_init_count();
  if (song->row_frames <= 0) return song;
  const int64_t show_rows = show_frames / song->row_frames + 1;
  song->covered_rows = show_rows < most_covered_rows ? show_rows : most_covered_rows;
  song->interval_rows = interval_rows_for(song->row_frames, song->covered_rows, song->echo_frames);
  for (int32_t k = 1; k <= song->last_channel; ++k) record_instrument(k, song->channels[k]);
  record_ticks(*song);
  return song;
}

// How many rows from the start the channel does the same in both songs: the instrument, the
// tempo and every tick's effect alike.
int64_t rows_alike(const SongCheckpoints& before, const SongCheckpoints& now, int32_t k) {
  if (k > before.last_channel || before.row_frames != now.row_frames ||
      before.echo_frames != now.echo_frames || before.interval_rows != now.interval_rows ||
      !same_instrument(before.channels[k], now.channels[k])) {
    return 0;
  }
  const std::vector<TickEffect>& a = before.channels[k].ticks;
  const std::vector<TickEffect>& b = now.channels[k].ticks;
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t row = 0; row < common; ++row) {
    if (!(a[row] == b[row])) return static_cast<int64_t>(row);
  }
  return static_cast<int64_t>(common);
}

// The channel's kept states: the old song's for the rows before its first difference, new empty
// ones after.
void share_checkpoints(const SongCheckpoints* before, SongCheckpoints& now, int32_t k) {
  const int64_t alike = before != nullptr ? rows_alike(*before, now, k) : 0;
  const int64_t count = (now.covered_rows + now.interval_rows - 1) / now.interval_rows;
  std::vector<std::shared_ptr<Checkpoint>>& states = now.channels[k].checkpoints;
  states.resize(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<size_t>(i);
    // A state after the tick of row r holds for both songs when ticks 0 ... r are alike.
    if (i * now.interval_rows < alike && index < before->channels[k].checkpoints.size()) {
      states[index] = before->channels[k].checkpoints[index];
      continue;
    }
    states[index] = std::make_shared<Checkpoint>();
    if (now.echo_frames > 0) {
      states[index]->echo.reset(new float[static_cast<size_t>(now.echo_frames)]);
    }
  }
}

PLAYER_KEEP_LOOPS void keep_state(int32_t k, Checkpoint& checkpoint, int32_t echo_frames) {
  each_field(k, checkpoint.state, [](auto& engine, auto& copy) { copy = engine; });
  checkpoint.has_echo =
      echo_line[k] != nullptr && echo_line_length[k] == echo_frames && checkpoint.echo != nullptr;
  if (checkpoint.has_echo) {
    copy_floats(checkpoint.echo.get(), echo_line[k].get(), static_cast<size_t>(echo_frames));
  }
  checkpoint.kept.store(true, std::memory_order_release);
}

void put_back(int32_t k, const Checkpoint& checkpoint, int32_t echo_frames) {
  each_field(k, checkpoint.state, [](auto& engine, const auto& copy) { engine = copy; });
  if (checkpoint.has_echo && echo_line[k] != nullptr && echo_line_length[k] == echo_frames) {
    copy_floats(echo_line[k].get(), checkpoint.echo.get(), static_cast<size_t>(echo_frames));
  }
}

void capture_row(const SongCheckpoints& song, int32_t k, int64_t row) {
  if (row % song.interval_rows != 0) return;
  const auto index = static_cast<size_t>(row / song.interval_rows);
  const std::vector<std::shared_ptr<Checkpoint>>& states = song.channels[k].checkpoints;
  if (index >= states.size() || states[index]->kept.load(std::memory_order_acquire)) return;
  keep_state(k, *states[index], song.echo_frames);
}

// The latest kept state strictly before frame (a state at frame itself is one tick too far).
int64_t put_back_latest(const SongCheckpoints& song, int32_t k, int64_t frame) {
  const std::vector<std::shared_ptr<Checkpoint>>& states = song.channels[k].checkpoints;
  const int64_t span = song.interval_rows * song.row_frames;
  int64_t i = frame > 0 ? (frame - 1) / span : -1;
  if (i >= static_cast<int64_t>(states.size())) i = static_cast<int64_t>(states.size()) - 1;
  for (; i >= 0; --i) {
    const Checkpoint& checkpoint = *states[static_cast<size_t>(i)];
    if (!checkpoint.kept.load(std::memory_order_acquire)) continue;
    put_back(k, checkpoint, song.echo_frames);
    return i * song.interval_rows;
  }
  return -1;
}

// Channel k from its latest kept state (or from the parser's) to frame, row by row, keeping the
// states of the kept rows it passes.
bool bring_channel(const SongCheckpoints& song, int32_t k, int64_t frame,
                   const volatile std::sig_atomic_t* stop) {
  const int64_t row_frames = song.row_frames;
  const int64_t from_row = put_back_latest(song, k, frame);
  int64_t n = from_row >= 0 ? from_row * row_frames : 0;
  bool ticked = from_row >= 0;
  while (n < frame) {
    if (stop != nullptr && *stop != 0) return false;
    if (!ticked) {
      row_tick_channel(k);
      capture_row(song, k, n / row_frames);
    }
    ticked = false;
    const int64_t row_end = (n / row_frames + 1) * row_frames;
    const int64_t until = row_end < frame ? row_end : frame;
    mixer_run_channel(k, n, static_cast<int32_t>(until - n));
    n = until;
  }
  return true;
}

}  // namespace

bool checkpoints_bring_to(int64_t frame, const volatile std::sig_atomic_t* stop) {
  capturing = false;
  std::unique_ptr<SongCheckpoints> now = describe_parsed_song();
  if (now->row_frames > 0 && tracks[1][0] != end_marker) {
    const SongCheckpoints* before = current.get();
    for (int32_t k = 1; k <= now->last_channel; ++k) {
      share_checkpoints(before, *now, k);
      if (!bring_channel(*now, k, frame, stop)) return false;
    }
  }
  current = std::move(now);
  channel_peak.fill(0.0f);
  mixer_forget_silent_lines();
  mixer_set_clock(frame);
  capturing = true;
  return true;
}

void checkpoints_pause() {
  capturing = false;
}

void checkpoint_capture(int32_t last_channel) {
  const SongCheckpoints* song = current.get();
  if (!capturing || song == nullptr || song->interval_rows <= 0 ||
      song->init_count != mixer_init_count() || song->row_frames != samples_per_row) {
    return;
  }
  const int64_t row = mixer_tick_frame() / song->row_frames;
  const int32_t last = last_channel < song->last_channel ? last_channel : song->last_channel;
  for (int32_t k = 1; k <= last; ++k) capture_row(*song, k, row);
}

// The kept row that comes next for some channel: the earliest missing one right after a kept
// one. false when every channel has all of its kept rows.
bool next_to_fill(const SongCheckpoints& song, int32_t& channel, size_t& index) {
  bool found = false;
  for (int32_t k = 1; k <= song.last_channel; ++k) {
    const std::vector<std::shared_ptr<Checkpoint>>& states = song.channels[k].checkpoints;
    size_t missing = 0;
    while (missing < states.size() && states[missing]->kept.load(std::memory_order_acquire)) {
      ++missing;
    }
    if (missing == 0 || missing == states.size() || (found && missing >= index)) continue;
    channel = k;
    index = missing;
    found = true;
  }
  return found;
}

bool checkpoints_fill_one() {
  SongCheckpoints* song = current.get();
  int32_t k = 0;
  size_t index = 0;
  if (!capturing || song == nullptr || song->init_count != mixer_init_count() ||
      song->row_frames != samples_per_row || !next_to_fill(*song, k, index)) {
    return false;
  }
  // The channel as it plays now, put back once the next kept row is reached from the one before.
  ChannelState playing{};
  each_field(k, playing, [](auto& engine, auto& copy) { copy = engine; });
  const bool has_line = echo_line[k] != nullptr && echo_line_length[k] == song->echo_frames;
  std::vector<float>& line = playing_line;
  if (has_line) line.assign(echo_line[k].get(), echo_line[k].get() + song->echo_frames);
  const int64_t kept_row = static_cast<int64_t>(index) * song->interval_rows;
  bring_channel(*song, k, kept_row * song->row_frames + 1, nullptr);  // its tick at kept_row
  each_field(k, playing, [](auto& engine, const auto& copy) { engine = copy; });
  if (has_line) copy_floats(echo_line[k].get(), line.data(), line.size());
  mixer_forget_silent_lines();
  return true;
}

CheckpointFigures checkpoint_figures() {
  CheckpointFigures figures;
  if (current == nullptr) return figures;
  figures.interval_rows = static_cast<int32_t>(current->interval_rows);
  for (int32_t k = 1; k <= current->last_channel; ++k) {
    for (const auto& checkpoint : current->channels[k].checkpoints) {
      if (!checkpoint->kept.load(std::memory_order_acquire)) continue;
      ++figures.kept;
      if (checkpoint->has_echo) figures.bytes += sizeof(float) * current->echo_frames;
    }
  }
  return figures;
}
