// Checks the sequencer and the mixer on small hand-made songs: row timing, events, the walk,
// echo, filter, conversion, the level meter, and songs that break the table rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "music/sequencer.h"
#include "music_test_support.h"
#include "shared/shared_values.h"

namespace {

constexpr int32_t row = 100;

int16_t converted(float v) {
  return static_cast<int16_t>(static_cast<double>(v) * 10922.0);
}

class Mixer : public ::testing::Test {
 protected:
  void SetUp() override {
    fresh_model();
    set_tempo(row);
  }
  void TearDown() override { song_model_clear(); }

  static void set_tempo(int32_t frames) {
    samples_per_row = frames;
    echo_length = 3 * frames;
  }

  // Channel k gets a sample with these values and a silent echo line.
  static void give_instrument(int32_t k, const std::vector<float>& values) {
    sample_length[k] = static_cast<int32_t>(values.size());
    sample[k] = std::make_unique<float[]>(values.size());
    std::copy(values.begin(), values.end(), sample[k].get());
    echo_line[k] = std::make_unique<float[]>(echo_length);
    echo_line_length[k] = echo_length;
  }

  static void set_pattern(int32_t p, std::initializer_list<int32_t> codes) {
    int i = 0;
    for (int32_t code : codes) patterns[p][i++] = code;
    patterns[p][i] = end_marker;
  }

  static void set_track(int32_t t, std::initializer_list<int32_t> entries) {
    int i = 0;
    for (int32_t entry : entries) tracks[t][i++] = entry;
    tracks[t][i] = end_marker;
  }

  static std::vector<int16_t> mix(int32_t frames) {
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    mix_frames(out.data(), frames);
    return out;
  }

  // Mixes frames in pieces of the given size and returns the left values.
  static std::vector<int16_t> mix_left(int32_t frames, int32_t piece = callback_frames) {
    std::vector<int16_t> left;
    for (int32_t done = 0; done < frames; done += piece) {
      const std::vector<int16_t> out = mix(std::min(piece, frames - done));
      for (size_t i = 0; i < out.size(); i += 2) left.push_back(out[i]);
    }
    return left;
  }
};

TEST_F(Mixer, TicksFollowTheAbsoluteFrameNumber) {
  set_tempo(300);
  std::vector<float> values(1000);
  for (int i = 0; i < 1000; ++i) values[i] = static_cast<float>(i % 7 + 1) / 8.0f;
  set_pattern(1, {0, 0, 0, 262, 0, 262});
  set_track(1, {1});
  std::vector<std::vector<int16_t>> runs;
  for (int32_t piece : {1024, 1, 7, 299}) {
    mixer_init();
    give_instrument(1, values);
    pan[1] = 1.0f;
    runs.push_back(mix_left(3000, piece));
    EXPECT_EQ(frames_mixed.load(), 3000);
  }
  for (size_t i = 1; i < runs.size(); ++i) EXPECT_EQ(runs[i], runs[0]) << "run " << i;
  const std::vector<int16_t>& left = runs[0];
  for (int f = 0; f < 900; ++f) ASSERT_EQ(left[f], 0) << f;
  EXPECT_EQ(left[900], converted(values[0]));  // the tick's note sounds in its own frame
  EXPECT_EQ(left[901], converted(values[1]));
  EXPECT_EQ(left[1500], converted(values[0]));  // a second note restarts the sample
  EXPECT_EQ(left[1501], converted(values[1]));
  EXPECT_EQ(left[1799], converted(values[299]));
}

TEST_F(Mixer, PatternRowsWithVolume) {
  give_instrument(1, std::vector<float>(10000, 1.0f));
  set_pattern(1, {196, code_volume, 50, 65});
  set_pattern(2, {262});
  set_track(1, {1, 2});
  mix(1);
  EXPECT_EQ(rate[1], 196.0f / 262.0f);
  EXPECT_EQ(position[1], rate[1]);
  EXPECT_EQ(volume[1], 1.0f);
  mix(row);
  EXPECT_EQ(volume[1], 0.5f);
  EXPECT_EQ(row_in_pattern[1], 2);
  EXPECT_EQ(rate[1], 196.0f / 262.0f);
  mix(row);
  EXPECT_EQ(rate[1], 65.0f / 262.0f);
  EXPECT_EQ(position[1], rate[1]);
  mix(row);  // the end marker takes no row: pattern 2 starts in the same tick
  EXPECT_EQ(track_pos[1], 1);
  EXPECT_EQ(row_in_pattern[1], 0);
  EXPECT_EQ(rate[1], 1.0f);
  EXPECT_EQ(volume[1], 0.5f);
  mix(row);  // the track ends; its voice rings on
  EXPECT_EQ(track_pos[1], track_finished);
  EXPECT_EQ(position[1], 101.0f);
  mix(row);
  EXPECT_EQ(position[1], 201.0f);
}

TEST_F(Mixer, SlideLowersTheRateUntilTheVoiceRunsBackward) {
  give_instrument(1, std::vector<float>(150, 1.0f));
  set_pattern(1, {code_slide, -100, 262, 0, 0, code_slide, -1000000, 262});
  set_track(1, {1});
  mix(row + 1);
  EXPECT_EQ(slide[1], static_cast<float>(-100 / 100000.0));
  EXPECT_EQ(rate[1], 1.0f + slide[1]);
  EXPECT_EQ(position[1], 1.0f);  // advanced by the rate from before the slide
  mix(2 * row);                  // the sample ends on the way
  EXPECT_EQ(position[1], -1.0f);
  EXPECT_LT(rate[1], 0.9f);
  const float slid_rate = rate[1];
  mix(row);
  EXPECT_EQ(rate[1], slid_rate);  // a silent voice keeps its rate
  EXPECT_EQ(slide[1], -10.0f);
  mix(row - 1);
  mix(1);  // a new note: position 0 + 1, then the rate 1 - 10
  EXPECT_EQ(position[1], 1.0f);
  EXPECT_EQ(rate[1], -9.0f);
  mix(1);  // 1 - 9 is below the sample: silent
  EXPECT_EQ(position[1], -1.0f);
  EXPECT_EQ(rate[1], -19.0f);
}

TEST_F(Mixer, OneRowPatternsAndLoopWithoutGap) {
  set_pattern(1, {code_echo_on});
  set_pattern(2, {0, 0});
  set_track(1, {1, 2, loop_marker});
  const int32_t expected[][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 0}, {1, 1}, {0, 0}};
  for (const auto& state : expected) {
    mix(row);
    EXPECT_EQ(track_pos[1], state[0]);
    EXPECT_EQ(row_in_pattern[1], state[1]);
  }
  EXPECT_EQ(echo_on[1], 1);
}

