// What the tools add to the engine: the mute mask silences a channel only in the output, the
// meters and the row tick hook change nothing, channel views and lists read as authors write.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "music/sequencer.h"
#include "music/song_lint.h"
#include "music/song_view.h"
#include "music_test_support.h"
#include "tool_engine.h"

namespace {

const std::string test_song_path = KELVORINSAA_SOURCE_DIR "/tests/music/golden/test_song.txt";

std::vector<std::string> play_song(int32_t buffers, int32_t unmute_after, uint32_t mask,
                                   bool meters) {
  SongSource song;
  std::string error;
  EXPECT_TRUE(read_song(test_song_path.c_str(), song, error)) << error;
  EXPECT_TRUE(engine_start(song, 0, error)) << error;
  channel_meters_on.store(meters);
  channel_mute_mask.store(mask);
  std::vector<std::string> out;
  play_buffers(buffers, [&](const auto& buffer) {
    out.emplace_back(buffer.begin(), buffer.end());
    if (static_cast<int32_t>(out.size()) == unmute_after) channel_mute_mask.store(0);
  });
  channel_mute_mask.store(0);
  channel_meters_on.store(false);
  return out;
}

int32_t ticks_seen = 0;
void count_tick(int32_t) {
  ++ticks_seen;
}

TEST(ToolHooks, MutingIsSeamlessAndMetersAndHooksChangeNothing) {
  const std::vector<std::string> plain = play_song(120, -1, 0, false);
  // Channel 2 muted for 60 buffers: its voice and echo ran on, so afterwards all is as before.
  const std::vector<std::string> muted = play_song(120, 60, 1u << 2, false);
  EXPECT_FALSE(std::equal(muted.begin(), muted.begin() + 60, plain.begin()));
  for (int b = 60; b < 120; ++b) ASSERT_TRUE(muted[b] == plain[b]) << "buffer " << b;

  row_tick_hook = count_tick;
  ticks_seen = 0;
  const std::vector<std::string> watched = play_song(120, -1, 0, true);
  row_tick_hook = nullptr;
  EXPECT_TRUE(watched == plain);
  EXPECT_EQ(ticks_seen, 120 * 1024 / 5292 + 1);
}

TEST(ToolHooks, SeekingEqualsPlayingFromTheStart) {
  SongSource song;
  std::string error;
  ASSERT_TRUE(read_song(test_song_path.c_str(), song, error));
  const std::vector<std::string> plain = play_song(60, -1, 0, false);
  ASSERT_TRUE(engine_start(song, 30 * 1024, error));
  play_buffers(30, [&, b = 30](const auto& buffer) mutable {
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), plain[b++]);
  });
}

TEST(ToolHooks, ChannelViewsCountRowsAsAuthorsWriteThem) {
  fresh_model();
  ASSERT_EQ(parse("bpm:125\ni1:saha,2,6,1,2000,0,0\np1:vol,50,sld,-3,c4,stop\nt1:p1\n"), 0);
  const char* const expected[] = {"vol=50", "sld=-3", "c4", "stop"};
  for (int32_t row = 0; row < 4; ++row) {
    row_tick(1);
    const ChannelView view = channel_view(1);
    char text[24];
    EXPECT_EQ(view.row, row);
    EXPECT_STREQ(event_text(view, text, sizeof text), expected[row]);
  }
  row_tick(1);
  EXPECT_TRUE(channel_view(1).finished);
  EXPECT_STREQ(event_word(392), "g4");
  EXPECT_STREQ(event_word(-4), "echo1");
  EXPECT_STREQ(event_word(12345), "");
}

TEST(ToolHooks, ChannelListsAndMasks) {
  uint32_t channels = 0;
  std::string error;
  EXPECT_TRUE(parse_channel_list("1,3,5-7", channels, error));
  EXPECT_EQ(channels, 0b11101010u);
  for (const char* bad : {"", "0", "30", "2-1", "1,,2", "1;2", "x", "3-"}) {
    uint32_t ignored = 0;
    EXPECT_FALSE(parse_channel_list(bad, ignored, error)) << bad;
    EXPECT_NE(error.find("channel list"), std::string::npos);
  }
  EXPECT_EQ(mute_mask_for(0b100, 0), 0b100u);
  EXPECT_EQ(mute_mask_for(0b100, 0b110) & 0b111110u, 0b111100u);  // solo 1 and 2, with 2 muted too
}

TEST(ToolHooks, LintOfSilentAndHiddenTracks) {
  const SongLint empty = song_lint("bpm:125\ni1:saha,2,6,1,2000,0,0\np1:c4\nt2:p1\n", true);
  ASSERT_FALSE(empty.rejected);
  ASSERT_EQ(empty.warnings.size(), 2u);
  EXPECT_EQ(lint_line(empty.warnings[0]),
            "line 4: track 2 will never play: track 1 before it is empty");
  EXPECT_EQ(lint_line(empty.warnings[1]), "song: track 1 is empty: the song is silent");
  // A looping song at the show's length without clipping has nothing to say.
  const SongLint quiet = song_lint("bpm:125\ni1:sini,2,1,1,100,0,0\np1:c4,00\nt1:p1,loop\n", true);
  EXPECT_TRUE(quiet.warnings.empty()) << lint_line(quiet.warnings[0]);
}

}  // namespace
