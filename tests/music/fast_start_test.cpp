// Starting a song at a frame from kept channel states must leave the engine exactly where a
// silent mix from frame 0 leaves it, for seeks within a song, for edited songs started from the
// states of the song before, and from the states the row tick hook keeps while a song plays.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine_checkpoints.h"
#include "music/sequencer.h"
#include "music_test_support.h"
#include "shared/shared_values.h"
#include "tool_engine.h"

namespace {

constexpr int64_t row = show_row_frames;  // of the built-in song's tempo

// Every bit of the channels, their echo lines and the clock, then of the next buffers mixed.
std::string engine_bits(int32_t buffers) {
  std::string bits;
  auto add = [&bits](const auto& values) {
    bits.append(reinterpret_cast<const char*>(values.data()), sizeof values);
  };
  add(track_pos), add(row_in_pattern), add(position), add(rate), add(slide), add(volume);
  add(filter_coef), add(filter_state), add(pan), add(echo_on), add(channel_peak);
  for (int32_t k = 0; k < instrument_count; ++k) {
    if (echo_line[k] != nullptr) {
      bits.append(reinterpret_cast<const char*>(echo_line[k].get()), 4 * echo_line_length[k]);
    }
  }
  const int32_t clock = frames_mixed.load();
  bits.append(reinterpret_cast<const char*>(&clock), sizeof clock);
  std::vector<int16_t> out(2 * callback_frames);
  for (int32_t b = 0; b < buffers; ++b) {
    mix_frames(out.data(), callback_frames);
    bits.append(reinterpret_cast<const char*>(out.data()), 2 * out.size());
  }
  return bits;
}

// Starts the song at frame both ways and expects the same engine; the fast start comes first, so
// it sees the states of whatever was started before.
void expect_exact_start(const SongSource& song, int64_t frame) {
  std::string error;
  ASSERT_TRUE(engine_start(song, frame, error)) << error;
  const std::string fast = engine_bits(6);
  ASSERT_TRUE(engine_start_by_mixing(song, frame, error)) << error;
  const std::string slow = engine_bits(6);
  EXPECT_TRUE(fast == slow) << song.name << " at frame " << frame;
}

SongSource song_file(const char* name) {
  SongSource song;
  std::string error;
  EXPECT_TRUE(read_song((std::string(KELVORINSAA_SOURCE_DIR "/tests/music/golden/") + name).c_str(),
                        song, error))
      << error;
  return song;
}

SongSource built_in_song() {
  SongSource song;
  std::string error;
  read_song(nullptr, song, error);
  return song;
}

// The built-in song with one line replaced (or added, when no line starts with head).
SongSource edited(const std::string& head, const std::string& line) {
  SongSource song = built_in_song();
  std::istringstream lines(song.text);
  std::string text, each;
  bool replaced = false;
  while (std::getline(lines, each)) {
    const bool match = each.rfind(head, 0) == 0;
    text += (match ? line : each) + "\n";
    replaced = replaced || match;
  }
  if (!replaced) text += line + "\n";
  song.text = text;
  song.name = "built-in song with " + line.substr(0, 24);
  return song;
}

void keep_states(int32_t last_channel) {
  checkpoint_capture(last_channel);
}

TEST(FastStart, SeeksAnywhereInASongAsASilentMixFromTheStart) {
  // Late first, so that the earlier frames start from the states kept on the way there; rows of
  // kept states, the frames around them and the end of the show.
  const std::vector<int64_t> frames = {
      1000 * row + 3000, 100 * row + 777, 32 * row + 1, 32 * row, 32 * row - 1, 5293, 1, 0,
      1088 * row + 7};
  for (const SongSource& song : {built_in_song(), song_file("engine_a.txt"),
                                 song_file("engine_b.txt"), song_file("engine_c.txt")}) {
    for (const int64_t frame : frames) expect_exact_start(song, frame);
  }
}

TEST(FastStart, EditedSongsStartFromTheOldSongsStatesExactly) {
  const SongSource original = built_in_song();
  const std::vector<SongSource> edits = {
      edited("p22:", "p22:c2,00,00,00,c3,00,00,00,c2,00,00,00,c2,00,00,00"),  // a late pattern
      edited("p3:", "p3:g3,00,00,00,g3,00,vol,50,g3,00,00,00,g3,00,00,g3"),   // an early one
      edited("p19:", "p19:c6,00,c5,00,c6,00,c5,00,c6,00,c5,c6,00,c6,c5,00"),  // a note taken
      edited("i9:", "i9:sini,2,7,1,40000,2,0"),                               // an instrument
      edited("i4:", "i4:saha,2,5,1,4000,0,0,0.2,0.5"),                        // pan and filter
      edited("bpm:", "bpm:128"),                                              // the tempo
      edited("t11:", "t11:p1,p14,p14,p3,loop"),                               // a channel more
      edited("t10:", "t10:"),                                                 // one fewer
      edited("t5:", "t5:p2,p10,p12,loop"),                                    // a track's entries
  };
  for (const SongSource& edit : edits) {
    for (const int64_t frame : {900 * row + 100, 40 * row, 3 * row + 5}) {
      std::string error;
      ASSERT_TRUE(engine_start(original, frame, error)) << error;
      expect_exact_start(edit, frame);
    }
  }
}

TEST(FastStart, StatesKeptWhilePlayingStartTheNextSongExactly) {
  // A tempo of its own, so that no state kept for another song serves this one.
  const SongSource played = edited("bpm:", "bpm:131");
  SongSource edit = played;
  edit.text += "p20:g4,00,00,c5,00,00,D5,00,00,00,d5,00,c5,00,A5,00\n";
  std::string error;
  ASSERT_TRUE(engine_start(played, 0, error)) << error;
  EXPECT_EQ(checkpoint_figures().kept, 0);
  const int64_t interval_frames = checkpoint_figures().interval_rows * int64_t{samples_per_row};
  row_tick_hook = keep_states;
  std::vector<int16_t> out(2 * callback_frames);
  while (frames_mixed.load() < 2 * interval_frames + 5 * samples_per_row) {
    mix_frames(out.data(), callback_frames);
  }
  row_tick_hook = nullptr;
  EXPECT_EQ(checkpoint_figures().kept, 3 * walk_end());  // the first three kept rows
  const int64_t played_to = frames_mixed.load();
  expect_exact_start(edit, played_to);
  ASSERT_TRUE(engine_start(played, 0, error)) << error;
  expect_exact_start(played, 2 * interval_frames + 10);  // a seek back within the played rows
}

TEST(FastStart, StatesKeptAheadLeaveThePlayAsItIsAndServeSeeksAhead) {
  const SongSource song = edited("bpm:", "bpm:133");  // a tempo no other test keeps states of
  std::string error;
  ASSERT_TRUE(engine_start(song, 0, error)) << error;
  const int64_t frame = 5 * int64_t{samples_per_row} + 17;
  ASSERT_TRUE(engine_start(song, frame, error)) << error;
  int32_t filled = 0;
  while (checkpoints_fill_one()) ++filled;
  const int32_t rows = static_cast<int32_t>(show_frames / samples_per_row) + 1;
  const int32_t per_channel =
      (rows + checkpoint_figures().interval_rows - 1) / checkpoint_figures().interval_rows;
  EXPECT_EQ(filled, (per_channel - 1) * walk_end());  // all but row 0, which the start kept
  EXPECT_EQ(checkpoint_figures().kept, per_channel * walk_end());
  const std::string after_filling = engine_bits(6);
  ASSERT_TRUE(engine_start_by_mixing(song, frame, error)) << error;
  EXPECT_TRUE(after_filling == engine_bits(6));
  expect_exact_start(song, (rows - 3) * int64_t{samples_per_row} + 99);
}

}  // namespace