TEST_F(Mixer, VoiceEndsAtTheSampleEndAndAfterStop) {
  std::vector<float> values(1000, 0.5f);
  values[999] = 0.25f;
  give_instrument(1, values);
  give_instrument(2, std::vector<float>(1000, 0.5f));
  pan[1] = 1.0f;
  pan[2] = 1.0f;
  set_pattern(1, {262});
  set_pattern(2, {262, code_stop});
  set_track(1, {1});
  set_track(2, {2});
  const std::vector<int16_t> both = mix_left(1100);
  EXPECT_EQ(both[99], converted(1.0f));
  EXPECT_EQ(both[100], converted(0.5f));  // channel 2 stopped at its tick
  EXPECT_EQ(both[999], converted(0.25f));
  EXPECT_EQ(both[1000], 0);
  EXPECT_EQ(position[1], -1.0f);
  EXPECT_EQ(position[2], -1.0f);

  // Positions that are not numbers are silent, whether found or made by the step.
  position[1] = std::numeric_limits<float>::quiet_NaN();
  position[2] = 5.0f;
  rate[2] = std::numeric_limits<float>::quiet_NaN();
  const std::vector<int16_t> left = mix_left(2);
  EXPECT_EQ(left[0], converted(0.5f));
  EXPECT_EQ(left[1], 0);
  EXPECT_EQ(position[2], -1.0f);
}

