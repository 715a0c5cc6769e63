// Checks that songs which would make the engine misbehave are refused, naming the line, and
// that the offending line writes nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "music_test_support.h"

namespace {

// Parses song into a fresh model and expects a rejection that names the given line.
void expect_rejected_at(const std::string& song, int line) {
  fresh_model();
  EXPECT_EQ(parse(song), song_rejected) << song;
  const std::string prefix = "line " + std::to_string(line) + ": ";
  EXPECT_EQ(std::string(song_error()).rfind(prefix, 0), 0u) << song << " -> " << song_error();
}

std::string repeated(const std::string& item, int count) {
  std::string items = item;
  for (int i = 1; i < count; ++i) items += "," + item;
  return items;
}

}  // namespace

TEST(SongReject, NumbersOutsideTheTables) {
  for (const char* line : {"i30:sini,2,2,2,2,2", "i-1:sini,2,2,2,2,2", "p1000:c4", "p-1:c4",
                           "t30:p1", "t-1:p1", "t2:p1,p1000", "t2:p1,x-3", "t2:p-1"}) {
    expect_rejected_at(std::string("bpm:125\n\r\n") + line, 3);
  }
}

TEST(SongReject, TooManyEntriesOrMissingArguments) {
  for (const std::string& song :
       {"p1:" + repeated("c4", 100), "p1:vol,5," + repeated("c4", 98),
        "t2:loop," + repeated("p1", 99), std::string("p1:c4,vol"), std::string("p1:sld,,,")}) {
    expect_rejected_at(song, 1);
  }
}

TEST(SongReject, NumbersBeyondThirtyTwoBits) {
  const std::pair<const char*, int> songs[] = {{"\n\np1:vol,2147483648", 3},
                                               {"p1:sld,-2147483649", 1},
                                               {"p4294967297:c4", 1},
                                               {"bpm:4294967421", 1},
                                               {"bpm:125\ni1:sini,2,2,2,9223372036854775808,0", 2},
                                               {"bpm:125\ni1:sini,2,2,2,2,0,0,0,-99999999999", 2},
                                               {"p1:vol,18446744073709551617", 1},
                                               {"p1:sld,-9223372036854775809", 1}};
  for (const auto& [song, line] : songs) expect_rejected_at(song, line);
  // Past 64 bits a reader that wraps would see 1, a valid volume.
  EXPECT_STREQ(song_error(), "line 1: number \"-9223372036854775809\" is outside the 32-bit range");
  fresh_model();
  EXPECT_EQ(parse("p1:vol,2147483647,sld,-2147483648"), 0);
  EXPECT_EQ(patterns[1][1], 2147483647);
  EXPECT_EQ(patterns[1][3], -2147483647 - 1);
}

TEST(SongReject, TempoOutOfUse) {
  for (const char* line :
       {"bpm:2", "bpm", "bpm:", "bpm:x", "bpm:-125", "bpm:661503", "bpm:2147483647"}) {
    expect_rejected_at(std::string("#\n") + line, 2);
    EXPECT_EQ(samples_per_row, 0);
  }
  expect_rejected_at("i1:sini,2,2,2,2,2\nbpm:125", 1);
  expect_rejected_at("bpm:125\ni1:sini,2,2,2,2,2\nbpm:125", 3);
  // Track 1 makes the mixer count rows, so a song that plays needs a tempo.
  expect_rejected_at("p1:c4\nt1:p1\nt2:p1", 2);
  fresh_model();
  EXPECT_EQ(parse("p1:c4\nt1:\nt2:p1"), 0);
}

// The audio thread may read the song only once the whole of it is in place.
TEST(SongReject, OnlyAnAcceptedSongIsPublished) {
  fresh_model();
  EXPECT_FALSE(song_published.load());
  EXPECT_EQ(parse("bpm:125\np1:c4,vol"), song_rejected);
  EXPECT_FALSE(song_published.load());
  EXPECT_EQ(parse("bpm:125\np1:c4"), 0);
  EXPECT_TRUE(song_published.load());
  fresh_model();
  EXPECT_FALSE(song_published.load());
}

TEST(SongReject, InstrumentLengths) {
  for (const char* line :
       {"i1:sini,2,2,2,2", "i1:sini,2,,2,,2,,", "i1:sini,-1,2,2,2,0", "i1:sini,2,-1,2,2,0",
        "i1:sini,2,2,-1,2,0", "i1:sini,2,2,2,-1,0", "i1:sini,0,2,2,0,0",
        "i1:sini,2147483647,1,0,0,0", "i1:sini,2,0,0,33554430,0"}) {
    expect_rejected_at(std::string("bpm:125\n") + line, 2);
  }
  EXPECT_EQ(parse("bpm:125\ni2:sini,2,0,0,33554429,0"), 0);
  EXPECT_EQ(sample_length[2], 33554432);
  EXPECT_EQ(sample_length[1], 0);
  EXPECT_FALSE(sample[1]);
}

