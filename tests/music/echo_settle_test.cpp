// Checks that echo tails and filter states settle at zero instead of lingering as subnormal
// floats, and that this changes no output value: on hand-made tails, the built-in show, the
// golden songs and the fuzz seeds, each played with settling on and off.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "music_test_support.h"

namespace {

std::vector<uint8_t> play_stream(int32_t buffers) {
  std::vector<uint8_t> stream;
  stream.reserve(static_cast<size_t>(buffers) * 4 * callback_frames);
  play_buffers(buffers, [&](const auto& buffer) {
    stream.insert(stream.end(), buffer.begin(), buffer.end());
  });
  return stream;
}

// Plays a song text with settling on, then again from scratch with it off.
void expect_same_with_and_without_settling(const std::string& song, int32_t buffers,
                                           const std::string& name) {
  fresh_model();
  if (parse(song) < 0) return;  // nothing to play
  const std::vector<uint8_t> settled = play_stream(buffers);
  mixer_settle_tiny_values(false);
  fresh_model();
  parse(song);
  const std::vector<uint8_t> exact = play_stream(buffers);
  mixer_settle_tiny_values(true);
  ASSERT_EQ(settled.size(), exact.size());
  for (size_t i = 0; i < settled.size(); i += 2) {
    ASSERT_EQ(settled[i] | settled[i + 1] << 8, exact[i] | exact[i + 1] << 8)
        << name << ": 16-bit value " << i / 2 << " differs";
  }
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

int subnormal_echo_values(int32_t channel) {
  int count = 0;
  for (int32_t i = 0; i < echo_length; ++i) {
    if (std::fpclassify(echo_line[channel][i]) == FP_SUBNORMAL) ++count;
  }
  return count;
}

}  // namespace

// One echoed note, then rests: with 300-frame echo lines the tail is below every normal float
// after some 200 passes. Kept exactly, the line then holds +-2^-149 for good.
TEST(EchoSettle, SilentTailEndsAtZeroWithTheSameOutput) {
  const std::string song = "bpm:2000\ni1:saha,2,6,1,200,0\np1:echo1,c4\np2:0\nt1:p1,p2,loop";
  for (const bool settle : {false, true}) {
    fresh_model();
    ASSERT_EQ(parse(song), 0) << song_error();
    ASSERT_EQ(echo_length, 990);
    mixer_settle_tiny_values(settle);
    play_stream(400);
    mixer_settle_tiny_values(true);
    if (settle) {
      EXPECT_EQ(subnormal_echo_values(1), 0);
    } else {
      EXPECT_GT(subnormal_echo_values(1), 0) << "the tail never became subnormal: no test";
    }
  }
  expect_same_with_and_without_settling(song, 400, "tail");
}

// Notes through filters, then silence for good: fed nothing, a state decays by its coefficient
// per frame and, kept exactly, stops at the smallest subnormals (0.99 or -0.99 times 2^-149
// rounds back to +-2^-149). A coefficient of -1 does not damp, and one beyond 1 amplifies:
// neither state ever becomes tiny or is settled.
TEST(EchoSettle, SilentFiltersEndAtZeroWithTheSameOutput) {
  const std::string song =
      "bpm:2000\ni1:saha,2,6,1,200,0,0,40,99\ni2:sini,2,6,1,300,0,0,60,-99\n"
      "i3:kohina,2,6,1,200,0,0,40,90\ni4:saha,2,6,1,200,0,0,60,-100\ni5:saha,2,6,1,200,0,0,40,101\n"
      "p1:c4,echo1,g4\np2:a3,00,c4\nt1:p1,p2\nt2:p2,p1\nt3:p1\nt4:p2\nt5:p1";
  for (const bool settle : {false, true}) {
    fresh_model();
    ASSERT_EQ(parse(song), 0) << song_error();
    mixer_settle_tiny_values(settle);
    play_stream(400);
    mixer_settle_tiny_values(true);
    int subnormal_states = 0;
    for (int32_t k = 1; k <= 3; ++k) {
      if (settle) {
        EXPECT_EQ(filter_state[k], 0.0f) << "channel " << k;
      }
      subnormal_states += std::fpclassify(filter_state[k]) == FP_SUBNORMAL ? 1 : 0;
    }
    if (!settle) {
      EXPECT_GE(subnormal_states, 2) << "the states never became subnormal: no test";
    }
    EXPECT_NE(filter_state[4], 0.0f) << "a coefficient of -1 rings on undamped";
    EXPECT_NE(filter_state[5], 0.0f) << "a coefficient beyond 1 is never settled";
  }
  expect_same_with_and_without_settling(song, 400, "filters");
}

TEST(EchoSettle, ShowGoldenSongsAndFuzzSeedsSoundTheSame) {
  expect_same_with_and_without_settling(std::string(embedded_song_text, embedded_song_length),
                                        show_buffers, "built-in song");
  const std::filesystem::path source = KELVORINSAA_SOURCE_DIR;
  for (const char* name : {"engine_a", "engine_b", "engine_c"}) {
    const auto path = source / "tests/music/golden" / (std::string(name) + ".txt");
    expect_same_with_and_without_settling(read_file(path), 1500, name);
  }
  // The named seeds; the fuzzer's minimized finds are replayed by the fuzz target's own test.
  for (const auto& entry : std::filesystem::directory_iterator(source / "fuzz/corpus/song_parse")) {
    if (entry.path().extension() != ".txt") continue;
    expect_same_with_and_without_settling(read_file(entry.path()), 300,
                                          entry.path().filename().string());
  }
}
