// Level figures of a rendered stream: peak, RMS and clipped frames, and with libebur128 the
// integrated loudness, loudness range and true peak, for the whole render and for each section
// of 64 rows. Used by kelvorinsaa-render on its only thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

constexpr int32_t stats_section_rows = 64;
constexpr double stats_full_scale = 32768.0;  // dBFS are relative to 2^15
constexpr int32_t stats_clip_value = 32766;   // what the mixer writes for a clipped sum

struct LoudnessMeter;  // a libebur128 state
struct LoudnessMeterDeleter {
  void operator()(LoudnessMeter* meter) const;
};

struct LevelFigures {
  int64_t frames = 0;
  int32_t peak = 0;         // largest magnitude of either channel
  double square_sum = 0.0;  // of both channels' values
  int64_t clipped = 0;      // frames with a value at +-stats_clip_value
  std::unique_ptr<LoudnessMeter, LoudnessMeterDeleter> loudness;
};

struct RenderStats {
  int32_t section_frames = 0;
  int64_t first_row = 0;  // of the first section
  LevelFigures whole;
  std::vector<LevelFigures> sections;
};

RenderStats stats_start(int32_t row_frames, int64_t first_row = 0);

// Adds frames stereo frames of interleaved values.
void stats_add(RenderStats& stats, const int16_t* values, int32_t frames);

double peak_dbfs(const LevelFigures& figures);  // -infinity for silence
double rms_dbfs(const LevelFigures& figures);
double clipped_percent(const LevelFigures& figures);
double loudness_lufs(const LevelFigures& figures);  // integrated; -infinity for silence
double loudness_range_lu(const LevelFigures& figures);
double true_peak_dbtp(const LevelFigures& figures);

// The table a person reads: one line per section and one for the whole render.
void stats_print(const RenderStats& stats, int32_t row_frames, int32_t rate, std::FILE* out);