TEST_F(Mixer, EchoArithmetic) {
  set_pattern(1, {262});
  set_track(1, {1});
  for (uint8_t on : {1, 0}) {
    mixer_init();
    pan[1] = 1.0f;
    echo_on[1] = on;
    give_instrument(1, std::vector<float>(10, 0.5f));
    echo_line[1][1] = 0.1f;  // what frame 0 reads
    const std::vector<int16_t> left = mix_left(1);
    EXPECT_EQ(left[0], converted(0.1f + 0.5f));
    const float fed = on ? static_cast<float>(0.2 * static_cast<double>(0.1f + 0.5f))
                         : static_cast<float>(0.6 * static_cast<double>(0.1f));
    EXPECT_EQ(echo_line[1][0], fed);
    EXPECT_NEAR(echo_line[1][0], on ? 0.12 : 0.06, 1e-7);
  }

  // An impulse comes back after 3 rows less one frame, scaled by 0.6 per pass while the voice
  // is silent, and by 0.2 while it sounds with echo on.
  for (bool sounding : {false, true}) {
    mixer_init();
    pan[1] = 1.0f;
    echo_on[1] = 1;
    std::vector<float> impulse(sounding ? 400 : 1, 0.0f);
    impulse[0] = 1.0f;
    give_instrument(1, impulse);
    const std::vector<int16_t> left = mix_left(700);
    const float first = static_cast<float>(0.2 * 1.0);
    const float second = static_cast<float>((sounding ? 0.2 : 0.6) * static_cast<double>(first));
    for (int f = 0; f < 700; ++f) {
      const int16_t expected = f == 0     ? converted(1.0f)
                               : f == 299 ? converted(first)
                               : f == 598 ? converted(second)
                                          : 0;
      ASSERT_EQ(left[f], expected) << f << (sounding ? " sounding" : " silent");
    }
  }
}

TEST_F(Mixer, EchoLinesShorterThanABlock) {
  // A ring of two floats: every frame hears what the frame before it stored.
  set_pattern(1, {262});
  set_track(1, {1});
  echo_length = 2;
  give_instrument(1, {1.0f});
  pan[1] = 1.0f;
  echo_on[1] = 1;
  const std::vector<int16_t> left = mix_left(row);
  float echo = static_cast<float>(0.2 * 1.0);
  EXPECT_EQ(left[0], converted(1.0f));
  for (int f = 1; f < 40; ++f) {
    ASSERT_EQ(left[f], converted(echo)) << f;
    echo = static_cast<float>(0.6 * static_cast<double>(echo));
  }
}

TEST_F(Mixer, FilterArithmetic) {
  set_pattern(1, {262});
  set_track(1, {1});
  for (float coef : {0.25f, 0.0f}) {
    mixer_init();
    give_instrument(1, std::vector<float>(10, 0.8f));
    pan[1] = 1.0f;
    filter_coef[1] = coef;
    filter_state[1] = 0.4f;
    const std::vector<int16_t> left = mix_left(1);
    const float filtered = coef != 0.0f ? 0.8f * (1.0f - coef) + coef * 0.4f : 0.8f;
    EXPECT_EQ(filter_state[1], filtered);
    EXPECT_NEAR(filter_state[1], coef != 0.0f ? 0.7 : 0.8, 1e-7);
    EXPECT_EQ(left[0], converted(filtered));
  }
}

// A sparse channel, frame by frame as the rules state it: long silences let the mixer skip a
// line it knows to be silent and a channel at rest, which must still hear a filter's tail, wake
// for echo1 and a note, and give every value the plain computation gives.
TEST_F(Mixer, SparseChannelMatchesTheFrameByFrameRules) {
  constexpr int32_t rows = 60;
  constexpr float coef = 0.99f;
  const std::vector<float> note(150, 0.9f);
  std::vector<int32_t> codes(rows, 0);
  codes[10] = 262;
  codes[30] = code_echo_on;
  codes[31] = 262;
  for (int32_t r = 0; r < rows; ++r) patterns[1][r] = codes[r];
  patterns[1][rows] = end_marker;
  set_track(1, {1});
  give_instrument(1, note);
  filter_coef[1] = coef;
  const std::vector<int16_t> left = mix_left(rows * row, 1000);

  const int32_t echo_frames = 3 * row;
  std::vector<float> line(echo_frames, 0.0f);
  float state = 0.0f;
  float pos = -1.0f;
  bool echo = false;
  for (int32_t n = 0; n < rows * row; ++n) {
    if (n % row == 0 && codes[n / row] == 262) pos = 0.0f;
    if (n % row == 0 && codes[n / row] == code_echo_on) echo = true;
    const float e = line[(n + 1) % echo_frames];
    line[n % echo_frames] = static_cast<float>(0.6 * static_cast<double>(e));
    float x = e;
    if (pos >= 0.0f) {
      x = e + note[static_cast<size_t>(pos)];
      if (echo) line[n % echo_frames] = static_cast<float>(0.2 * static_cast<double>(x));
      pos = pos + 1.0f < static_cast<float>(note.size()) ? pos + 1.0f : -1.0f;
    }
    state = x * (1.0f - coef) + coef * state;
    ASSERT_EQ(left[n], converted(0.4f * state)) << "frame " << n;
  }
  EXPECT_NE(left[31 * row + 3 * row - 1 + 20], 0) << "the echo of the second note is heard";
}

