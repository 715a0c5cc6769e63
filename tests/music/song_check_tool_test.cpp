// Runs the built kelvorinsaa-songcheck program, which the build runs on the built-in song: a
// fault must come out as FILE:LINE: reason with status 1, a good song silently with status 0.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::string tool = KELVORINSAA_BINARY_DIR "/kelvorinsaa-songcheck";

struct CheckRun {
  int status;
  std::string err;
};

// Each test writes its songs and the tool's messages in a folder of its own, so tests that
// ctest runs at the same time never read each other's files.
class SongCheckTool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "songcheck_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  CheckRun run_check(const std::string& arguments) const {
    const std::string err_path = (dir / "stderr.txt").string();
    const int raw = std::system((tool + " " + arguments + " 2>" + err_path).c_str());
    std::ifstream err_file(err_path);
    std::string err((std::istreambuf_iterator<char>(err_file)), std::istreambuf_iterator<char>());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, err};
  }

  std::string write_song(const std::string& name, const std::string& text) const {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  fs::path dir;
};

}  // namespace

TEST_F(SongCheckTool, GoodSongsPassAndFaultsNameFileLineAndReason) {
  const CheckRun built_in = run_check("--show " KELVORINSAA_SOURCE_DIR "/src/music/song.txt");
  EXPECT_EQ(built_in.status, 0) << built_in.err;
  EXPECT_EQ(built_in.err, "");

  const std::string broken =
      write_song("songcheck_broken.txt", "bpm:125\n\n# a comment\ni3:kohina,2,10,-1,5100,0\n");
  const CheckRun fault = run_check(broken);
  EXPECT_EQ(fault.status, 1);
  EXPECT_EQ(fault.err, broken + ":4: length -1 is negative\n");

  // Parses, but the picture would drift from rows of another length.
  const std::string fast = write_song("songcheck_fast.txt", "bpm:128\np1:c4\nt1:p1,loop\n");
  EXPECT_EQ(run_check(fast).status, 0);
  const CheckRun as_show = run_check("--show " + fast);
  EXPECT_EQ(as_show.status, 1);
  EXPECT_NE(as_show.err.find(fast + ": rows of 5188 frames"), std::string::npos) << as_show.err;

  const CheckRun missing = run_check("/nonexistent/song.txt");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot open /nonexistent/song.txt: No such file"), std::string::npos)
      << missing.err;
  EXPECT_EQ(run_check("--frobnicate x").status, 2);
}

// Songs the parser accepts but nothing can play are faults; what is probably a typo is a warning.
TEST_F(SongCheckTool, SongsWithoutTempoAreFaultsAndTyposAreWarnings) {
  const std::string empty = write_song("songcheck_empty.txt", "");
  const CheckRun silent = run_check(empty);
  EXPECT_EQ(silent.status, 1);
  EXPECT_EQ(silent.err, empty + ": warning: track 1 is empty: the song is silent\n" + empty +
                            ": no tempo line (bpm:N), nothing to play\n");
  const std::string garbage = write_song("songcheck_garbage.txt",
                                         "\x7f"
                                         "ELF\x02\x01\n");
  const CheckRun bytes = run_check(garbage);
  EXPECT_EQ(bytes.status, 1);
  EXPECT_NE(bytes.err.find(garbage + ":1: warning: \"\?ELF\?\?\" is no tempo"), std::string::npos)
      << bytes.err;
  EXPECT_NE(bytes.err.find(garbage + ": no tempo line"), std::string::npos) << bytes.err;

  const std::string typo =
      write_song("songcheck_typo.txt", "bpm:125\ni1:saha,2,6,1,2000,0,0,abc\np1:c4\nt1:p1,loop\n");
  const CheckRun warned = run_check("--show " + typo);
  EXPECT_EQ(warned.status, 0);
  EXPECT_EQ(warned.err,
            typo + ":2: warning: pan \"abc\" of instrument 1 is no number: it reads as 0\n");

  const CheckRun folder = run_check(dir.string());
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err,
            "kelvorinsaa-songcheck: cannot read " + dir.string() + ": Is a directory\n");
}
