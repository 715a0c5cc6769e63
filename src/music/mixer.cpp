// Channel state, the mixer and the level meter. Runs on SDL's audio thread (mixer_init on the
// main thread before sound starts): no allocation, no lock, no library call in here.
//
// The buffer is mixed in blocks that hold at most one row tick, at their first frame, and
// inside a block one channel at a time. Every frame still adds the channels in ascending
// order, so the sums are bit for bit those of a frame-by-frame mix.
#include "music/mixer.h"

#include "music/sequencer.h"
#include "music/synth.h"
#include "shared/shared_values.h"

std::array<int32_t, channel_count> track_pos;
std::array<int32_t, channel_count> row_in_pattern;
std::array<float, channel_count> position;
std::array<float, channel_count> rate;
std::array<float, channel_count> slide;
std::array<float, channel_count> volume;
std::array<float, channel_count> filter_coef;
std::array<float, channel_count> filter_state;
std::array<float, channel_count> pan;
std::array<uint8_t, channel_count> echo_on;

namespace {

constexpr int32_t int32_max = 2147483647;

std::array<float, callback_frames> left_sum;
std::array<float, callback_frames> right_sum;
std::array<int16_t, 2 * callback_frames> callback_scratch;

// The song clock wraps instead of overflowing.
int32_t advance_clock(int32_t clock, int32_t frames) {
  return static_cast<int32_t>(static_cast<uint32_t>(clock) + static_cast<uint32_t>(frames));
}

int32_t ring_index(int32_t n, int32_t length) {
  const int32_t index = n % length;
  return index < 0 ? index + length : index;
}

// A channel without an instrument, or whose echo line was made for another tempo, is silent.
bool channel_has_instrument(int32_t j, int32_t echo_frames) {
  return sample[j] != nullptr && sample_length[j] > 0 && echo_line[j] != nullptr &&
         echo_frames > 0 && echo_line_length[j] == echo_frames;
}

void mix_channel(int32_t j, int32_t n, int32_t count, int32_t echo_frames) {
  float* line = echo_line[j].get();
  const float* frames = sample[j].get();
  const float length = static_cast<float>(sample_length[j]);
  const float coef = filter_coef[j];
  const float gain = volume[j];
  const float left_share = pan[j];
  const float right_share = 1.0f - pan[j];
  const float glide = slide[j];
  const bool feed_echo = echo_on[j] != 0;
  float pos = position[j];
  float step = rate[j];
  float state = filter_state[j];
  int32_t write = ring_index(n, echo_frames);
  for (int32_t f = 0; f < count; ++f) {
    const int32_t read = write + 1 == echo_frames ? 0 : write + 1;
    const float echo = line[read];
    line[write] = static_cast<float>(0.6 * static_cast<double>(echo));
    float x = echo;
    if (pos >= 0.0f && pos < length) {
      x = echo + frames[static_cast<int32_t>(pos)];
      if (feed_echo) line[write] = static_cast<float>(0.2 * static_cast<double>(x));
      pos += step;
      step += glide;
      // Written so that a position that is not a number also ends the voice.
      if (!(pos >= 0.0f && pos < length)) pos = -1.0f;
    }
    if (coef != 0.0f) x = x * (1.0f - coef) + coef * state;
    state = x;
    x = x * gain;
    left_sum[f] += left_share * x;
    right_sum[f] += right_share * x;
    write = read;
  }
  position[j] = pos;
  rate[j] = step;
  filter_state[j] = state;
}

int16_t to_output(float v) {
  if (v >= -3.0f && v <= 3.0f) return static_cast<int16_t>(static_cast<double>(v) * 10922.0);
  if (v > 3.0f) return 32766;
  if (v < -3.0f) return -32766;
  return 0;  // not a number
}

// Frames n ... n + count - 1, with no row tick after the first and count <= callback_frames.
void mix_block(int16_t* out, int32_t n, int32_t count, int32_t last_channel, int32_t echo_frames) {
  for (int32_t f = 0; f < count; ++f) {
    left_sum[f] = 0.0f;
    right_sum[f] = 0.0f;
  }
  for (int32_t j = 1; j <= last_channel; ++j) {
    if (channel_has_instrument(j, echo_frames)) mix_channel(j, n, count, echo_frames);
  }
  for (int32_t f = 0; f < count; ++f) {
    out[2 * f] = to_output(left_sum[f]);
    out[2 * f + 1] = to_output(right_sum[f]);
  }
}

// Frames from n to the next multiple of the row length (a whole row when n is one).
int32_t frames_to_next_tick(int32_t n, int32_t row_frames) {
  const int32_t rest = n % row_frames;
  if (rest == 0) return row_frames;
  return rest > 0 ? row_frames - rest : -rest;
}

int32_t smallest(int64_t a, int64_t b) {
  return static_cast<int32_t>(a < b ? a : b);
}

void mix_song(int16_t* out, int32_t frames, int32_t base, int32_t row_frames, int32_t echo_frames) {
  const int32_t last_channel = walk_end();
  int32_t done = 0;
  while (done < frames) {
    const int32_t n = advance_clock(base, done);
    if (n % row_frames == 0) row_tick(last_channel);
    int32_t count = smallest(frames - done, callback_frames);
    count = smallest(count, frames_to_next_tick(n, row_frames));
    count = smallest(count, static_cast<int64_t>(int32_max) - n + 1);  // stop where n wraps
    mix_block(out + 2 * static_cast<int64_t>(done), n, count, last_channel, echo_frames);
    done += count;
  }
}

void write_silence(int16_t* out, int32_t frames) {
  for (int64_t i = 0; i < 2 * static_cast<int64_t>(frames); ++i) out[i] = 0;
}

void measure_values(const int16_t* values, int32_t count) {
  float peak = -10.0f;
  for (int32_t i = 0; i < count; ++i) {
    float v = static_cast<float>(values[i]) * (1.0f / 32768.0f);
    if (v < 0.0f) v = -v;
    if (v > peak) peak = v;
  }
  const double old_level = audio_level.load(std::memory_order_relaxed);
  audio_level.store(static_cast<float>(0.85 * old_level + 0.15 * static_cast<double>(peak)),
                    std::memory_order_relaxed);
}

}  // namespace

