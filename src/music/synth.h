// Instrument synthesis: the four waveform tables and the rendering of every instrument
// into a sample, once, at start-up on the main thread. No oscillator runs in real time.
//
// Usage:
//   synth_init(44100);                       // note table, waveforms, channel defaults
//   render_instrument(2, {2, 2, 6, 1, 2000, 0, 0});  // sample[2], echo_line[2]
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "music/song_model.h"

constexpr int waveform_count = 4;
constexpr int32_t waveform_square = 0;  // "kantti"
constexpr int32_t waveform_sine = 1;    // "sini"
constexpr int32_t waveform_saw = 2;     // "saha"
constexpr int32_t waveform_noise = 3;   // "kohina"

// The seven values of one instrument line, as the line writes them.
struct InstrumentParams {
  int32_t waveform;
  int32_t attack_len;
  int32_t decay_len;
  int32_t sustain_len;
  int32_t release_len;
  int32_t mod_rate;
  int32_t pitch_slide;
};

extern int32_t wave_period;  // entries of one cycle of the periodic tables (168 at 44100)
extern std::array<std::unique_ptr<float[]>, waveform_count> waveforms;

// Floats in echo_line[n] when it was made. The mixer leaves a channel silent when this is not
// the echo_length in force, so a line made before the tempo changed is never overrun.
extern std::array<int32_t, instrument_count> echo_line_length;

// Prepares everything the parser and the mixer need: sample rate, note table, waveform tables,
// empty tracks, channel defaults and frames_mixed = 0.
void synth_init(int32_t rate);

// Gives instrument n a silent echo line of echo_length frames and renders its sample.
// Returns false, leaving the slot untouched, when n is outside the slots, the waveform is not
// one of the four or the memory cannot be had. A length sum of 0 or less gives no sample
// (sample_length 0); frames that the segments would write past the sample are dropped.
bool render_instrument(int32_t n, const InstrumentParams& params);

// Figures of one instrument line, as rendering uses them (wave_period must be set).
int32_t instrument_length(const InstrumentParams& params);  // 32-bit sum, wrapping
float modulation_step(int32_t mod_rate);                    // radians per frame
float slide_step(int32_t pitch_slide);                      // phase_step change per frame
