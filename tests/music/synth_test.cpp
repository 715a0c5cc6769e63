// Checks the waveform tables and the rendering of instruments into samples: lengths, envelope
// levels, steps, the float accumulation, and lengths and phases outside the usual ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "music_test_support.h"

namespace {

constexpr int32_t slot = 5;

class Synth : public ::testing::Test {
 protected:
  void SetUp() override {
    fresh_model();
    samples_per_row = 5292;
    echo_length = 15876;
  }
  void TearDown() override { song_model_clear(); }

  // Renders into the test slot and returns the sample's frames.
  std::vector<float> render(const InstrumentParams& params) {
    EXPECT_TRUE(render_instrument(slot, params));
    const float* frames = sample[slot].get();
    return frames ? std::vector<float>(frames, frames + sample_length[slot]) : std::vector<float>{};
  }
};

float table(int32_t waveform, int32_t i) {
  return waveforms[waveform][i];
}

TEST_F(Synth, WaveformTables) {
  EXPECT_EQ(wave_period, 168);
  for (int i = 0; i < 168; ++i) EXPECT_EQ(table(waveform_square, i), i < 84 ? -1.0f : 1.0f) << i;

  EXPECT_EQ(table(waveform_sine, 0), 0.0f);
  EXPECT_NEAR(table(waveform_sine, 1), 0.0373912, 1e-7);
  EXPECT_EQ(table(waveform_sine, 42), 1.0f);
  EXPECT_EQ(table(waveform_sine, 126), -1.0f);

  EXPECT_EQ(table(waveform_saw, 0), 0.0f);
  EXPECT_NEAR(table(waveform_saw, 1), 0.0119048, 1e-7);
  EXPECT_NEAR(table(waveform_saw, 83), 0.9880952, 1e-7);
  EXPECT_EQ(table(waveform_saw, 84), -1.0f);
  EXPECT_NEAR(table(waveform_saw, 167), -0.0119048, 1e-7);

  // Noise: thousandths from -1 to 0.999, far from constant, the same after every start-up.
  std::vector<float> noise(waveforms[waveform_noise].get(),
                           waveforms[waveform_noise].get() + 44100);
  int negative = 0;
  for (float v : noise) {
    ASSERT_GE(v, -1.0f);
    ASSERT_LE(v, 0.999f);
    ASSERT_EQ(v, static_cast<float>(std::lround(v * 1000.0f)) / 1000.0f);
    negative += v < 0.0f;
  }
  EXPECT_GT(negative, 20000);
  EXPECT_LT(negative, 24100);
  synth_init(44100);
  EXPECT_TRUE(std::equal(noise.begin(), noise.end(), waveforms[waveform_noise].get()));
}

TEST_F(Synth, FiguresOfTheShowInstruments) {
  struct Figures {
    InstrumentParams params;
    int32_t length;
    float held;
    double mod_step;
    double slide_step;
  };
  const Figures lines[] = {
      {{1, 2, 16, 1, 4000, 0, -60}, 4020, -7.0f, 0.0, -0.000357143},
      {{2, 2, 6, 1, 2000, 0, 0}, 2010, -2.0f, 0.0, 0.0},
      {{3, 2, 10, 1, 5100, 0, 25}, 5114, -4.0f, 0.0, 0.000148810},
      {{2, 2, 5, 1, 4000, 0, 0}, 4009, -1.5f, 0.0, 0.0},
      {{2, 2, 4, 1, 4000, 0, 2}, 4008, -1.0f, 0.0, 0.0000119048},
      {{2, 2, 4, 1, 16000, 0, 0}, 16008, -1.0f, 0.0, 0.0},
      {{2, 2, 5, 1, 23000, 2, 0}, 23009, -1.5f, 0.000747998, 0.0},
      {{0, 2, 4, 1, 3000, 500000, -5}, 3008, -1.0f, 186.999557, -0.0000297619},
      {{1, 2, 7, 1, 44100, 2, 0}, 44111, -2.5f, 0.000747998, 0.0},
      {{3, 2, 5, 1, 8100, 0, -1}, 8109, -1.5f, 0.0, -0.00000595238},
  };
  for (const Figures& line : lines) {
    EXPECT_EQ(instrument_length(line.params), line.length);
    EXPECT_NEAR(modulation_step(line.params.mod_rate), line.mod_step, 1e-6);
    EXPECT_NEAR(slide_step(line.params.pitch_slide), line.slide_step, 1e-9);
    // Rendered as a plain square, the held frame shows the level itself.
    InstrumentParams plain = line.params;
    plain.waveform = waveform_square;
    plain.mod_rate = 0;
    plain.pitch_slide = 0;
    const std::vector<float> frames = render(plain);
    ASSERT_EQ(frames.size(), static_cast<size_t>(line.length));
    const int32_t held_frame = plain.attack_len + plain.decay_len;
    EXPECT_EQ(std::fabs(frames[held_frame]), std::fabs(line.held)) << line.length;
    EXPECT_EQ(frames[0], 0.0f);
    EXPECT_EQ(frames[line.length - 1], 0.0f);
  }
  EXPECT_EQ(modulation_step(500000), 186.999557f);
}

TEST_F(Synth, SawInstrumentFramesFollowTheFloatEnvelope) {
  const std::vector<float> frames = render({waveform_saw, 2, 6, 1, 2000, 0, 0});
  ASSERT_EQ(frames.size(), 2010u);
  const float amps[] = {0.0f, 0.5f, 1.0f, 0.5f, 0.0f, -0.5f, -1.0f, -1.5f, -2.0f, -2.0f};
  for (int w = 0; w < 10; ++w) EXPECT_EQ(frames[w], table(waveform_saw, w) * amps[w]) << w;
  EXPECT_NEAR(frames[10] / table(waveform_saw, 10), -1.999, 1e-6);
  // Two thousand single-precision steps of 0.001 do not land on -0.001.
  const float last_amp = frames[2008] / table(waveform_saw, 2008 % 168);
  EXPECT_NEAR(last_amp, -0.000962639, 1e-8);
  EXPECT_GT(std::fabs(last_amp + 0.001f), 3e-5f);
  EXPECT_EQ(frames[2009], 0.0f);
}

TEST_F(Synth, ZeroAndNegativeLengths) {
  // Zero attack: one frame at 0, then full level, falling by 1 per frame; every frame written.
  std::vector<float> frames = render({waveform_square, 0, 3, 1, 4, 0, 0});
  ASSERT_EQ(frames.size(), 9u);
  EXPECT_EQ(frames[0], 0.0f);
  EXPECT_EQ(frames[1], -1.0f);
  EXPECT_EQ(frames[2], 0.0f);
  EXPECT_EQ(frames[3], 1.0f);
  EXPECT_NE(frames[8], 0.0f);

  // Zero release: one release frame at the held level, which fills the last frame.
  frames = render({waveform_square, 2, 1, 2, 0, 0, 0});
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[5], -0.5f);

