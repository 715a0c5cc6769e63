// Channel state, the mixer and the level meter. Runs on SDL's audio thread (mixer_init on the
// main thread before sound starts): no allocation, no lock, no library call in here.
//
// The buffer is mixed in blocks that hold at most one row tick, at their first frame, and
// inside a block one channel at a time. Every frame still adds the channels in ascending
// order, so the sums are bit for bit those of a frame-by-frame mix.
#include "music/mixer.h"

#include <bit>

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
std::atomic<uint32_t> channel_mute_mask{0};
std::atomic<bool> channel_meters_on{false};
std::array<float, channel_count> channel_peak{};
std::atomic<bool> song_published{false};

// Compilers turn plain fill and copy loops into calls of memset and memcpy; the functions
// marked with this keep them as loops, so the audio thread never enters the C library.
#if defined(__clang__)
#define KELVORINSAA_KEEP_LOOPS __attribute__((no_builtin("memset", "memcpy", "memmove")))
#elif defined(__GNUC__)
#define KELVORINSAA_KEEP_LOOPS __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define KELVORINSAA_KEEP_LOOPS
#endif

namespace {

// The party build is made for size: it leaves out the fast paths (vector groups, the skipping of
// silent echo lines and resting channels), whose plain loops give the same values, and the
// tools' hooks (mute mask, meters, settle switch). The plain mixer's tests build it that way too.
#if defined(KELVORINSAA_PARTY) || defined(KELVORINSAA_PLAIN_MIXER)
constexpr bool speed_paths_built_in = false;
#else
constexpr bool speed_paths_built_in = true;
#endif
#if defined(KELVORINSAA_PARTY)
constexpr bool tool_hooks_built_in = false;
#else
constexpr bool tool_hooks_built_in = true;
#endif

// The arithmetic loops run in groups of this many frames, a shape the compiler turns into
// vector instructions; the scratch arrays have room for the last group's overhang.
constexpr int32_t frame_group = 8;
constexpr int32_t scratch_frames = callback_frames + frame_group;

std::array<float, scratch_frames> left_sum;
std::array<float, scratch_frames> right_sum;
std::array<float, scratch_frames> dry;        // sample values of the frames the voice sounds
std::array<float, scratch_frames> signal;     // the channel before filter, volume and pan
std::array<float, scratch_frames> echo_read;  // what each frame reads from the echo line
std::array<float, scratch_frames> echo_kept;  // what each frame leaves in the echo line
std::array<int16_t, 2 * callback_frames> callback_scratch;

// Per channel, how many of the latest frames left +0 in the echo line (counted up to the
// line's length, and only in whole blocks). Once a line's length of them has passed, every slot
// holds +0: such a line is known silent and left untouched while nothing feeds it.
std::array<int32_t, channel_count> silent_line_frames{};

// Frames mixed since sound started. 64 bits run for millions of years without a seam in the
// row grid or the echo ring; frames_mixed shows its low 32 bits to the picture.
int64_t mixer_clock = 0;

int32_t low_32_bits(int64_t clock) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(clock)));
}

int32_t ring_index(int64_t n, int32_t length) {
  const int64_t index = n % length;
  return static_cast<int32_t>(index < 0 ? index + length : index);
}

int32_t smallest(int64_t a, int64_t b) {
  return static_cast<int32_t>(a < b ? a : b);
}

// A channel without an instrument, or whose echo line was made for another tempo, is silent.
bool channel_has_instrument(int32_t j, int32_t echo_frames) {
  return sample[j] != nullptr && sample_length[j] > 0 && echo_line[j] != nullptr &&
         echo_frames > 0 && echo_line_length[j] == echo_frames;
}

// Plays the voice into dry[] and returns the number of frames it sounded: from the block's
// start until the end of the block or of the sample, whichever comes first.
int32_t play_frames(const float* frames, float length, float glide, float& pos, float& step,
                    int32_t count) {
  int32_t f = 0;
  if (pos >= 0.0f && pos < length) {
    while (f < count) {
      dry[f++] = frames[static_cast<int32_t>(pos)];
      pos += step;
      step += glide;
      // Written so that a position that is not a number also ends the voice.
      if (!(pos >= 0.0f && pos < length)) {
        pos = -1.0f;
        break;
      }
    }
  }
  return f;
}

