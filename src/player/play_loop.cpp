// The loop's first frame: a copy of the engine's state taken on the main thread and written back
// on the audio thread with plain loops, which the compiler must not turn into library calls.
#include "play_loop.h"

#include <array>
#include <atomic>
#include <vector>

#include "music/mixer.h"
#include "music/song_model.h"
#include "music/synth.h"
#include "plain_copy.h"

namespace {

struct EngineState {
  int64_t frame = 0;
  std::array<int32_t, channel_count> track_pos{}, row_in_pattern{};
  std::array<float, channel_count> position{}, rate{}, slide{}, volume{}, filter_coef{},
      filter_state{}, pan{};
  std::array<uint8_t, channel_count> echo_on{};
  std::array<std::vector<float>, instrument_count> echo_lines;
};

EngineState kept;
std::atomic<bool> kept_valid{false};

template <typename Array>
PLAYER_KEEP_LOOPS void copy_array(Array& to, const Array& from) {
  for (size_t i = 0; i < to.size(); ++i) to[i] = from[i];
}

// Every channel state array of the mixer, each with its copy in s, to one function f.
template <typename State, typename Function>
void each_channel_array(State& s, Function f) {
  f(::track_pos, s.track_pos);
  f(::row_in_pattern, s.row_in_pattern);
  f(::position, s.position);
  f(::rate, s.rate);
  f(::slide, s.slide);
  f(::volume, s.volume);
  f(::filter_coef, s.filter_coef);
  f(::filter_state, s.filter_state);
  f(::pan, s.pan);
  f(::echo_on, s.echo_on);
}

}  // namespace

void loop_start_keep(int64_t frame) {
  kept.frame = frame;
  each_channel_array(kept, [](auto& engine, auto& copy) { copy_array(copy, engine); });
  for (int32_t k = 0; k < instrument_count; ++k) {
    const float* line = echo_line[k].get();
    const int32_t length = line != nullptr ? echo_line_length[k] : 0;
    kept.echo_lines[k].assign(line, line + length);
  }
  kept_valid.store(true, std::memory_order_relaxed);
}

void loop_start_forget() {
  kept_valid.store(false, std::memory_order_relaxed);
}

bool loop_start_kept() {
  return kept_valid.load(std::memory_order_relaxed);
}

void loop_start_restore() {
  each_channel_array(kept, [](auto& engine, const auto& copy) { copy_array(engine, copy); });
  for (int32_t k = 0; k < instrument_count; ++k) {
    const std::vector<float>& line = kept.echo_lines[k];
    if (echo_line[k] != nullptr && static_cast<int32_t>(line.size()) == echo_line_length[k]) {
      copy_floats(echo_line[k].get(), line.data(), line.size());
    }
  }
  mixer_set_clock(kept.frame);
}
