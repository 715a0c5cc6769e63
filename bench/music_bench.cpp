// Timings of the music engine: start-up synthesis, the whole song through the audio callback,
// the slowest single callback of the song and an hour of looping, plain and with filters.
// One thread.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "music/embedded_song.h"
#include "music/mixer.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"
#include "shared/shared_values.h"

namespace {

constexpr double buffer_seconds = static_cast<double>(callback_frames) / show_sample_rate;

// Start-up as the show does it: note table, waveforms, channel defaults, song and instruments.
bool start_song(const std::string& song) {
  song_model_clear();
  synth_init(show_sample_rate);
  static std::vector<char> text;
  text.assign(song.c_str(), song.c_str() + song.size() + 1);
  return song_parse(text.data()) == 0;
}

bool start_song() {
  return start_song(std::string(embedded_song_text, embedded_song_length));
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
    mixer_settle_tiny_values(state.range(0) != 0);
    state.ResumeTiming();
    for (int32_t b = 0; b < hour_buffers; ++b) {
      audio_callback(nullptr, buffer.data(), static_cast<int>(buffer.size()));
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  mixer_settle_tiny_values(true);
  state.SetLabel(state.range(0) != 0 ? "tails settled" : "tails kept subnormal");
}
BENCHMARK(hour_of_looping)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// The built-in song with a low-pass filter on every channel. With a coefficient near 1 the
// filter's state, once its channel falls silent, decays to the smallest subnormals and, kept
// exactly, stays there: 0.99 times 2^-149 rounds back to 2^-149.
std::string song_with_filters() {
  const std::string song(embedded_song_text, embedded_song_length);
  const char* coefficients[] = {"99", "95", "90", "80", "99", "97"};
  std::string filtered;
  int32_t instrument = 0;
  size_t start = 0;
  while (start < song.size()) {
    size_t end = song.find('\n', start);
    if (end == std::string::npos) end = song.size();
    std::string line = song.substr(start, end - start);
    if (line.size() > 1 && line[0] == 'i' && line[1] >= '0' && line[1] <= '9') {
      int32_t items = 1;
      for (char c : line) items += c == ',' ? 1 : 0;
      for (; items < 7; ++items) line += ",0";
      line += instrument % 2 == 0 ? ",60," : ",40,";
      line += coefficients[instrument % 6];
      ++instrument;
    }
    filtered += line + "\n";
    start = end + 1;
  }
  return filtered;
}

// When on, sets flush-to-zero and denormals-are-zero in the SSE control register while it
// lives: the hardware then does what settling does, a reference for its cost.
class HardwareFlush {
 public:
  explicit HardwareFlush(bool on) {
#if defined(__SSE__)
    saved_ = _mm_getcsr();
    if (on) _mm_setcsr(saved_ | 0x8040u);
#else
    (void)on;
#endif
  }
  ~HardwareFlush() {
#if defined(__SSE__)
    _mm_setcsr(saved_);
#endif
  }
  HardwareFlush(const HardwareFlush&) = delete;
  HardwareFlush& operator=(const HardwareFlush&) = delete;

 private:
  unsigned saved_ = 0;
};

// An hour of the song with filters: 0 keeps tiny values, 1 settles them (as the show does),
// 2 keeps them but has the hardware flush them to zero, the reference settling is measured by.
void hour_with_filters(benchmark::State& state) {
  constexpr int32_t hour_buffers = 3600 * show_sample_rate / callback_frames;
  const int64_t mode = state.range(0);
#if !defined(__SSE__)
  if (mode == 2) state.SkipWithError("no flush-to-zero control on this machine");
#endif
  const std::string song = song_with_filters();
  std::array<uint8_t, 4 * callback_frames> buffer{};
  for (auto _ : state) {
    state.PauseTiming();
    if (!start_song(song)) state.SkipWithError("the song with filters was rejected");
    mixer_settle_tiny_values(mode == 1);
    state.ResumeTiming();
    const HardwareFlush flush(mode == 2);
    for (int32_t b = 0; b < hour_buffers; ++b) {
      audio_callback(nullptr, buffer.data(), static_cast<int>(buffer.size()));
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  mixer_settle_tiny_values(true);
  const char* labels[] = {"tiny values kept", "tiny values settled", "kept, hardware flush"};
  state.SetLabel(labels[mode]);
}
BENCHMARK(hour_with_filters)->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