int32_t play_voice(int32_t j, int32_t count) {
  float pos = position[j];
  float step = rate[j];
  const int32_t sounded = play_frames(sample[j].get(), static_cast<float>(sample_length[j]),
                                      slide[j], pos, step, count);
  position[j] = pos;
  rate[j] = step;
  return sounded;
}

// Echo tails decay by 0.6 per pass, but 0.6 times the smallest subnormal float rounds back to
// itself: without help a silent line would hold subnormals for ever, and arithmetic on them
// costs several times the normal. A value that rounds below the smallest normal float is stored
// as 0 instead. Such a value is at least 2^100 below anything that reaches the output, so every
// 16-bit value stays the same, as long as no filter with a coefficient beyond 1 amplifies
// it: those channels keep the subnormals. The test is on the bits, so that it runs in vectors.
// The bits are read with the compiler's own bit cast: the web build's C++ library has no
// std::bit_cast, and a memcpy would be a library call in unoptimized builds.
template <bool settle_tiny>
float settled(float value) {
  if constexpr (!settle_tiny) return value;
  const uint32_t bits = __builtin_bit_cast(uint32_t, value);
  return __builtin_bit_cast(float, (bits & 0x7f800000u) == 0 ? 0u : bits);
}

bool settles_tiny_values = true;

bool may_settle_with(float coef) {
  return (settles_tiny_values || !tool_hooks_built_in) && coef >= -1.0f && coef <= 1.0f;
}

bool may_settle(int32_t j) {
  return may_settle_with(filter_coef[j]);
}

// What frames [from, to) of the block read from the echo line is in echo_read[]. The echo is
// added to the voice while it sounds; the line keeps 0.2 of the sum while a voice with echo on
// sounds (fed), and 0.6 of what it held otherwise. Groups may run past `to` into the scratch.
template <bool settle_tiny, bool voiced, bool fed>
KELVORINSAA_KEEP_LOOPS void form_echo(int32_t from, int32_t to) {
  for (int32_t f = from; f < to; f += frame_group) {
    for (int32_t g = f; g < f + frame_group; ++g) {
      const float echo = echo_read[g];
      signal[g] = voiced ? echo + dry[g] : echo;
      const double kept =
          fed ? 0.2 * static_cast<double>(signal[g]) : 0.6 * static_cast<double>(echo);
      echo_kept[g] = settled<settle_tiny>(static_cast<float>(kept));
    }
  }
}

template <bool settle_tiny>
void form_echoes(int32_t from, int32_t to, int32_t sounding, bool feed_echo) {
  const int32_t voiced_end = sounding < from ? from : sounding < to ? sounding : to;
  if (feed_echo) {
    form_echo<settle_tiny, true, true>(from, voiced_end);
  } else {
    form_echo<settle_tiny, true, false>(from, voiced_end);
  }
  form_echo<settle_tiny, false, false>(voiced_end, to);
}

// Copies count floats between the echo line and the scratch, a group at a time: a group is a
// pair of vector moves when optimized, and a plain loop, never a call to memcpy, when not.
KELVORINSAA_KEEP_LOOPS void copy_floats(float* to, const float* from, int32_t count) {
  int32_t i = 0;
  for (; i + frame_group <= count; i += frame_group) {
    for (int32_t g = i; g < i + frame_group; ++g) to[g] = from[g];
  }
  for (; i < count; ++i) to[i] = from[i];
}

// Whether all count values are +0, bit for bit.
bool all_positive_zeros(const float* values, int32_t count) {
  uint32_t bits = 0;
  int32_t i = 0;
  for (; i + frame_group <= count; i += frame_group) {
    for (int32_t g = 0; g < frame_group; ++g) bits |= __builtin_bit_cast(uint32_t, values[i + g]);
  }
  for (; i < count; ++i) bits |= __builtin_bit_cast(uint32_t, values[i]);
  return bits == 0;
}

