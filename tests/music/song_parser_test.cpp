// Checks how song_parse reads each kind of line into the song model.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "music_test_support.h"

TEST(SongParser, TextWithoutLinesChangesNothing) {
  for (const char* song : {"", "\n\n", " \r\n \r\n", "#bpm:125\n  #t1:p1\n", ":::\n"}) {
    fresh_model();
    EXPECT_EQ(parse(song), 0) << song;
    EXPECT_STREQ(song_error(), "");
    EXPECT_EQ(samples_per_row, 0);
    EXPECT_EQ(tracks[0][0], end_marker);
    EXPECT_EQ(tracks[1][0], end_marker);
  }
}

TEST(SongParser, BlanksAndReturnsVanishEverywhere) {
  fresh_model();
  ASSERT_EQ(parse("bpm:125\r\ni1:sini,2,16,1,4 000,0\r\np5:c 4,d4\r\n"), 0);
  EXPECT_EQ(sample_length[1], 4020);
  EXPECT_EQ(pattern_entries(5, 3), (std::vector<int32_t>{261, 293, end_marker}));
  // Carriage returns alone end no line: the pattern line swallows the track line.
  fresh_model();
  ASSERT_EQ(parse("p5:c4\rt2:p1\r"), 0);
  EXPECT_EQ(pattern_entries(5, 2), (std::vector<int32_t>{0, end_marker}));
  EXPECT_EQ(tracks[2][0], end_marker);
}

TEST(SongParser, HeadsDecideTheKindOfLine) {
  fresh_model();
  ASSERT_EQ(parse("BPM:125\nP3:c4\nx1:p3\n::p7::c4\np8\ntempo:p9,loop\n"), 0);
  EXPECT_EQ(samples_per_row, 0);
  EXPECT_EQ(patterns[3][0], 0);
  EXPECT_EQ(pattern_entries(7, 2), (std::vector<int32_t>{0, end_marker}));  // item ":c4"
  EXPECT_EQ(patterns[8][0], end_marker);
  EXPECT_EQ(track_entries(0, 3), (std::vector<int32_t>{9, loop_marker, end_marker}));
  fresh_model();
  ASSERT_EQ(parse("bpm:125\ninst3:sini,2,2,1,10,0\n"), 0);
  EXPECT_EQ(sample_length[0], 16);
  EXPECT_EQ(sample_length[3], 0);
}

TEST(SongParser, TempoUsesIntegerDivisions) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"bpm:125", 5292}, {"bpm:127", 5292},   {"bpm:128", 5188},   {"bpm:100", 6615},
      {"bpm:3", 264600}, {"bpm:125:9", 5292}, {"bpm:+125x", 5292}, {"bpm:661502", 1}};
  for (const auto& [line, row] : cases) {
    fresh_model();
    ASSERT_EQ(parse(line), 0) << line;
    EXPECT_EQ(samples_per_row, row) << line;
    EXPECT_EQ(echo_length, 3 * row) << line;
  }
}

TEST(SongParser, PatternEntries) {
  fresh_model();
  ASSERT_EQ(parse("p5:c4,vol,50,d4\np6:c4,,,d4,\np7:vol,c4\np8:\np9:e4,E4,0,00,xyz\n"), 0);
  EXPECT_EQ(pattern_entries(5, 5), (std::vector<int32_t>{261, -7, 50, 293, end_marker}));
  EXPECT_EQ(pattern_entries(6, 3), (std::vector<int32_t>{261, 293, end_marker}));
  EXPECT_EQ(pattern_entries(7, 3), (std::vector<int32_t>{-7, 0, end_marker}));
  EXPECT_EQ(patterns[8][0], end_marker);
  EXPECT_EQ(pattern_entries(9, 6), (std::vector<int32_t>{329, 0, 0, 0, 0, end_marker}));
  // A redefinition writes from entry 0 and leaves the old tail behind its end marker.
  ASSERT_EQ(parse("p5:sld,-20,stop\n"), 0);
  EXPECT_EQ(pattern_entries(5, 5), (std::vector<int32_t>{-8, -20, -6, end_marker, end_marker}));
  // 99 entries, arguments included, is the capacity.
  std::string full = "p10:vol,1";
  for (int i = 0; i < 97; ++i) full += ",a4";
  ASSERT_EQ(parse(full), 0);
  EXPECT_EQ(patterns[10][98], 440);
  EXPECT_EQ(patterns[10][99], end_marker);
}