TEST_F(Mixer, PanVolumeConversionAndClipping) {
  give_instrument(1, std::vector<float>(10000, 1.0f));
  set_pattern(1, {262});
  set_track(1, {1});
  constexpr float inf = std::numeric_limits<float>::infinity();
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  // Pan 1 leaves the right at 0 x volume, which is not a number for an infinite volume.
  const struct {
    float pan, volume;
    int16_t left, right;
  } cases[] = {{0.4f, 1.0f, 4368, 6553},      {0.4f, 2.5f, 10922, 16383},
               {0.4f, 10.0f, 32766, 32766},   {0.4f, -10.0f, -32766, -32766},
               {1.0f, 3.0f, 32766, 0},        {1.0f, -3.0f, -32766, 0},
               {1.0f, 1.0f / 20000.0f, 0, 0}, {1.0f, -1.0f / 10000.0f, -1, 0},
               {1.0f, inf, 32766, 0},         {1.0f, nan, 0, 0}};
  EXPECT_EQ(pan[1], 0.4f);  // the defaults: odd channels lean right, even ones left
  EXPECT_EQ(pan[2], 0.6f);
  for (const auto& c : cases) {
    pan[1] = c.pan;
    volume[1] = c.volume;
    const std::vector<int16_t> out = mix(1);
    EXPECT_EQ(std::make_pair(out[0], out[1]), std::make_pair(c.left, c.right))
        << "pan " << c.pan << " volume " << c.volume;
  }
}

TEST_F(Mixer, SilentPaths) {
  give_instrument(2, std::vector<float>(100, 1.0f));
  echo_line[2][5] = 0.7f;
  set_pattern(1, {262});
  set_track(2, {1});
  std::vector<int16_t> out(20, 123);
  mix_frames(out.data(), 0);
  mix_frames(out.data(), -4);
  EXPECT_EQ(out, std::vector<int16_t>(20, 123));
  EXPECT_EQ(frames_mixed.load(), 0);

  // Track 1 empty: nothing is heard, ticked or touched, whatever track 2 holds.
  EXPECT_EQ(mix(1000), std::vector<int16_t>(2000, 0));
  EXPECT_EQ(frames_mixed.load(), 1000);
  EXPECT_EQ(track_pos[2], track_not_started);
  EXPECT_EQ(echo_line[2][5], 0.7f);

  // No usable row length: silence instead of a division by zero.
  set_track(1, {1});
  give_instrument(1, std::vector<float>(100, 1.0f));
  for (int32_t frames : {0, -5}) {
    samples_per_row = frames;
    EXPECT_EQ(mix(500), std::vector<int16_t>(1000, 0));
  }
  EXPECT_EQ(frames_mixed.load(), 2000);
  EXPECT_EQ(track_pos[1], track_not_started);
}

TEST_F(Mixer, WalkStopsAtTheFirstEmptyTrackAndInsideTheTable) {
  set_pattern(1, {262});
  set_track(0, {1});
  set_track(1, {1});
  set_track(2, {1});
  set_track(4, {1});
  give_instrument(4, std::vector<float>(100, 1.0f));
  EXPECT_EQ(walk_end(), 2);
  EXPECT_EQ(mix(300), std::vector<int16_t>(600, 0));  // channels 1 and 2 have no instrument
  EXPECT_EQ(track_pos[4], track_not_started);
  EXPECT_EQ(track_pos[0], track_not_started);
  EXPECT_EQ(position[1], 0.0f);  // their notes were dispatched but nothing read them

  for (int t = 1; t < track_count; ++t) set_track(t, {1});
  EXPECT_EQ(walk_end(), 29);
  const std::vector<int16_t> out = mix(300);
  EXPECT_NE(out[0], 0);
  EXPECT_EQ(track_pos[29], track_finished);

  // Echo lines made for another tempo are never overrun: their channels fall silent.
  set_tempo(2 * row);
  EXPECT_EQ(mix(300), std::vector<int16_t>(600, 0));
}