// Frame f of the block reads the ring at (n + f + 1) mod E and writes it at (n + f) mod E. In
// a stretch of fewer than E frames no frame reads what another one wrote, so each stretch is
// read whole into the scratch, worked on there and written back, wrapping where the ring does.
void run_echo(int32_t j, int64_t n, int32_t count, int32_t sounding, int32_t echo_frames) {
  float* line = echo_line[j].get();
  const bool feed_echo = echo_on[j] != 0;
  const bool settle_tiny = may_settle(j);
  const int32_t longest = echo_frames > 1 ? echo_frames - 1 : 1;
  for (int32_t f = 0; f < count;) {
    const int32_t to = count - f < longest ? count : f + longest;
    const int32_t write = ring_index(n + f, echo_frames);
    const int32_t read = write + 1 == echo_frames ? 0 : write + 1;
    const int32_t read_first = smallest(to - f, echo_frames - read);
    copy_floats(echo_read.data() + f, line + read, read_first);
    copy_floats(echo_read.data() + f + read_first, line, to - f - read_first);
    if (settle_tiny) {
      form_echoes<true>(f, to, sounding, feed_echo);
    } else {
      form_echoes<false>(f, to, sounding, feed_echo);
    }
    const int32_t write_first = smallest(to - f, echo_frames - write);
    copy_floats(line + write, echo_kept.data() + f, write_first);
    copy_floats(line, echo_kept.data() + f + write_first, to - f - write_first);
    f = to;
  }
  const int32_t silent = silent_line_frames[j];
  silent_line_frames[j] = all_positive_zeros(echo_kept.data(), count)
                              ? (silent < echo_frames - count ? silent + count : echo_frames)
                              : 0;
}

// The plain echo: frame by frame on the ring, the values of run_echo without its scratch.
void run_echo_plain(int32_t j, int64_t n, int32_t count, int32_t sounding, int32_t echo_frames) {
  float* line = echo_line[j].get();
  const bool feed_echo = echo_on[j] != 0;
  const bool settle_tiny = may_settle(j);
  int32_t write = ring_index(n, echo_frames);
  for (int32_t f = 0; f < count; ++f) {
    const int32_t read = write + 1 == echo_frames ? 0 : write + 1;
    const float echo = line[read];
    const bool voiced = f < sounding;
    signal[f] = voiced ? echo + dry[f] : echo;
    const double kept = voiced && feed_echo ? 0.2 * static_cast<double>(signal[f])
                                            : 0.6 * static_cast<double>(echo);
    const float stored = static_cast<float>(kept);
    line[write] = settle_tiny ? settled<true>(stored) : stored;
    write = read;
  }
}

// The echo of a silent line: every value read is +0 and so is every value kept, the slots as
// they were. The voice passes on as +0 plus its value, what the full echo gives.
KELVORINSAA_KEEP_LOOPS void pass_voice(int32_t count, int32_t sounding) {
  const int32_t voiced_end = sounding < count ? sounding : count;
  for (int32_t f = 0; f < voiced_end; f += frame_group) {
    for (int32_t g = f; g < f + frame_group; ++g) signal[g] = 0.0f + dry[g];
  }
  for (int32_t f = voiced_end; f < count; f += frame_group) {
    for (int32_t g = f; g < f + frame_group; ++g) signal[g] = 0.0f;
  }
}

// The low-pass filter's state is its last output. Fed silence, it decays by the coefficient
// per frame, and with a coefficient near 1 it stops at a subnormal (0.99 times 2^-149 rounds
// back to 2^-149) and costs subnormal arithmetic for ever; settled like the echo, it reaches 0.
template <bool settle_tiny>
void run_filter(float coef, float& state, int32_t count) {
  for (int32_t f = 0; f < count; ++f) {
    state = settled<settle_tiny>(signal[f] * (1.0f - coef) + coef * state);
    signal[f] = state;
  }
}