void mixer_init() {
  for (int32_t k = 0; k < channel_count; ++k) {
    track_pos[k] = track_not_started;
    row_in_pattern[k] = 0;
    position[k] = -1.0f;
    rate[k] = 0.0f;
    slide[k] = 0.0f;
    volume[k] = 1.0f;
    filter_coef[k] = 0.0f;
    filter_state[k] = 0.0f;
    pan[k] = k % 2 == 0 ? 0.6f : 0.4f;
    echo_on[k] = 0;
  }
  frames_mixed.store(0, std::memory_order_relaxed);
}

void mix_frames(int16_t* out, int32_t frames) {
  if (frames <= 0) return;
  const int32_t row_frames = samples_per_row;
  const int32_t echo_frames = echo_length;
  const int32_t base = frames_mixed.load(std::memory_order_relaxed);
  if (tracks[1][0] == end_marker || row_frames <= 0) {
    write_silence(out, frames);
  } else {
    mix_song(out, frames, base, row_frames, echo_frames);
  }
  frames_mixed.store(advance_clock(base, frames), std::memory_order_relaxed);
}

void measure_level(const int16_t* buffer) {
  measure_values(buffer, 2 * callback_frames);
}

// SDL hands over bytes: the values are mixed into a buffer of their own and written out
// little-endian byte by byte. Longer buffers than SDL's are mixed a buffer at a time and
// measured on their first one; shorter ones are measured on what they hold.
void audio_callback(void* /*userdata*/, uint8_t* stream, int len) {
  const int32_t frames = len / 4;
  for (int32_t done = 0; done < frames; done += callback_frames) {
    const int32_t count = smallest(frames - done, callback_frames);
    mix_frames(callback_scratch.data(), count);
    uint8_t* bytes = stream + 4 * static_cast<int64_t>(done);
    for (int32_t i = 0; i < 2 * count; ++i) {
      const uint16_t value = static_cast<uint16_t>(callback_scratch[i]);
      bytes[2 * i] = static_cast<uint8_t>(value & 0xff);
      bytes[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
    if (done == 0) measure_values(callback_scratch.data(), 2 * count);
  }
}
