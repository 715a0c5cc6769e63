// Loudness figures of a rendered stream, and the table that shows them. kelvorinsaa-render's
// only thread.
#include "render_stats.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

void add_frame(LevelFigures& figures, int32_t left, int32_t right) {
  ++figures.frames;
  const int32_t peak = std::abs(left) > std::abs(right) ? std::abs(left) : std::abs(right);
  if (peak > figures.peak) figures.peak = peak;
  figures.square_sum += static_cast<double>(left) * left + static_cast<double>(right) * right;
  if (peak >= stats_clip_value) ++figures.clipped;
}

double to_dbfs(double magnitude) {
  if (magnitude <= 0.0) return -std::numeric_limits<double>::infinity();
  return 20.0 * std::log10(magnitude / stats_full_scale);
}

void print_db(std::FILE* out, double db) {
  if (std::isinf(db)) {
    std::fprintf(out, " %8s", "-inf");
  } else {
    std::fprintf(out, " %8.2f", db);
  }
}

void print_line(std::FILE* out, const char* label, double seconds, const LevelFigures& figures) {
  std::fprintf(out, "%-11s %8.2f", label, seconds);
  print_db(out, peak_dbfs(figures));
  print_db(out, rms_dbfs(figures));
  std::fprintf(out, " %8.3f\n", clipped_percent(figures));
}

}  // namespace

RenderStats stats_start(int32_t row_frames) {
  RenderStats stats;
  stats.section_frames = row_frames * stats_section_rows;
  return stats;
}

void stats_add(RenderStats& stats, const int16_t* values, int32_t frames) {
  for (int32_t f = 0; f < frames; ++f) {
    const size_t section = static_cast<size_t>(stats.whole.frames / stats.section_frames);
    if (section == stats.sections.size()) stats.sections.emplace_back();
    add_frame(stats.sections[section], values[2 * f], values[2 * f + 1]);
    add_frame(stats.whole, values[2 * f], values[2 * f + 1]);
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

void stats_print(const RenderStats& stats, int32_t row_frames, int32_t rate, std::FILE* out) {
  std::fprintf(out, "levels in dBFS (0 dB = 32768), clipped = frames with a value at +-%d\n",
               stats_clip_value);
  std::fprintf(out, "%-11s %8s %8s %8s %8s\n", "rows", "start s", "peak", "rms", "clip %");
  for (size_t i = 0; i < stats.sections.size(); ++i) {
    char label[32];
    const int64_t first = static_cast<int64_t>(i) * stats_section_rows;
    std::snprintf(label, sizeof label, "%lld-%lld", static_cast<long long>(first),
                  static_cast<long long>(first + stats_section_rows - 1));
    const double start = static_cast<double>(first) * row_frames / rate;
    print_line(out, label, start, stats.sections[i]);
  }
  print_line(out, "whole", 0.0, stats.whole);
}