void run_filter_plain(float coef, float& state, int32_t count, bool settle_tiny) {
  for (int32_t f = 0; f < count; ++f) {
    const float next = signal[f] * (1.0f - coef) + coef * state;
    state = settle_tiny ? settled<true>(next) : next;
    signal[f] = state;
  }
}

void filter_values(float coef, float& state, int32_t count) {
  if (coef != 0.0f) {
    if (!speed_paths_built_in) {
      run_filter_plain(coef, state, count, may_settle_with(coef));
    } else if (may_settle_with(coef)) {
      run_filter<true>(coef, state, count);
    } else {
      run_filter<false>(coef, state, count);
    }
  } else if (count > 0) {
    state = signal[count - 1];
  }
}

void filter_signal(int32_t j, int32_t count) {
  filter_values(filter_coef[j], filter_state[j], count);
}

void add_signal_to_sums(float gain, float left_share, int32_t count) {
  const float right_share = 1.0f - left_share;
  if constexpr (!speed_paths_built_in) {
    for (int32_t f = 0; f < count; ++f) {
      const float x = signal[f] * gain;
      left_sum[f] += left_share * x;
      right_sum[f] += right_share * x;
    }
    return;
  }
  for (int32_t f = 0; f < count; f += frame_group) {
    for (int32_t g = f; g < f + frame_group; ++g) {
      const float x = signal[g] * gain;
      left_sum[g] += left_share * x;
      right_sum[g] += right_share * x;
    }
  }
}

void add_to_sums(int32_t j, int32_t count) {
  add_signal_to_sums(volume[j], pan[j], count);
}

void meter_channel(int32_t j, int32_t count) {
  const float gain = volume[j];
  float peak = channel_peak[j];
  for (int32_t f = 0; f < count; ++f) {
    const float x = signal[f] * gain;
    const float magnitude = x < 0.0f ? -x : x;
    peak = magnitude > peak ? magnitude : peak;
  }
  channel_peak[j] = peak;
}

bool is_finite(float v) {
  return v - v == 0.0f;
}

// A silent voice over a silent line, through a filter at rest: the channel's signal is +0 in
// every frame, the filter stays at rest, and +0 times a finite gain changes no sum and no peak.
bool channel_at_rest(int32_t j, int32_t sounding, int32_t echo_frames) {
  return sounding == 0 && silent_line_frames[j] >= echo_frames &&
         __builtin_bit_cast(uint32_t, filter_state[j]) == 0 && is_finite(filter_coef[j]) &&
         is_finite(volume[j]) && is_finite(pan[j]);
}

// One channel's voice, echo and filter over the frames of a block, its signal left in signal[]:
// everything of a channel before the sum, the same steps whether the mix or a tool runs it. False
// when the channel is at rest, its signal +0 throughout and its filter untouched.
inline bool run_channel(int32_t j, int64_t n, int32_t count, int32_t echo_frames) {
  const int32_t sounding = play_voice(j, count);
  // Plain ifs on the constants, not if constexpr: every function stays referenced, so no
  // compiler warns of one that a build leaves out.
  if (!speed_paths_built_in) {
    run_echo_plain(j, n, count, sounding, echo_frames);
  } else if (channel_at_rest(j, sounding, echo_frames)) {
    return false;
  } else if (silent_line_frames[j] >= echo_frames && (echo_on[j] == 0 || sounding == 0)) {
    pass_voice(count, sounding);
  } else {
    run_echo(j, n, count, sounding, echo_frames);
  }
  filter_signal(j, count);
  return true;
}

// Stems: where the tool wants each channel's frames, and where this block starts among them.
int16_t* channel_stems = nullptr;
int32_t stem_block_start = 0;

int16_t to_output(float v);

