// Songs that exercise every event and instrument item of the language (vol, sld up and down,
// stop, echo on and off, pan and filter items, redefined instruments, unknown waveform words,
// all four waveforms with modulation and slides, tempos 60, 128 and 200, a track left empty in
// the middle) played through the audio callback and compared with recorded hashes. The
// recordings agreed with a separate implementation written from the rules alone.
#include <gtest/gtest.h>

#include "music_test_support.h"

namespace {

constexpr int64_t golden_frames = 1'500'003;  // ends inside a buffer on purpose

StreamHash play_song_file(const std::string& path) {
  StreamHash hash;
  fresh_model();
  if (song_load(path.c_str()) < 0) return hash;
  const int32_t buffers =
      static_cast<int32_t>((golden_frames + callback_frames - 1) / callback_frames);
  play_buffers(buffers, [&](const auto& buffer) {
    const int64_t left = golden_frames - hash.frames;
    hash_frames(hash, buffer.data(),
                static_cast<int32_t>(std::min<int64_t>(left, callback_frames)));
  });
  song_model_clear();
  return hash;
}

TEST(GoldenSongs, StreamsMatchTheRecordedHashes) {
  for (const char* name : {"engine_a", "engine_b", "engine_c"}) {
    const std::string base = KELVORINSAA_SOURCE_DIR "/tests/music/golden/" + std::string(name);
    const StreamHash hash = play_song_file(base + ".txt");
    ASSERT_EQ(hash.frames, golden_frames) << name << ": " << song_error();
    EXPECT_EQ(check_golden(base + ".hash", hash), "") << name;
  }
}

}  // namespace

// A changed sound must be located, not only detected.
TEST(GoldenSongs, SectionHashesNameTheFirstSectionThatDiffers) {
  SectionedHash hash{1000, {}, {}};
  std::vector<uint8_t> bytes(4 * 3500, 7);
  hash_sections(hash, bytes.data(), 1500);
  hash_sections(hash, bytes.data(), 2000);
  ASSERT_EQ(hash.sections.size(), 4u);
  EXPECT_EQ(hash.sections[3].frames, 500);
  const std::string path = testing::TempDir() + "/kelvorinsaa_sections.hash";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  for (const std::string& line : sectioned_lines(hash)) std::fputs(line.c_str(), file);
  std::fclose(file);
  if (regenerating_golden()) GTEST_SKIP() << "compares only";
  EXPECT_EQ(check_golden_sections(path, hash), "");
  bytes[4 * 2100] = 8;  // inside section 2
  SectionedHash changed{1000, {}, {}};
  hash_sections(changed, bytes.data(), 3500);
  const std::string report = check_golden_sections(path, changed);
  EXPECT_NE(report.find("first difference in section 2, frames 2000 to 2999"), std::string::npos)
      << report;
  std::remove(path.c_str());
}
