// The player without its audio device: refusing songs it cannot play with the reason, keeping
// the last good song through a save that breaks or empties the file, and showing why.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_model.h"
#include "play_display.h"
#include "play_session.h"
#include "play_state.h"
#include "shared/shared_values.h"

namespace {

namespace fs = std::filesystem;

const std::string test_song = KELVORINSAA_SOURCE_DIR "/tests/music/golden/test_song.txt";

class PlayerSession : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "player_session_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    row_tick_hook = nullptr;
    channel_meters_on.store(false);
    channel_mute_mask.store(0);
    fs::remove_all(dir);
  }

  std::string write(const std::string& name, const std::string& text) const {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Starts a player on the command line's words; returns player_start's verdict.
  std::string start(Player& player, std::vector<std::string> words) const {
    words.insert(words.begin(), "kelvorinsaa-play");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    const std::string problem =
        parse_play_options(static_cast<int>(argv.size()), argv.data(), player.options);
    if (!problem.empty()) return problem;
    arguments = std::move(words);  // the options point into them
    return player_start(player);
  }

  static bool shows(const Player& player, const std::string& text) {
    Player& shown = const_cast<Player&>(player);
    const std::vector<std::string> lines = display_lines(display_facts(shown, 0.0));
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
  }

  fs::path dir;
  mutable std::vector<std::string> arguments;
};

TEST_F(PlayerSession, SongsThatCannotPlayAreRefusedWithTheReason) {
  const std::string empty = write("empty.txt", "");
  Player a, b, c, d;
  EXPECT_EQ(start(a, {"--song", empty}), empty + ": no tempo line (bpm:N), nothing to play");
  EXPECT_EQ(start(b, {"--song", empty, "--to", "4"}),
            empty + ": no tempo line (bpm:N), nothing to play");
  EXPECT_EQ(start(c, {"--song", dir.string()}), "cannot read " + dir.string() + ": Is a directory");
  EXPECT_EQ(start(d, {"--from", "2000"}),
            "--from 2000 is past the end: the show's length, 5762048 frames, ends in row 1088 of "
            "this song");
  Player e;
  EXPECT_EQ(start(e, {"--from", "20", "--to", "10"}), "--to 10 does not come after --from 20");
}

// An editor that saves by truncating first shows the player an empty file for a moment.
TEST_F(PlayerSession, EmptiedOrBrokenSaveKeepsTheLastGoodSongAndItsWarnings) {
  std::ifstream in(test_song);
  const std::string good((std::istreambuf_iterator<char>(in)), {});
  const std::string watched = write("song.txt", good + "hello world\n");
  Player player;
  ASSERT_EQ(start(player, {"--song", watched, "--watch"}), "");
  ASSERT_EQ(player.warnings.size(), 1u);
  EXPECT_NE(player.warnings[0].find("\"hello world\" is no tempo"), std::string::npos);
  handle_key(player, {Key::forward_long});  // row 64
  const int64_t frame = frames_mixed.load();
  EXPECT_EQ(frame, 64 * 5292);

  write("song.txt", "");
  handle_key(player, {Key::reload});
  EXPECT_EQ(player.message,
            "not reloaded: " + watched + ": no tempo line (bpm:N), nothing to play");
  EXPECT_EQ(player.song.text, good + "hello world\n");
  EXPECT_EQ(player.warnings.size(), 1u);
  EXPECT_EQ(frames_mixed.load(), frame);
  EXPECT_EQ(samples_per_row, 5292);
  EXPECT_TRUE(shows(player, "not reloaded: "));

  write("song.txt", "bpm:125\np1000:c4\n");
  handle_key(player, {Key::reload});
  EXPECT_EQ(player.message, "not reloaded: line 2: pattern number 1000 is outside 0...999");
  handle_key(player, {Key::back_bar});
  EXPECT_EQ(frames_mixed.load(), 48 * 5292);

  write("song.txt", good);
  handle_key(player, {Key::reload});
  EXPECT_EQ(player.message, "reloaded " + watched);
  EXPECT_TRUE(player.warnings.empty());
  EXPECT_EQ(frames_mixed.load(), 48 * 5292);
}

// What the engine plays from frame on, the long way, as the renderer's stream.
std::string render_from(const SongSource& song, int64_t frame, int64_t frames) {
  std::string error;
  EXPECT_TRUE(engine_start_by_mixing(song, frame, error)) << error;
  std::string bytes(4 * frames, '\0');
  for (int64_t done = 0; done < frames; done += callback_frames) {
    const int64_t count = std::min<int64_t>(callback_frames, frames - done);
    audio_callback(nullptr, reinterpret_cast<uint8_t*>(bytes.data()) + 4 * done,
                   static_cast<int>(4 * count));
  }
  return bytes;
}

std::string play(int32_t buffers) {
  std::string bytes(4 * callback_frames * buffers, '\0');
  for (int32_t b = 0; b < buffers; ++b) {
    player_callback(nullptr, reinterpret_cast<uint8_t*>(bytes.data()) + 4 * callback_frames * b,
                    4 * callback_frames);
  }
  return bytes;
}

// A page hands in text, reloads at the frame it hears (behind the mixer), seeks and loops.
TEST_F(PlayerSession, APageDrivesItWithTheRenderersSound) {
  SongSource song, edited;
  std::string error;
  // The show's song as written in src/music, whatever song this build carries: its pattern 19
  // plays on channel 8 at row 70.
  ASSERT_TRUE(read_song(KELVORINSAA_SOURCE_DIR "/src/music/song.txt", song, error)) << error;
  edited = {"song.txt", "", song.text + "p19:c6,00,c5,00,c6,00,c5,00,c6,00,c5,c6,00,c6,c5,00\n"};
  const int64_t heard = 80 * callback_frames - 3000;
  const std::string reloaded = render_from(edited, heard, 4 * callback_frames);
  const int64_t loop_frames = 2 * 5292;
  const std::string loop = render_from(edited, 70 * 5292, loop_frames);

  Player player;
  ASSERT_EQ(player_start_song(player, song), "");
  play(80);
  reload_song_at(player, edited, heard);
  EXPECT_EQ(player.message, "reloaded song.txt");
  EXPECT_EQ(frames_mixed.load(), heard);
  EXPECT_TRUE(play(4) == reloaded);

  seek_to_row(player, 70);
  EXPECT_EQ(frames_mixed.load(), 70 * 5292);
  ASSERT_EQ(set_loop(player, 70, 72), "");
  const std::string looped = play(21);
  EXPECT_TRUE(looped == (loop + loop + loop).substr(0, looped.size()));
  EXPECT_EQ(channel_facts(8).pattern, 19);  // the edited pattern, from row 65 on
  EXPECT_NE(set_loop(player, 72, 72), "");
  stop_loop(player);
  EXPECT_FALSE(player.options.loop);
}

}  // namespace