// The channel alone: its share added to sums of 0 gives the share itself (a -0 turns +0, which
// converts to the same 0), so the conversion of the share is what a mix of it alone writes.
void write_stem(int32_t j, int32_t count) {
  const float gain = volume[j];
  const float left_share = pan[j];
  const float right_share = 1.0f - pan[j];
  int16_t* out = channel_stems + static_cast<int64_t>(j) * 2 * callback_frames;
  for (int32_t f = 0; f < count; ++f) {
    const float x = signal[f] * gain;
    out[2 * (stem_block_start + f)] = to_output(left_share * x);
    out[2 * (stem_block_start + f) + 1] = to_output(right_share * x);
  }
}

void mix_channel(int32_t j, int64_t n, int32_t count, int32_t echo_frames) {
  if (!run_channel(j, n, count, echo_frames)) return;
  if (!tool_hooks_built_in) {
    add_to_sums(j, count);
    return;
  }
  if (channel_meters_on.load(std::memory_order_relaxed)) meter_channel(j, count);
  if ((channel_mute_mask.load(std::memory_order_relaxed) >> j & 1u) != 0) return;
  add_to_sums(j, count);
  if (channel_stems != nullptr) write_stem(j, count);
}

// The audition voice: instrument `instrument` as a channel of its own would play a note with
// the defaults (volume 1, no slide, echo off over a silent line, so its signal is the voice
// alone), through the instrument's filter from rest and at its pan. 0 is no voice.
struct Audition {
  int32_t instrument = 0;
  float position = -1.0f;
  float rate = 0.0f;
  float filter_state = 0.0f;
};
Audition audition;

// After the song's channels, so the sums meet it last, as they would a channel above them.
void mix_audition(int32_t count) {
  const int32_t k = audition.instrument;
  if (sample[k] == nullptr || sample_length[k] <= 0) {
    audition = Audition{};
    return;
  }
  const int32_t sounding = play_frames(sample[k].get(), static_cast<float>(sample_length[k]), 0.0f,
                                       audition.position, audition.rate, count);
  pass_voice(count, sounding);
  filter_values(filter_coef[k], audition.filter_state, count);
  add_signal_to_sums(1.0f, pan[k], count);
  if (audition.position < 0.0f && audition.filter_state == 0.0f) audition = Audition{};
}

// Clipped at +-3.0 and scaled, truncating toward zero; not a number gives 0. The clipping is
// done on the bits with masks, not branches, so that a group of frames converts in vectors.
int16_t to_output(float v) {
  if constexpr (!speed_paths_built_in) {
    if (v >= -3.0f && v <= 3.0f) return static_cast<int16_t>(static_cast<double>(v) * 10922.0);
    if (v > 3.0f) return 32766;
    if (v < -3.0f) return -32766;
    return 0;  // not a number
  }
  constexpr uint32_t sign_bit = 0x80000000u;
  constexpr uint32_t full_scale = 0x40400000u;  // the bits of 3.0f
  constexpr uint32_t infinity = 0x7f800000u;
  const uint32_t bits = __builtin_bit_cast(uint32_t, v);
  const uint32_t magnitude = bits & ~sign_bit;
  const uint32_t over = 0u - static_cast<uint32_t>(magnitude > full_scale);
  const uint32_t not_a_number = 0u - static_cast<uint32_t>(magnitude > infinity);
  const uint32_t clipped = (bits & ~over) | (((bits & sign_bit) | full_scale) & over);
  const float number = __builtin_bit_cast(float, clipped & ~not_a_number);
  return static_cast<int16_t>(static_cast<int32_t>(static_cast<double>(number) * 10922.0));
}