TEST_F(Mixer, EmptyAndUnendedPatterns) {
  set_pattern(1, {});
  set_pattern(2, {262});
  set_track(1, {1, 2});
  set_track(2, {1, loop_marker});
  give_instrument(1, std::vector<float>(10000, 1.0f));
  give_instrument(2, std::vector<float>(10000, 1.0f));
  mix(row);  // an empty pattern takes one silent row; its end marker is no note
  EXPECT_EQ(position[1], -1.0f);
  EXPECT_EQ(rate[1], 0.0f);
  mix(row);
  EXPECT_EQ(track_pos[1], 1);
  EXPECT_EQ(rate[1], 1.0f);
  mix(10 * row);  // a track of empty patterns loops silently without hanging
  EXPECT_EQ(track_pos[2], 0);
  EXPECT_EQ(position[2], -1.0f);

  // Patterns without an end marker end with their last entry, even on a "vol" with no room
  // left for its argument.
  fresh_model();
  set_tempo(10);
  for (int i = 0; i < pattern_width; ++i) patterns[8][i] = i == pattern_width - 1 ? code_volume : 0;
  set_track(1, {7, loop_marker});  // pattern 7 was never defined: all zeros
  set_track(2, {8, loop_marker});
  for (int tick = 0; tick < 250; ++tick) {
    mix(10);
    ASSERT_EQ(row_in_pattern[1], tick % 100) << tick;
    ASSERT_EQ(row_in_pattern[2], tick % 100) << tick;
    ASSERT_EQ(track_pos[1], 0);
  }
  EXPECT_EQ(volume[2], 1.0f);
}

TEST_F(Mixer, TracksThatNameNoPatternFinish) {
  set_pattern(1, {0});
  tracks[1][0] = loop_marker;  // "loop" first
  set_track(2, {1000});
  set_track(3, {1, 5000, 1});
  set_track(4, {1, loop_marker});
  tracks[4][0] = -7;  // and a loop back to an entry that is no pattern
  for (int i = 0; i < track_width; ++i) tracks[5][i] = 1;  // no end marker at all
  set_track(6, {});
  mix(1);
  EXPECT_EQ(track_pos[1], track_finished);
  EXPECT_EQ(track_pos[2], track_finished);
  EXPECT_EQ(track_pos[3], 0);
  EXPECT_EQ(track_pos[4], track_finished);
  mix(row);
  EXPECT_EQ(track_pos[3], track_finished);
  mix(98 * row);
  EXPECT_EQ(track_pos[5], 99);
  mix(row);
  EXPECT_EQ(track_pos[5], track_finished);
}

// A player looping a song for a day passes 2^31 and 2^32 frames: the row grid and the echo
// ring must run on as if from 0, while frames_mixed shows the low 32 bits.
TEST_F(Mixer, ClockRunsOnPastThirtyTwoBits) {
  const auto play = [](int64_t start) {
    fresh_model();
    set_tempo(row);
    give_instrument(1, std::vector<float>(250, 0.5f));
    set_pattern(1, {code_echo_on, 262, 0, 330});
    set_track(1, {1, loop_marker});
    mixer_set_clock(start);
    return mix(4096);
  };
  const std::vector<int16_t> from_zero = play(0);
  for (const int64_t wrap : {int64_t{1} << 31, int64_t{1} << 32}) {
    const int64_t start = (wrap - 1000) / (3 * row) * (3 * row);  // a whole number of echo rings
    EXPECT_EQ(play(start), from_zero) << "across " << wrap;
    EXPECT_EQ(frames_mixed.load(), static_cast<int32_t>(static_cast<uint32_t>(start + 4096)));
  }
}

TEST_F(Mixer, LevelMeter) {
  std::vector<int16_t> buffer(2 * callback_frames, 0);
  audio_level.store(0.5f);
  measure_level(buffer.data());
  EXPECT_EQ(audio_level.load(), static_cast<float>(0.85 * 0.5));
  buffer[1001] = -32766;
  buffer[7] = 20000;
  const double old_level = audio_level.load();
  measure_level(buffer.data());
  EXPECT_EQ(audio_level.load(), static_cast<float>(0.85 * old_level + 0.15 * 0.99993896484375));
  for (int i = 0; i < 200; ++i) measure_level(buffer.data());
  EXPECT_LE(audio_level.load(), 0.99994f);
  EXPECT_GT(audio_level.load(), 0.9999f);
}

