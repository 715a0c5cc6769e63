// Timings of the music engine: start-up synthesis, the whole song through the audio callback,
// the slowest single callback of the song and an hour of looping. One thread.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <vector>

#include "music/embedded_song.h"
#include "music/mixer.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"
#include "shared/shared_values.h"

namespace {

constexpr double buffer_seconds = static_cast<double>(callback_frames) / show_sample_rate;

// Start-up as the show does it: note table, waveforms, channel defaults, song and instruments.
bool start_song() {
  song_model_clear();
  synth_init(show_sample_rate);
  static std::vector<char> text;
  text.assign(embedded_song_text, embedded_song_text + embedded_song_length + 1);
  return song_parse(text.data()) == 0;
}

void synth_start_up(benchmark::State& state) {
  for (auto _ : state) {
    if (!start_song()) state.SkipWithError("the built-in song was rejected");
    benchmark::DoNotOptimize(sample[1].get());
  }
}
BENCHMARK(synth_start_up)->Unit(benchmark::kMillisecond);

void whole_song(benchmark::State& state) {
  std::array<uint8_t, 4 * callback_frames> buffer{};
  double mixed_seconds = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!start_song()) state.SkipWithError("the built-in song was rejected");
    state.ResumeTiming();
    for (int32_t b = 0; b < show_buffers; ++b) {
      audio_callback(nullptr, buffer.data(), static_cast<int>(buffer.size()));
      benchmark::DoNotOptimize(buffer.data());
    }
    mixed_seconds += show_buffers * buffer_seconds;
  }
  // Seconds of sound per second of work: the multiple of real time.
  state.counters["x_real_time"] = benchmark::Counter(mixed_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(whole_song)->Unit(benchmark::kMillisecond);

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The steady clock is what the sound card sees, preemption included; the thread's CPU time
// shows the callback's own work when the machine is busy with other things.
void worst_callback(benchmark::State& state) {
  std::array<uint8_t, 4 * callback_frames> buffer{};
  double worst = 0.0;
  double worst_cpu = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!start_song()) state.SkipWithError("the built-in song was rejected");
    state.ResumeTiming();
    for (int32_t b = 0; b < show_buffers; ++b) {
      const double cpu_start = thread_seconds();
      const auto start = std::chrono::steady_clock::now();
      audio_callback(nullptr, buffer.data(), static_cast<int>(buffer.size()));
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      const double cpu_took = thread_seconds() - cpu_start;
      if (took.count() > worst) worst = took.count();
      if (cpu_took > worst_cpu) worst_cpu = cpu_took;
    }
  }
  state.counters["worst_us"] = worst * 1e6;
  state.counters["worst_pct_of_budget"] = 100.0 * worst / buffer_seconds;
  state.counters["worst_cpu_us"] = worst_cpu * 1e6;
  state.counters["worst_cpu_pct_of_budget"] = 100.0 * worst_cpu / buffer_seconds;
}
BENCHMARK(worst_callback)->Unit(benchmark::kMillisecond);

// A player looping the song for an hour. Echo tails that have died away used to linger as
// subnormal floats, each costing many times a normal one; settling them at zero keeps the
// hour as cheap as its first minutes. Argument 0 keeps them, as the mixer once did.
void hour_of_looping(benchmark::State& state) {
  constexpr int32_t hour_buffers = 3600 * show_sample_rate / callback_frames;
  std::array<uint8_t, 4 * callback_frames> buffer{};
  for (auto _ : state) {
    state.PauseTiming();
    if (!start_song()) state.SkipWithError("the built-in song was rejected");
    mixer_settle_tiny_echoes(state.range(0) != 0);
    state.ResumeTiming();
    for (int32_t b = 0; b < hour_buffers; ++b) {
      audio_callback(nullptr, buffer.data(), static_cast<int>(buffer.size()));
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  mixer_settle_tiny_echoes(true);
  state.SetLabel(state.range(0) != 0 ? "tails settled" : "tails kept subnormal");
}
BENCHMARK(hour_of_looping)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
