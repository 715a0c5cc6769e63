// Waveform tables and the one-time rendering of every instrument into a sample. Main thread,
// at start-up, before sound is unpaused; the audio thread only reads what is built here.
#include "music/synth.h"

#include <cmath>
#include <new>
#include <numbers>

#include "music/mixer.h"
#include "music/noise_random.h"
#include "music/song_model.h"
#include "shared/work_limits.h"

int32_t wave_period = 0;
std::array<std::unique_ptr<float[]>, waveform_count> waveforms;
std::array<int32_t, instrument_count> echo_line_length{};

namespace {

// Zero-filled floats, or null when the memory cannot be had; a count of 0 still gives a buffer.
std::unique_ptr<float[]> allocate_floats(int64_t count) {
  if (count < 0) count = 0;
  return std::unique_ptr<float[]>(new (std::nothrow) float[static_cast<size_t>(count)]());
}

void fill_periodic_tables() {
  const int32_t split = sample_rate / 524;
  for (int32_t i = 0; i < wave_period; ++i) {
    waveforms[waveform_square][i] = i < split ? -1.0f : 1.0f;
    waveforms[waveform_sine][i] =
        static_cast<float>(std::sin((std::numbers::pi * 2 * i) / wave_period));
    waveforms[waveform_saw][i] =
        static_cast<float>(std::fmod(1.0 + 2.0 * i / wave_period, 2.0) - 1.0);
  }
}

// The noise is part of the sound, so it must be the same in every run, after every synth_init
// and with every C library: the engine's own generator, from rand()'s default seed each time.
void fill_noise_table() {
  NoiseRandom random = noise_random_seeded(1);
  for (int32_t i = 0; i < sample_rate; ++i) {
    const int32_t r = noise_random_next(random);
    waveforms[waveform_noise][i] = static_cast<float>(r % 2000 - 1000) / 1000.0f;
  }
}

// The rendering state runs on unbroken through the four envelope segments.
struct Voice {
  const float* table;
  int32_t table_length;
  float* out;
  int32_t length;  // frames the sample holds; writes past it are dropped
  int32_t w;
  float phase;
  float phase_step;
  float amp;
  float mod_phase;
  float mod_step;
  float slide_step;
  bool modulated;
};

// trunc(phase) % table_length, wrapped into the table. Phases beyond the int range go
// through fmod, which is exact and gives the same truncating remainder.
int32_t table_index(float phase, int32_t table_length) {
  int32_t index = 0;
  if (phase > -2147483648.0f && phase < 2147483648.0f) {
    index = static_cast<int32_t>(phase) % table_length;
  } else {
    const double rest = std::fmod(static_cast<double>(phase), table_length);
    if (std::isfinite(rest)) index = static_cast<int32_t>(rest);
  }
  return index < 0 ? index + table_length : index;
}

// Renders one segment: frames frames, each followed by amp += amp_change (a held segment
// passes 0 and leaves amp exactly as it is).
void render_segment(Voice& voice, int32_t frames, float amp_change) {
  for (int32_t k = 0; k < frames && voice.w < voice.length; ++k) {
    float v = voice.table[table_index(voice.phase, voice.table_length)] * voice.amp;
    if (voice.modulated) {
      v = static_cast<float>(static_cast<double>(v) *
                             std::sin(static_cast<double>(voice.mod_phase)));
    }
    voice.out[voice.w++] = v;
    voice.phase += voice.phase_step;
    if (amp_change != 0.0f) voice.amp += amp_change;
    voice.phase_step += voice.slide_step;
    voice.mod_phase += voice.mod_step;
  }
}

void render_envelope(Voice& voice, const InstrumentParams& params) {
  const int32_t attack_frames = params.attack_len == 0 ? 1 : params.attack_len;
  const float attack_step =
      params.attack_len == 0 ? 1.0f : 1.0f / static_cast<float>(params.attack_len);
  const int32_t release_frames = params.release_len == 0 ? 1 : params.release_len;
  const float release_divisor =
      params.release_len == 0 ? 1.0f : static_cast<float>(params.release_len);

  render_segment(voice, attack_frames, attack_step);
  render_segment(voice, params.decay_len, -attack_step);
  render_segment(voice, params.sustain_len, 0.0f);
  // The release falls from wherever the first three segments left the amplitude.
  render_segment(voice, release_frames, -(voice.amp / release_divisor));
}

}  // namespace

float modulation_step(int32_t mod_rate) {
  if (mod_rate == 0 || wave_period <= 0) return 0.0f;
  return static_cast<float>(((mod_rate / 100.0) * 2.0 * std::numbers::pi) / wave_period);
}

float slide_step(int32_t pitch_slide) {
  if (wave_period <= 0) return 0.0f;
  const double slide = static_cast<double>(static_cast<float>(pitch_slide));
  return static_cast<float>((slide / 1000.0) / wave_period);
}

int32_t instrument_length(const InstrumentParams& params) {
  // The lengths are summed as 32-bit values; an overflow wraps instead of being undefined.
  const uint32_t sum =
      static_cast<uint32_t>(params.attack_len) + static_cast<uint32_t>(params.decay_len) +
      static_cast<uint32_t>(params.sustain_len) + static_cast<uint32_t>(params.release_len) + 1u;
  return static_cast<int32_t>(sum);
}

namespace {

void build_waveforms(int32_t rate) {
  wave_period = rate / base_pitch_hz;
  for (int i = 0; i < waveform_count - 1; ++i) waveforms[i] = allocate_floats(wave_period);
  waveforms[waveform_noise] = allocate_floats(rate);
  const bool allocated = waveforms[0] && waveforms[1] && waveforms[2] && waveforms[3];
  if (allocated && rate >= base_pitch_hz) fill_periodic_tables();
  if (allocated && rate > 0) fill_noise_table();
}

}  // namespace

void synth_init(int32_t rate) {
  song_model_init(rate);
  if constexpr (fuzz_limits) {
    // The tools start the engine a few times for every input a fuzzer tries, and the tables
    // depend on the rate alone: a fuzz build makes them once per rate.
    static int32_t built_rate = 0;
    if (rate != built_rate) build_waveforms(rate);
    built_rate = rate;
  } else {
    build_waveforms(rate);
  }
  mixer_init();
}

bool render_instrument(int32_t n, const InstrumentParams& params) {
  if (n < 0 || n >= instrument_count) return false;
  if (params.waveform < 0 || params.waveform >= waveform_count) return false;
  const float* table = waveforms[params.waveform].get();
  if (table == nullptr) return false;

  const int32_t length = instrument_length(params);
  const int32_t usable_length = length > 0 ? length : 0;
  auto echo = allocate_floats(echo_length);
  auto frames = allocate_floats(usable_length);
  if (!echo || !frames) return false;

  const int32_t table_length = params.waveform == waveform_noise ? sample_rate : wave_period;
  if (table_length > 0) {
    Voice voice{table,
                table_length,
                frames.get(),
                usable_length,
                0,
                0.0f,
                1.0f,
                0.0f,
                0.0f,
                modulation_step(params.mod_rate),
                slide_step(params.pitch_slide),
                params.mod_rate != 0};
    render_envelope(voice, params);
  }

  echo_line[n] = std::move(echo);
  echo_line_length[n] = echo_length > 0 ? echo_length : 0;
  sample[n] = usable_length > 0 ? std::move(frames) : nullptr;
  sample_length[n] = usable_length;
  return true;
}