TEST(SongParser, TrackEntriesSkipTheFirstCharacter) {
  fresh_model();
  ASSERT_EQ(parse("bpm:125\nt1:p3,p4,loop\nt2:14\nt3:x14,p,p999\nt4:p1\nt4:\n"), 0);
  EXPECT_EQ(track_entries(1, 4), (std::vector<int32_t>{3, 4, loop_marker, end_marker}));
  EXPECT_EQ(track_entries(2, 2), (std::vector<int32_t>{4, end_marker}));
  EXPECT_EQ(track_entries(3, 4), (std::vector<int32_t>{14, 0, 999, end_marker}));
  EXPECT_EQ(tracks[4][0], end_marker);
  std::string full = "t5:loop";
  for (int i = 0; i < 98; ++i) full += ",p1";
  ASSERT_EQ(parse(full), 0);
  EXPECT_EQ(tracks[5][99], end_marker);
}

TEST(SongParser, InstrumentItemsAndDefaults) {
  fresh_model();
  pan[1] = 0.3f;
  filter_coef[1] = 0.1f;
  ASSERT_EQ(
      parse("bpm:125\ni1:sini,2,16,1,4000,0\ni2:saha,0,16,1,4000,0,-60,60,25,1e99,99999999999"), 0);
  EXPECT_EQ(sample_length[1], 4020);
  EXPECT_EQ(pan[1], 0.3f);
  EXPECT_EQ(filter_coef[1], 0.1f);
  EXPECT_EQ(sample_length[2], 4018);
  EXPECT_EQ(pan[2], 0.6f);
  EXPECT_EQ(filter_coef[2], 0.25f);
  ASSERT_EQ(parse("bpm:125\ni2:sini,2,16,1,0,0\n"), 0);
  EXPECT_EQ(sample_length[2], 20);
  EXPECT_EQ(pan[2], 0.6f);
}

// An unknown waveform word keeps the waveform of the previous line of the same parse.
TEST(SongParser, WaveformCarriesAcrossLinesOfOneParse) {
  const InstrumentParams shape = {0, 2, 6, 1, 2000, 0, 0};
  const auto renders_as = [&](int n, int32_t waveform) {
    InstrumentParams reference = shape;
    reference.waveform = waveform;
    EXPECT_TRUE(render_instrument(29, reference));
    return std::equal(sample[n].get(), sample[n].get() + sample_length[n], sample[29].get());
  };
  fresh_model();
  ASSERT_EQ(parse("bpm:125\ni1:saha,2,6,1,2000,0,0\ni2:wave,2,6,1,2000,0,0\n"), 0);
  EXPECT_TRUE(renders_as(2, waveform_saw));
  fresh_model();
  ASSERT_EQ(parse("bpm:125\ni2:wave,2,6,1,2000,0,0\n"), 0);
  EXPECT_TRUE(renders_as(2, waveform_square));
}

TEST(SongParser, OnlyTheFirstThousandLinesAreRead) {
  std::string song = "#comment\n\n\n";
  for (int i = 0; i < 999; ++i) song += "p" + std::to_string(i) + ":a4\n\n";
  fresh_model();
  ASSERT_EQ(parse(song + "t1:p1\n"), 0);
  EXPECT_EQ(patterns[998][0], 440);
  EXPECT_EQ(tracks[1][0], end_marker);  // line 1001 would have been rejected for lack of tempo
}