TEST_F(Mixer, CallbackWritesLittleEndianAndMeasuresWhatItMixed) {
  give_instrument(1, std::vector<float>(5000, -0.75f));
  set_pattern(1, {262, 0, 262});
  set_track(1, {1, loop_marker});
  const std::vector<int16_t> expected = mix(1024);
  mixer_init();
  give_instrument(1, std::vector<float>(5000, -0.75f));
  audio_level.store(0.0f);
  std::vector<uint8_t> bytes(4096);
  publish_song();
  audio_callback(nullptr, bytes.data(), 4096);
  for (int i = 0; i < 2048; ++i) {
    ASSERT_EQ(static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8), expected[i]) << i;
  }
  EXPECT_EQ(frames_mixed.load(), 1024);
  float peak = 0.0f;
  for (int16_t v : expected) peak = std::max(peak, std::fabs(static_cast<float>(v) / 32768.0f));
  EXPECT_EQ(audio_level.load(), static_cast<float>(0.15 * static_cast<double>(peak)));

  // Buffers shorter than SDL's are mixed and measured within their own length.
  std::vector<uint8_t> small(43);
  audio_callback(nullptr, small.data(), 43);
  EXPECT_EQ(frames_mixed.load(), 1034);
  EXPECT_EQ(small[42], 0);
  audio_callback(nullptr, small.data(), 0);
  EXPECT_EQ(frames_mixed.load(), 1034);
}

// Every value different in both bytes, a stream at an odd address and a length that ends in
// the middle of a group and of a frame: each value lands low byte first, and the bytes beyond
// the whole frames are left alone.
TEST_F(Mixer, CallbackBytesAreLittleEndianAtAnyAddressAndLength) {
  std::vector<float> ramp(5000);
  for (int i = 0; i < 5000; ++i) ramp[i] = -2.9f + 5.8f * static_cast<float>(i) / 4999.0f;
  give_instrument(1, ramp);
  set_pattern(1, {262});
  set_track(1, {1});
  constexpr int32_t frames = callback_frames + 37;
  std::vector<int16_t> expected = mix(callback_frames);
  const std::vector<int16_t> rest = mix(frames - callback_frames);
  expected.insert(expected.end(), rest.begin(), rest.end());
  mixer_init();
  give_instrument(1, ramp);
  publish_song();
  const int len = 4 * frames + 3;
  std::vector<uint8_t> storage(static_cast<size_t>(len) + 2, 0xa5);
  audio_callback(nullptr, storage.data() + 1, len);
  for (int i = 0; i < 2 * frames; ++i) {
    const uint16_t value = static_cast<uint16_t>(expected[i]);
    ASSERT_EQ(storage[1 + 2 * i], value & 0xff) << "low byte of value " << i;
    ASSERT_EQ(storage[2 + 2 * i], value >> 8) << "high byte of value " << i;
  }
  EXPECT_NE(expected[100] & 0xff, expected[100] >> 8 & 0xff) << "a test that cannot tell";
  EXPECT_EQ(storage[0], 0xa5);
  for (int i = 4 * frames + 1; i < len + 2; ++i) EXPECT_EQ(storage[i], 0xa5) << i;
}

// SDL may call back before the song is parsed: until it is published nothing is read, the
// buffer is silent and the clock and the level stay put.
TEST_F(Mixer, CallbackIsSilentUntilTheSongIsPublished) {
  give_instrument(1, std::vector<float>(5000, 0.75f));
  set_pattern(1, {262});
  set_track(1, {1, loop_marker});
  audio_level.store(0.25f);
  std::vector<uint8_t> bytes(4096, 0xa5);
  audio_callback(nullptr, bytes.data(), 4096);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), 4096);
  EXPECT_EQ(frames_mixed.load(), 0);
  EXPECT_EQ(audio_level.load(), 0.25f);
  EXPECT_EQ(position[1], -1.0f);

  publish_song();
  audio_callback(nullptr, bytes.data(), 4096);
  EXPECT_EQ(frames_mixed.load(), 1024);
  EXPECT_NE(bytes[0] | bytes[1], 0);
  mixer_init();  // a new start withdraws the song until it is parsed again
  audio_callback(nullptr, bytes.data(), 4096);
  EXPECT_EQ(frames_mixed.load(), 0);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), 4096);
}

}  // namespace