// Frames n ... n + count - 1, with no row tick after the first and count <= callback_frames.
KELVORINSAA_KEEP_LOOPS void mix_block(int16_t* out, int64_t n, int32_t count, int32_t last_channel,
                                      int32_t echo_frames) {
  const int32_t group = speed_paths_built_in ? frame_group : 1;
  for (int32_t f = 0; f < count; f += group) {
    for (int32_t g = f; g < f + group; ++g) {
      left_sum[g] = 0.0f;
      right_sum[g] = 0.0f;
    }
  }
  for (int32_t j = 1; j <= last_channel; ++j) {
    if (channel_has_instrument(j, echo_frames)) mix_channel(j, n, count, echo_frames);
  }
  if (tool_hooks_built_in && audition.instrument != 0) mix_audition(count);
  int32_t f = 0;
  for (; speed_paths_built_in && f + frame_group <= count; f += frame_group) {
    for (int32_t g = 0; g < frame_group; ++g) {
      out[2 * (f + g)] = to_output(left_sum[f + g]);
      out[2 * (f + g) + 1] = to_output(right_sum[f + g]);
    }
  }
  for (; f < count; ++f) {
    out[2 * f] = to_output(left_sum[f]);
    out[2 * f + 1] = to_output(right_sum[f]);
  }
}

// Frames from n to the next multiple of the row length (a whole row when n is one).
int32_t frames_to_next_tick(int64_t n, int32_t row_frames) {
  return row_frames - ring_index(n, row_frames);
}

// The frame of the latest row tick, for the tools' row tick hook, and how many times the mixer
// was set up: what tells a tool that the engine it kept copies of was started again.
int64_t tick_frame = 0;
int64_t init_count = 0;

void mix_song(int16_t* out, int32_t frames, int64_t base, int32_t row_frames, int32_t echo_frames) {
  const int32_t last_channel = walk_end();
  int32_t done = 0;
  while (done < frames) {
    const int64_t n = base + done;
    if (n % row_frames == 0) {
      if (tool_hooks_built_in) tick_frame = n;
      row_tick(last_channel);
    }
    int32_t count = smallest(frames - done, callback_frames);
    count = smallest(count, frames_to_next_tick(n, row_frames));
    if (tool_hooks_built_in) stem_block_start = done;
    mix_block(out + 2 * static_cast<int64_t>(done), n, count, last_channel, echo_frames);
    done += count;
  }
}

KELVORINSAA_KEEP_LOOPS void write_silence(int16_t* out, int32_t frames) {
  for (int64_t i = 0; i < 2 * static_cast<int64_t>(frames); ++i) out[i] = 0;
}

// |s| / 32768 is exact in single precision, so the largest quotient is the largest |s| divided.
void measure_values(const int16_t* values, int32_t count) {
  std::array<int32_t, frame_group> largest{};  // one per lane, so the loop can run in vectors
  int32_t i = 0;
  for (; speed_paths_built_in && i + frame_group <= count; i += frame_group) {
    for (int32_t g = 0; g < frame_group; ++g) {
      const int32_t magnitude = values[i + g] < 0 ? -values[i + g] : values[i + g];
      largest[g] = magnitude > largest[g] ? magnitude : largest[g];
    }
  }
  for (; i < count; ++i) {
    const int32_t magnitude = values[i] < 0 ? -values[i] : values[i];
    largest[0] = magnitude > largest[0] ? magnitude : largest[0];
  }
  for (int32_t g = 1; speed_paths_built_in && g < frame_group; ++g)
    largest[0] = largest[g] > largest[0] ? largest[g] : largest[0];
  const float peak = count > 0 ? static_cast<float>(largest[0]) * (1.0f / 32768.0f) : -10.0f;
  const double old_level = audio_level.load(std::memory_order_relaxed);
  audio_level.store(static_cast<float>(0.85 * old_level + 0.15 * static_cast<double>(peak)),
                    std::memory_order_relaxed);
}

KELVORINSAA_KEEP_LOOPS void write_silent_bytes(uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) bytes[i] = 0;
}

// SDL's bytes are little-endian. Where the machine is too, the values are copied as they
// lie in memory, a group at a time (a fixed-size copy is a few vector moves, never a call);
// elsewhere each value is split into its two bytes.
KELVORINSAA_KEEP_LOOPS void write_little_endian(const int16_t* values, int32_t count,
                                                uint8_t* bytes) {
  int32_t i = 0;
  if constexpr (speed_paths_built_in && std::endian::native == std::endian::little) {
    for (; i + frame_group <= count; i += frame_group) {
      __builtin_memcpy(bytes + 2 * i, values + i, frame_group * sizeof(int16_t));
    }
  }
  for (; i < count; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(static_cast<uint16_t>(values[i]) & 0xff);
    bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(values[i]) >> 8);
  }
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
    if constexpr (speed_paths_built_in) silent_line_frames[k] = 0;
  }
  if (tool_hooks_built_in) audition = Audition{};
  song_published.store(false, std::memory_order_relaxed);
  mixer_set_clock(0);
  if (tool_hooks_built_in) ++init_count;
}

