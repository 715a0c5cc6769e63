// Level and loudness figures of a rendered stream, and the table that shows them.
// kelvorinsaa-render's only thread.
#include "render_stats.h"

#include <ebur128.h>

#include <cmath>
#include <cstdlib>
#include <limits>

struct LoudnessMeter {
  ebur128_state* state;
};

void LoudnessMeterDeleter::operator()(LoudnessMeter* meter) const {
  ebur128_destroy(&meter->state);
  delete meter;
}

namespace {

constexpr double minus_infinity = -std::numeric_limits<double>::infinity();

void start_loudness(LevelFigures& figures) {
  const int mode = EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK;
  ebur128_state* state = ebur128_init(2, 44100, mode);
  if (state != nullptr) figures.loudness.reset(new LoudnessMeter{state});
}

void add_frame(LevelFigures& figures, int32_t left, int32_t right) {
  ++figures.frames;
  const int32_t peak = std::abs(left) > std::abs(right) ? std::abs(left) : std::abs(right);
  if (peak > figures.peak) figures.peak = peak;
  figures.square_sum += static_cast<double>(left) * left + static_cast<double>(right) * right;
  if (peak >= stats_clip_value) ++figures.clipped;
}

void add_loudness(LevelFigures& figures, const int16_t* values, int32_t frames) {
  if (figures.loudness && frames > 0)
    ebur128_add_frames_short(figures.loudness->state, values, static_cast<size_t>(frames));
}

double to_dbfs(double magnitude) {
  if (magnitude <= 0.0) return minus_infinity;
  return 20.0 * std::log10(magnitude / stats_full_scale);
}

void print_db(std::FILE* out, double db) {
  if (std::isinf(db) || std::isnan(db)) {
    std::fprintf(out, " %7s", "-inf");
  } else {
    std::fprintf(out, " %7.2f", db);
  }
}

void print_line(std::FILE* out, const char* label, double seconds, const LevelFigures& figures) {
  std::fprintf(out, "%-11s %7.2f", label, seconds);
  print_db(out, peak_dbfs(figures));
  print_db(out, rms_dbfs(figures));
  std::fprintf(out, " %7.3f", clipped_percent(figures));
  print_db(out, loudness_lufs(figures));
  std::fprintf(out, " %7.2f", loudness_range_lu(figures));
  print_db(out, true_peak_dbtp(figures));
  std::fputc('\n', out);
}

}  // namespace

RenderStats stats_start(int32_t row_frames, int64_t first_row) {
  RenderStats stats;
  stats.section_frames = row_frames * stats_section_rows;
  stats.first_row = first_row;
  start_loudness(stats.whole);
  return stats;
}

void stats_add(RenderStats& stats, const int16_t* values, int32_t frames) {
  int32_t f = 0;
  while (f < frames) {
    const size_t section = static_cast<size_t>(stats.whole.frames / stats.section_frames);
    if (section == stats.sections.size()) {
      stats.sections.emplace_back();
      start_loudness(stats.sections.back());
    }
    const int64_t room = stats.section_frames - stats.whole.frames % stats.section_frames;
    const int32_t count = static_cast<int32_t>(room < frames - f ? room : frames - f);
    LevelFigures& figures = stats.sections[section];
    for (int32_t i = f; i < f + count; ++i) {
      add_frame(figures, values[2 * i], values[2 * i + 1]);
      add_frame(stats.whole, values[2 * i], values[2 * i + 1]);
    }
    add_loudness(figures, values + 2 * f, count);
    add_loudness(stats.whole, values + 2 * f, count);
    f += count;
  }
}

double peak_dbfs(const LevelFigures& figures) {
  return to_dbfs(figures.peak);
}

double rms_dbfs(const LevelFigures& figures) {
  if (figures.frames == 0) return to_dbfs(0.0);
  return to_dbfs(std::sqrt(figures.square_sum / (2.0 * static_cast<double>(figures.frames))));
}

double clipped_percent(const LevelFigures& figures) {
  if (figures.frames == 0) return 0.0;
  return 100.0 * static_cast<double>(figures.clipped) / static_cast<double>(figures.frames);
}

double loudness_lufs(const LevelFigures& figures) {
  double lufs = minus_infinity;
  if (figures.loudness) ebur128_loudness_global(figures.loudness->state, &lufs);
  return lufs;
}

double loudness_range_lu(const LevelFigures& figures) {
  double range = 0.0;
  if (figures.loudness) ebur128_loudness_range(figures.loudness->state, &range);
  return range;
}

double true_peak_dbtp(const LevelFigures& figures) {
  if (!figures.loudness) return minus_infinity;
  double largest = 0.0;
  for (unsigned channel = 0; channel < 2; ++channel) {
    double peak = 0.0;
    ebur128_true_peak(figures.loudness->state, channel, &peak);
    largest = peak > largest ? peak : largest;
  }
  return largest > 0.0 ? 20.0 * std::log10(largest) : minus_infinity;
}

void stats_print(const RenderStats& stats, int32_t row_frames, int32_t rate, std::FILE* out) {
  std::fprintf(out,
               "peak, rms in dBFS (0 dB = 32768); clip %% = frames at +-%d; LUFS integrated, "
               "LRA in LU, true peak in dBTP\n",
               stats_clip_value);
  std::fprintf(out, "%-11s %7s %7s %7s %7s %7s %7s %7s\n", "rows", "start s", "peak", "rms",
               "clip %", "LUFS", "LRA", "TP");
  for (size_t i = 0; i < stats.sections.size(); ++i) {
    char label[32];
    const int64_t first = stats.first_row + static_cast<int64_t>(i) * stats_section_rows;
    std::snprintf(label, sizeof label, "%lld-%lld", static_cast<long long>(first),
                  static_cast<long long>(first + stats_section_rows - 1));
    const double start = static_cast<double>(first) * row_frames / rate;
    print_line(out, label, start, stats.sections[i]);
  }
  print_line(out, "whole", static_cast<double>(stats.first_row) * row_frames / rate, stats.whole);
}
