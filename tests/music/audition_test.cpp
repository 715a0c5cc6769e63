// The studio's audition voice: an instrument played at a note sounds, value for value, as a
// channel of that instrument playing the note, alone and summed with the song before the output.
#include <gtest/gtest.h>

#include <string>

#include "music_test_support.h"

namespace {

// The instruments have a pan and a filter of their own, so the voice must take both from them.
const std::string instruments =
    "bpm:125\n"
    "i1:saha,2,6,1,9000,0,0,30,40\n"
    "i2:saha,2,6,1,9000,0,0,30,40\n"
    "p1:g3\n"
    "p2:c4\n"
    "p3:0\n";

// 12 buffers: past the end of the g3's sample.
std::string play(const std::string& tracks, int32_t audition_instrument) {
  fresh_model();
  EXPECT_EQ(parse(instruments + tracks), 0);
  if (audition_instrument > 0) audition_start(audition_instrument, 196);
  std::string out;
  play_buffers(12, [&](const auto& buffer) { out.append(buffer.begin(), buffer.end()); });
  return out;
}

TEST(Audition, SoundsAsTheChannelPlayingTheNote) {
  const std::string alone = play("t1:p3\n", 1);
  EXPECT_EQ(alone, play("t1:p1\n", 0));
  EXPECT_NE(alone, play("t1:p3\n", 0));  // it is heard at all
  // Over a song: added to the same sums, after the channels below it.
  EXPECT_EQ(play("t1:p2\nt2:p3\n", 2), play("t1:p2\nt2:p1\n", 0));
}

}  // namespace