// Each sample is allowed, but together they would take gigabytes: the line that crosses the
// budget is refused. Replacing an instrument frees its old sample, so that does not add up.
TEST(SongReject, AllInstrumentsTogetherKeepToTheMemoryBudget) {
  const std::string longest = ":saha,1,0,0,33554400,0\n";
  std::string song = "bpm:125\n";
  for (int n = 1; n <= 5; ++n) song += "i" + std::to_string(n) + longest;
  expect_rejected_at(song, 3);
  EXPECT_NE(std::string(song_error()).find("more than the 256 MiB budget"), std::string::npos)
      << song_error();
  EXPECT_EQ(sample_length[1], 33554402);
  EXPECT_FALSE(sample[2]);

  fresh_model();
  song = "bpm:125\n";
  for (int i = 0; i < 6; ++i) song += "i7" + longest;
  EXPECT_EQ(parse(song), 0) << song_error();
  EXPECT_EQ(parse("bpm:125\ni8:saha,1,0,0,33554400,0"), song_rejected);
  EXPECT_NE(std::string(song_error()).find("budget"), std::string::npos) << song_error();
  EXPECT_EQ(parse("bpm:125\ni7:saha,1,0,0,2,0\ni8:saha,1,0,0,33554400,0"), 0) << song_error();
}

TEST(SongReject, OffendingLineWritesNothingAndEndsTheParse) {
  fresh_model();
  ASSERT_EQ(parse("bpm:125\ni1:sini,2,2,2,2,0,0,40,10\np1:c4,d4\nt1:p1,loop"), 0);
  EXPECT_EQ(parse("p1:e4,vol\np2:c4"), song_rejected);
  EXPECT_EQ(parse("t1:p1,p1,p1000"), song_rejected);
  EXPECT_EQ(parse("bpm:125\ni1:saha,2,2,2,-2,0,0,70,70"), song_rejected);
  EXPECT_EQ(pattern_entries(1, 3), (std::vector<int32_t>{261, 293, end_marker}));
  EXPECT_EQ(track_entries(1, 3), (std::vector<int32_t>{1, loop_marker, end_marker}));
  EXPECT_EQ(pan[1], 0.4f);
  EXPECT_EQ(patterns[2][0], 0);
  // A later parse may not change the length of echo lines the mixer already uses.
  EXPECT_EQ(parse("bpm:128"), song_rejected);
  EXPECT_EQ(echo_length, 15876);
}

TEST(SongLoad, MissingFileRegularFileAndPipe) {
  fresh_model();
  EXPECT_EQ(song_load("/nonexistent/song.txt"), song_unreadable);
  EXPECT_EQ(std::string(song_error()).rfind("cannot open /nonexistent/song.txt: ", 0), 0u);
  EXPECT_EQ(song_load("/"), song_unreadable);
  EXPECT_EQ(tracks[1][0], end_marker);

  const std::string dir = testing::TempDir();
  const std::string file = dir + "/kelvorinsaa_song.txt";
  std::FILE* out = std::fopen(file.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fputs("bpm:125\ni1:saha,2,6,1,2000,0,0\np1:c4\nt1:p1,loop\nt2:p1\n", out);
  std::fclose(out);
  EXPECT_EQ(song_load(file.c_str()), 0);
  EXPECT_STREQ(song_error(), "");
  EXPECT_EQ(sample_length[1], 2010);
  EXPECT_EQ(tracks[2][0], 1);
  std::remove(file.c_str());

  // A pipe has no size to seek to; the tempo comes after more than one read's worth of comment.
  const std::string fifo = dir + "/kelvorinsaa_song.fifo";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    std::FILE* pipe = std::fopen(fifo.c_str(), "wb");
    std::fputs("t2:p7\n#", pipe);
    for (int i = 0; i < 200000; ++i) std::fputc('x', pipe);
    std::fputs("\nbpm:125\n", pipe);
    std::fclose(pipe);
  });
  fresh_model();
  EXPECT_EQ(song_load(fifo.c_str()), 0);
  writer.join();
  ::unlink(fifo.c_str());
  EXPECT_EQ(tracks[2][0], 7);
  EXPECT_EQ(samples_per_row, 5292);
}
