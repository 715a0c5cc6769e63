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

namespace {

std::vector<std::string> lint_lines(const std::string& text) {
  const SongLint lint = song_lint(text, false);
  EXPECT_FALSE(lint.rejected) << lint.error;
  std::vector<std::string> lines;
  for (const LintWarning& warning : lint.warnings) lines.push_back(lint_line(warning));
  return lines;
}

// The parser accepts each of these lines as it stands; the lint names each with its line.
TEST(ToolHooks, LintNamesIgnoredLinesAndWordsThatAreNoNumber) {
  const std::vector<std::string> lines = lint_lines(
      "bpm:125x\nhello world\r\npp1:c3\ni1:sini,2,16,1,4000,0,0,abc\ni2:saha,2,6,1,2000,0,-3z\n"
      "p1:c4,vol,x5,0,00\nt1:p1,14,pq,loop\nt2:p1,loop\nBPM:125\ntempo\n# a comment\n"
      "\x01\x02\x1b[2J a very long line of bytes that a terminal would act on\n");
  const std::vector<std::string> expected = {
      "line 1: tempo \"125x\" reads as 125",
      "line 2: \"hello world\" is no tempo, instrument, pattern or track line: it is ignored "
      "(comments start with #)",
      "line 3: \"pp1\" reads as pattern 0: \"p1\" is no number",
      "line 4: pan \"abc\" of instrument 1 is no number: it reads as 0",
      "line 5: pitch slide \"-3z\" of instrument 2 is no number: it reads as -3",
      "line 6: argument \"x5\" of vol in pattern 1 is no number: it reads as 0",
      "line 7: track entry \"14\" of track 1 reads as pattern 4: its first character is skipped "
      "(write p14)",
      "line 7: track entry \"pq\" of track 1 names no pattern: it reads as pattern 0",
      "line 7: track 1 names pattern 4, which no pattern line defines",
      "line 9: \"BPM:125\" is no tempo, instrument, pattern or track line: it is ignored "
      "(comments start with #)",
      "line 10: \"tempo\" reads as track 0: \"empo\" is no number",
      "line 12: \"???[2J a very long line ...\" is no tempo, instrument, pattern or track line: "
      "it is ignored (comments start with #)"};
  EXPECT_EQ(lines, expected);
}

// Values the engine takes but no one means: each outside the range where the mixer does what
// its name says, with its line.
TEST(ToolHooks, LintNamesValuesOutsideTheirRanges) {
  const std::vector<std::string> lines = lint_lines(
      "bpm:125\ni1:sini,2,16,1,4000,0,0,50,101\ni2:saha,2,6,1,2000,0,0,999999,100,7\n"
      "i3:saha,2,6,1,2000,0,0,-1,-5\ni4:saha,2,6,1,2000,0,0,100,-100\ni5:saha,2,6,1,20,0,0,0,99\n"
      "i0:saha,2,6,1,2000,0,0\np1:c4,vol,101,vol,-1,vol,100,vol,0\nt0:p1\nt1:p1,loop\n");
  const std::vector<std::string> expected = {
      "line 2: filter 101 of instrument 1 is outside 0...99: it grows without bound and the "
      "channel plays at full scale",
      "line 3: pan 999999 of instrument 2 is outside 0...100: one side plays the channel "
      "amplified, the other inverted",
      "line 3: filter 100 of instrument 2 is outside 0...99: it holds the channel at its first "
      "value, silence",
      "line 3: items 10 and on of instrument 2 are ignored: an instrument line has 9 (waveform, "
      "4 lengths, mod rate, pitch slide, pan, filter)",
      "line 4: pan -1 of instrument 3 is outside 0...100: one side plays the channel amplified, "
      "the other inverted",
      "line 4: filter -5 of instrument 3 is outside 0...99: it is no low-pass but lifts the highs",
      "line 5: filter -100 of instrument 4 is outside 0...99: it never settles and the channel "
      "rings at full scale",
      "line 7: instrument 0 never plays: channels start at 1",
      "line 8: volume 101 in pattern 1 is outside 0...100: it plays the channel louder than its "
      "instrument",
      "line 8: volume -1 in pattern 1 is outside 0...100: it inverts the channel",
      "line 9: track 0 never plays: channels start at 1"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(lint_lines("bpm:125\ni1:saha,2,6,1,2000,0,0\np1:c4\nt1:p1\n"),
            std::vector<std::string>{"song: the tracks end after 1 row, before the show's 1088"});
}

TEST(ToolHooks, LintFindsNothingInTheBuiltInSong) {
  SKIP_WITH_ANOTHER_BUILT_IN_SONG();
  EXPECT_TRUE(lint_lines(std::string(embedded_song_text, embedded_song_length)).empty());
}

// The parser stops at a NUL byte and after its 1000th line; the lint reads no further and says so.
TEST(ToolHooks, LintNamesWhereTheParserStopsReading) {
  using namespace std::string_literals;
  const std::string song = "bpm:125\ni1:saha,2,6,1,2000,0,0\np1:c4\nt1:p1,loop\n";
  EXPECT_EQ(lint_lines(song + "p2:c4\0hello\nbogus line\n"s),
            std::vector<std::string>{"line 5: the text after a NUL byte is ignored"});
  EXPECT_TRUE(lint_lines(song + "\0\n\0 "s).empty());
  // Lines of blanks and returns alone vanish and do not count; comments count.
  std::string long_song = song;
  for (int i = 4; i < 1000; ++i) long_song += i % 2 ? "# a comment\n" : " \r\n:p2:c4\n";
  EXPECT_TRUE(lint_lines(long_song).empty());
  const int64_t hello_line = std::count(long_song.begin(), long_song.end(), '\n') + 3;
  EXPECT_EQ(lint_lines(long_song + "\n \nhello\nworld\n"),
            std::vector<std::string>{"line " + std::to_string(hello_line) +
                                     ": this line and all after it are ignored: a song has at "
                                     "most 1000 lines, comments included"});
}

TEST(ToolHooks, LintWarnsOfASongWithoutTempoAndEnginesRefuseIt) {
  for (const std::string text : {"", "\n\n", "hello world\n", "p1:c4\nt2:p1,loop\n"}) {
    const std::vector<std::string> lines = lint_lines(text);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "song: no tempo line (bpm:N), nothing to play"),
              lines.end())
        << text;
    EXPECT_STREQ(song_unplayable_reason(), "no tempo line (bpm:N), nothing to play");
    std::string error;
    EXPECT_FALSE(engine_start({"t.txt", "t.txt", text}, 4096, error));
    EXPECT_EQ(error, "t.txt: no tempo line (bpm:N), nothing to play");
  }
  std::string error;
  EXPECT_TRUE(engine_start({"t.txt", "t.txt", "bpm:125\n"}, 4096, error)) << error;
  EXPECT_EQ(song_unplayable_reason(), nullptr);
}

}  // namespace