void mixer_set_clock(int64_t frames) {
  mixer_clock = frames;
  frames_mixed.store(low_32_bits(frames), std::memory_order_relaxed);
}

void mixer_settle_tiny_values(bool settle) {
  settles_tiny_values = settle;
}

void publish_song() {
  song_published.store(true, std::memory_order_release);
}

void mix_frames(int16_t* out, int32_t frames) {
  if (frames <= 0) return;
  const int32_t row_frames = samples_per_row;
  const int32_t echo_frames = echo_length;
  const int64_t base = mixer_clock;
  if (tracks[1][0] == end_marker || row_frames <= 0) {
    write_silence(out, frames);
  } else {
    mix_song(out, frames, base, row_frames, echo_frames);
  }
  mixer_clock = base + frames;
  frames_mixed.store(low_32_bits(mixer_clock), std::memory_order_relaxed);
}

#if !defined(KELVORINSAA_PARTY)
int64_t mixer_tick_frame() {
  return tick_frame;
}

int64_t mixer_init_count() {
  return init_count;
}

void audition_start(int32_t instrument, int32_t hertz) {
  if (instrument < 1 || instrument >= channel_count || hertz <= 0) return;
  audition = Audition{instrument, 0.0f,
                      static_cast<float>(hertz) / static_cast<float>(base_pitch_hz), 0.0f};
}

void audition_stop() {
  audition = Audition{};
}

void mix_audition_alone(int16_t* out, int32_t frames) {
  for (int32_t done = 0; done < frames; done += callback_frames) {
    const int32_t count = smallest(frames - done, callback_frames);
    left_sum.fill(0.0f);
    right_sum.fill(0.0f);
    if (audition.instrument != 0) mix_audition(count);
    for (int32_t f = 0; f < count; ++f) {
      out[2 * (done + f)] = to_output(left_sum[f]);
      out[2 * (done + f) + 1] = to_output(right_sum[f]);
    }
  }
}

void mixer_forget_silent_lines() {
  silent_line_frames.fill(0);
}

void mixer_set_stems(int16_t* stems) {
  channel_stems = stems;
}

void mixer_run_channel(int32_t j, int64_t n, int32_t frames) {
  const int32_t echo_frames = echo_length;
  if (j < 1 || j >= channel_count || !channel_has_instrument(j, echo_frames)) return;
  for (int32_t done = 0; done < frames;) {
    const int32_t count = smallest(frames - done, callback_frames);
    run_channel(j, n + done, count, echo_frames);
    done += count;
  }
}
#endif

void measure_level(const int16_t* buffer) {
  measure_values(buffer, 2 * callback_frames);
}

// SDL hands over bytes: the values are mixed into a buffer of their own and written out
// little-endian. Longer buffers than SDL's are mixed a buffer at a time and
// measured on their first one; shorter ones are measured on what they hold. Until the song is
// published the callback only writes silence: the clock and the level stay where they are.
void audio_callback(void* /*userdata*/, uint8_t* stream, int len) {
  const int32_t frames = len / 4;
  if (!song_published.load(std::memory_order_acquire)) {
    write_silent_bytes(stream, len);
    return;
  }
  for (int32_t done = 0; done < frames; done += callback_frames) {
    const int32_t count = smallest(frames - done, callback_frames);
    mix_frames(callback_scratch.data(), count);
    write_little_endian(callback_scratch.data(), 2 * count,
                        stream + 4 * static_cast<int64_t>(done));
    if (done == 0) measure_values(callback_scratch.data(), 2 * count);
  }
}
