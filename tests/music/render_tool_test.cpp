// Runs the built kelvorinsaa-render program: its stream must be the one the audio callback
// gives in this process, its files must be whole or absent, and its table must add up.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "music_test_support.h"

namespace {

namespace fs = std::filesystem;

const std::string tool = KELVORINSAA_BINARY_DIR "/kelvorinsaa-render";
const std::string test_song = KELVORINSAA_SOURCE_DIR "/tests/music/golden/test_song.txt";

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

class RenderTool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "render_tool_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  ToolRun run(const std::string& arguments) const {
    const std::string err_path = (dir / "stderr.txt").string();
    const std::string command = tool + " " + arguments + " 2>" + err_path;
    ToolRun result{-1, "", ""};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.out.append(chunk, got);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = read_file(err_path);
    fs::remove(err_path);
    return result;
  }

  static std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string path(const std::string& name) const { return (dir / name).string(); }

  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  fs::path dir;
};

// The first frames of a song through this process's own audio callback, as bytes.
std::string callback_stream(const char* song_path, int32_t frames) {
  fresh_model();
  EXPECT_EQ(song_path ? song_load(song_path) : parse_embedded_song(), 0) << song_error();
  std::string stream;
  play_buffers((frames + callback_frames - 1) / callback_frames,
               [&](const auto& buffer) { stream.append(buffer.begin(), buffer.end()); });
  song_model_clear();
  stream.resize(4 * static_cast<size_t>(frames));
  return stream;
}

TEST_F(RenderTool, RawAndWavHoldTheCallbackStream) {
  // Not a whole number of buffers, and past the second row, where the test song has begun.
  const int32_t frames = 12000;
  const std::string count = " --frames " + std::to_string(frames) + " ";
  EXPECT_EQ(run(count + path("built_in.raw")).status, 0);
  EXPECT_TRUE(read_file(path("built_in.raw")) == callback_stream(nullptr, frames));

  const std::string expected = callback_stream(test_song.c_str(), frames);
  EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](char c) { return c != 0; }));
  EXPECT_EQ(run("--song " + test_song + count + path("song.raw")).status, 0);
  EXPECT_TRUE(read_file(path("song.raw")) == expected);

  EXPECT_EQ(run(count + "--song " + test_song + " " + path("song.wav")).status, 0);
  const std::string wav = read_file(path("song.wav"));
  ASSERT_GT(wav.size(), expected.size() + 12);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(wav.substr(8, 4), "WAVE");
  EXPECT_TRUE(wav.substr(wav.size() - expected.size()) == expected);
  EXPECT_EQ(files().size(), 3u);  // no temporary files left behind
}

TEST_F(RenderTool, FailuresLeaveNoFileAndSayWhy) {
  {
    std::ofstream song(path("bad.txt"));
    song << "bpm:125\ni1:sini,0,1,1,0,0\nt1:p1\n";
  }
  const std::pair<std::string, std::string> failures[] = {
      {"--song " + path("bad.txt") + " " + path("out.wav"), "line 2"},
      {"--song " + path("missing.txt") + " " + path("out.raw"), "missing.txt"},
      {"--frames 10 " + path("no_such_dir") + "/out.raw", "cannot write"},
      {"", ""},
      {"--frames 0 x.raw", ""},
      {"--frames 12z x.raw", ""},
      {"--frames", ""},
      {"--song", ""},
      {"--loud x.raw", ""},
      {"a.raw b.raw", ""}};
  for (const auto& [arguments, reason] : failures) {
    const ToolRun result = run(arguments);
    EXPECT_NE(result.status, 0) << arguments;
    EXPECT_NE(result.err.find(reason), std::string::npos) << arguments << ": " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << arguments;
  }
  EXPECT_EQ(files(), std::vector<std::string>{"bad.txt"});

  const ToolRun result = run("--help");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("--frames N"), std::string::npos);
}

TEST_F(RenderTool, StatsTableOfASteadyTone) {
  // A square wave at full level on channel 1 (pan 0.4): every frame but the first two holds
  // +-4368 on the left and +-6553 on the right (c4 plays at 261/262, so the second frame still
  // reads the silent first one).
  {
    std::ofstream song(path("tone.txt"));
    song << "bpm:125\ni1:kantti,1,0,400000,1,0,0\np1:c4\nt1:p1\n";
  }
  const int32_t frames = 400000;  // 64 rows and a part of the next section
  const ToolRun result = run("--stats --frames 400000 --song " + path("tone.txt"));
  ASSERT_EQ(result.status, 0) << result.err;
  std::istringstream table(result.out);
  std::string line;
  std::vector<std::string> rows;
  while (std::getline(table, line)) rows.push_back(line);
  ASSERT_EQ(rows.size(), 5u) << result.out;
  EXPECT_EQ(rows[2].rfind("0-63", 0), 0u);
  EXPECT_EQ(rows[3].rfind("64-127", 0), 0u);
  ASSERT_EQ(rows[4].rfind("whole", 0), 0u);

  std::istringstream whole(rows[4].substr(5));
  double start = 0, peak = 0, rms = 0, clipped = 0;
  whole >> start >> peak >> rms >> clipped;
  EXPECT_NEAR(peak, 20.0 * std::log10(6553.0 / 32768.0), 0.005);
  const double squares = (4368.0 * 4368.0 + 6553.0 * 6553.0) * (frames - 2);
  EXPECT_NEAR(rms, 20.0 * std::log10(std::sqrt(squares / (2.0 * frames)) / 32768.0), 0.005);
  EXPECT_EQ(clipped, 0.0);
  EXPECT_EQ(files().size(), 1u);  // --stats alone writes nothing
}

}  // namespace