  // Zero decay holds full level; decay equal to attack holds silence.
  frames = render({waveform_square, 4, 0, 3, 10, 0, 0});
  EXPECT_EQ(frames[4], -1.0f);
  EXPECT_EQ(frames[6], -1.0f);
  frames = render({waveform_square, 4, 4, 3, 10, 0, 0});
  for (size_t w = 8; w < frames.size(); ++w) EXPECT_EQ(frames[w], 0.0f) << w;

  // Both zero: the segments want one frame more than the sample holds; it is dropped.
  frames = render({waveform_square, 0, 2, 2, 0, 0, 0});
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[4], 1.0f);  // amplitude -1 on the square's low half

  // A negative length skips its segment but still shortens the sample.
  frames = render({waveform_square, -2, 3, 2, 4, 0, 0});
  ASSERT_EQ(frames.size(), 8u);
  // The decay starts from amplitude 0 and subtracts the step 1 / -2, so it rises.
  EXPECT_EQ(frames[0], 0.0f);
  EXPECT_EQ(frames[1], -0.5f);
  EXPECT_EQ(frames[2], -1.0f);
  EXPECT_EQ(frames[7], -0.75f);  // the release, from 1.5 by 0.375, cut at the sample's end

  // A sum of 0 or less gives no sample, and the slot says so.
  EXPECT_TRUE(render_instrument(slot, {waveform_square, -5, 1, 1, 1, 0, 0}));
  EXPECT_EQ(sample_length[slot], 0);
  EXPECT_EQ(sample[slot], nullptr);
  EXPECT_NE(echo_line[slot], nullptr);
  // Lengths whose 32-bit sum wraps are not undefined, and give no sample either.
  EXPECT_EQ(instrument_length({0, 2147483647, 2147483647, 1, 1, 0, 0}), 1);
  EXPECT_EQ(instrument_length({0, 2147483647, 1, 0, 0, 0, 0}), -2147483647);
}

