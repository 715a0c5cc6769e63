// The renderer's loudness figures come from libebur128: the EBU's own reference signal must read
// as the standard says, and silence must not read as a number.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "render_stats.h"

namespace {

TEST(Loudness, OneKilohertzAtMinus23DbfsReadsMinus23Lufs) {
  // 20 s of a 1 kHz sine at -23 dBFS in both channels (EBU Tech 3341, case 1).
  const int32_t frames = 20 * 44100;
  const double amplitude = 32768.0 * std::pow(10.0, -23.0 / 20.0);
  std::vector<int16_t> values(2 * frames);
  for (int32_t f = 0; f < frames; ++f) {
    const double v = std::lround(amplitude * std::sin(2.0 * M_PI * 1000.0 * f / 44100.0));
    values[2 * f] = values[2 * f + 1] = static_cast<int16_t>(v);
  }
  RenderStats stats = stats_start(5292);
  stats_add(stats, values.data(), frames);
  EXPECT_NEAR(loudness_lufs(stats.whole), -23.0, 0.05);
  EXPECT_NEAR(true_peak_dbtp(stats.whole), -23.0, 0.1);
  EXPECT_NEAR(loudness_range_lu(stats.whole), 0.0, 0.1);
  ASSERT_EQ(stats.sections.size(), 3u);  // 64 rows are 338688 frames
  EXPECT_NEAR(loudness_lufs(stats.sections[1]), -23.0, 0.05);

  RenderStats quiet = stats_start(5292);
  std::vector<int16_t> zeros(2 * 44100);
  stats_add(quiet, zeros.data(), 44100);
  EXPECT_TRUE(std::isinf(loudness_lufs(quiet.whole)));
}

}  // namespace
