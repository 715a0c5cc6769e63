// Checks the structure of the song the show carries: tempo, instruments, patterns and tracks.
#include <gtest/gtest.h>

#include <array>

#include "music_test_support.h"

namespace {

// Entries before the end marker, or -1 when the row holds none.
template <size_t width>
int entry_count(const std::array<int32_t, width>& row) {
  for (size_t i = 0; i < width; ++i) {
    if (row[i] == end_marker) return static_cast<int>(i);
  }
  return -1;
}

class EmbeddedSong : public testing::Test {
 protected:
  void SetUp() override {
    fresh_model();
    ASSERT_EQ(parse_embedded_song(), 0) << song_error();
  }
};

}  // namespace

// The picture keeps its own row clock of a fixed length: a song of another tempo would leave
// the scenes drifting away from the music.
TEST_F(EmbeddedSong, RowLengthIsThePicturesRowLength) {
  EXPECT_EQ(samples_per_row, show_row_frames);
}

TEST_F(EmbeddedSong, TempoAndInstruments) {
  SKIP_WITH_ANOTHER_BUILT_IN_SONG();
  EXPECT_EQ(samples_per_row, 5292);
  EXPECT_EQ(echo_length, 15876);
  const std::array<int32_t, 11> lengths = {0,     4020,  2010, 5114,  4009, 4008,
                                           16008, 23009, 3008, 44111, 8109};
  for (int n = 0; n < instrument_count; ++n) {
    EXPECT_EQ(sample_length[n], n < 11 ? lengths[n] : 0) << "instrument " << n;
  }
}

TEST_F(EmbeddedSong, Patterns) {
  SKIP_WITH_ANOTHER_BUILT_IN_SONG();
  for (int p = 1; p <= 23; ++p) {
    const int expected = (p == 1 || p == 2)                           ? 1
                         : (p == 13 || p == 15 || p == 17 || p == 18) ? 8
                                                                      : 16;
    ASSERT_EQ(entry_count(patterns[p]), expected) << "pattern " << p;
    for (int i = 0; i < expected; ++i) {
      const int32_t code = patterns[p][i];
      EXPECT_TRUE(code >= 0 || (code == code_echo_on && p == 2))
          << "pattern " << p << " entry " << i;
    }
  }
  EXPECT_EQ(patterns[1][0], 0);
  EXPECT_EQ(patterns[2][0], code_echo_on);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(patterns[14][i], 0);
  EXPECT_EQ(entry_count(patterns[24]), -1);
}

TEST_F(EmbeddedSong, Tracks) {
  SKIP_WITH_ANOTHER_BUILT_IN_SONG();
  const std::array<int, 11> entries = {0, 83, 75, 76, 70, 71, 70, 90, 81, 82, 75};
  const std::array<int, 11> rows = {0, 1297, 1169, 1185, 1089, 1105, 1089, 1089, 1265, 1281, 1169};
  for (int t = 1; t <= 10; ++t) {
    ASSERT_EQ(entry_count(tracks[t]), entries[t]) << "track " << t;
    EXPECT_EQ(tracks[t][0], t <= 3 ? 1 : 2) << "track " << t;
    EXPECT_EQ(tracks[t][entries[t] - 1], loop_marker) << "track " << t;
    int row_total = 0;
    for (int i = 0; i < entries[t] - 1; ++i) {
      const int32_t p = tracks[t][i];
      ASSERT_TRUE(p >= 1 && p <= 23 && p != 11 && p != 16) << "track " << t << " entry " << i;
      row_total += entry_count(patterns[p]);
    }
    EXPECT_EQ(row_total, rows[t]) << "track " << t;
  }
  EXPECT_EQ(tracks[0][0], end_marker);
  for (int t = 11; t < track_count; ++t) EXPECT_EQ(tracks[t][0], end_marker) << "track " << t;
}