TEST_F(Synth, RefusedInstrumentsLeaveTheSlotAlone) {
  render({waveform_saw, 2, 6, 1, 20, 0, 0});
  const float* before = sample[slot].get();
  EXPECT_FALSE(render_instrument(-1, {waveform_saw, 2, 6, 1, 20, 0, 0}));
  EXPECT_FALSE(render_instrument(instrument_count, {waveform_saw, 2, 6, 1, 20, 0, 0}));
  EXPECT_FALSE(render_instrument(slot, {4, 2, 6, 1, 20, 0, 0}));
  EXPECT_FALSE(render_instrument(slot, {-1, 2, 6, 1, 20, 0, 0}));
  EXPECT_EQ(sample[slot].get(), before);
  EXPECT_EQ(sample_length[slot], 30);

  // A line read again replaces the instrument with fresh, silent memory.
  echo_line[slot][7] = 1.0f;
  render({waveform_saw, 2, 6, 1, 40, 0, 0});
  EXPECT_EQ(sample_length[slot], 50);
  EXPECT_EQ(echo_line[slot][7], 0.0f);
  EXPECT_EQ(echo_line_length[slot], 15876);
}

TEST_F(Synth, SlidesReadTheTableBackwardAndWrapIntoIt) {
  // The show's falling sine: the step passes zero near frame 2800 and the table runs backward.
  std::vector<float> frames = render({waveform_sine, 2, 16, 1, 4000, 0, -60});
  const float step = slide_step(-60);
  float phase = 0.0f;
  float phase_step = 1.0f;
  float highest = 0.0f;
  for (int w = 0; w < 4019; ++w) {
    highest = std::max(highest, phase);
    phase += phase_step;
    phase_step += step;
  }
  EXPECT_NEAR(highest, 1400.0f, 5.0f);
  EXPECT_NEAR(phase, 1135.0f, 5.0f);

  // A phase far below zero and one far beyond the int range still read table entries: with a
  // saw every value divided by the amplitude must be one of its 168 entries.
  for (int32_t slide : {-200000, 2147483647, -2147483647 - 1}) {
    frames = render({waveform_saw, 1, 0, 30000, 1, 0, slide});
    std::vector<float> entries(waveforms[waveform_saw].get(), waveforms[waveform_saw].get() + 168);
    for (int w = 1; w < 30001; ++w) {
      const bool found = std::find(entries.begin(), entries.end(), frames[w]) != entries.end();
      ASSERT_TRUE(found) << "slide " << slide << " frame " << w << " value " << frames[w];
    }
  }
}

TEST_F(Synth, RingModulationFollowsTheSingleModulationPhase) {
  // Slow modulation: silent again near frame 4200, with the sign turned.
  const std::vector<float> frames = render({waveform_square, 1, 0, 9000, 1, 2, 0});
  EXPECT_LT(std::fabs(frames[4200]), 0.001f);
  EXPECT_GT(frames[2100], 0.99f);
  EXPECT_LT(frames[6300], -0.99f);

  // Fast modulation: the phase is the single-precision running sum, never wrapped.
  const std::vector<float> fast = render({waveform_square, 2, 4, 1, 3000, 500000, -5});
  float mod_phase = 0.0f;
  for (int w = 0; w < 3000; ++w) mod_phase += modulation_step(500000);
  const double expected = std::fabs(fast[3000] / std::sin(static_cast<double>(mod_phase)));
  EXPECT_GT(mod_phase, 5.5e5f);
  // The release level of frame 3000, about 7 / 3000 after float rounding; any other modulation
  // phase would make the quotient wander far off.
  EXPECT_NEAR(expected, 7.0 / 3000.0, 1e-4);
}

TEST_F(Synth, LowSampleRatesRenderSilence) {
  synth_init(200);
  EXPECT_EQ(wave_period, 0);
  std::vector<float> frames = render({waveform_sine, 2, 2, 2, 2, 3, 1});
  ASSERT_EQ(frames.size(), 9u);
  for (float v : frames) EXPECT_EQ(v, 0.0f);
  frames = render({waveform_noise, 2, 2, 2, 2, 0, 0});
  EXPECT_NE(frames[1], 0.0f);
}

}  // namespace
