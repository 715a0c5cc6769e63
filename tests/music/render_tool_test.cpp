// Runs the built kelvorinsaa-render program: its stream must be the one the audio callback
// gives in this process, its files must be whole or absent, and its table must add up.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
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
#include <tuple>
#include <utility>
#include <vector>

#include "music_test_support.h"
#include "render_tool.h"

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

  // environment: "NAME=value ..." for the tool alone.
  ToolRun run(const std::string& arguments, const std::string& environment = "") const {
    const std::string err_path = (dir / "stderr.txt").string();
    const std::string command = environment + " " + tool + " " + arguments + " 2>" + err_path;
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
      {"--frames 10 " + path("no_such_dir") + "/out.raw", "No such file or directory"},
      {"--frames 10 " + dir.string(), "Is a directory"},
      {"--frames 10 /dev/full.raw", "No such file or directory"},
      {"--frames 10 --stems " + path("bad.txt") + " " + path("o.raw"), "not a folder"},
      {"", "no output file"},
      {"--frames 0 x.raw", "--frames needs a whole number"},
      {"--frames 12z x.raw", "--frames needs a whole number"},
      {"--frames", "--frames needs"},
      {"--song", "--song needs a file name"},
      {"--mute 0 x.raw", "channel list \"0\""},
      {"--solo 3-1 x.raw", "channel list \"3-1\""},
      {"--from 10 --to 5 x.raw", "does not come after"},
      {"--to 5 --frames 9 x.raw", "both give the end"},
      {"--loud x.raw", "unknown option --loud"},
      {"a.raw b.raw", "more than one output"}};
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

namespace {

std::string slice(const std::string& stream, int64_t first_frame, int64_t frames) {
  return stream.substr(4 * first_frame, 4 * frames);
}

bool silent(const std::string& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

TEST_F(RenderTool, RangesAreSlicesOfTheWholeRender) {
  const std::string song = "--song " + test_song + " ";
  ASSERT_EQ(run(song + "--frames 80000 " + path("all.raw")).status, 0);
  const std::string all = read_file(path("all.raw"));
  // Row 5 to 12 at 5292 frames a row; times in seconds land on the frame they round to.
  ASSERT_EQ(run(song + "--from 5 --to 12 " + path("rows.raw")).status, 0);
  EXPECT_TRUE(read_file(path("rows.raw")) == slice(all, 5 * 5292, 7 * 5292));
  ASSERT_EQ(run(song + "--from-time 0.5 --to-time 1.25 " + path("time.raw")).status, 0);
  EXPECT_TRUE(read_file(path("time.raw")) == slice(all, 22050, 33075));
  // "-" is the raw stream on standard output, here a pipe.
  const ToolRun piped = run(song + "--from 5 --frames 1000 -");
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_TRUE(piped.out == slice(all, 5 * 5292, 1000));
}

// A muted channel sounds as if it had no instrument: the reference is the song without it.
TEST_F(RenderTool, MuteAndSoloMatchASongWithoutTheSilencedInstruments) {
  std::ifstream in(test_song);
  std::string line, without_two, only_four;
  while (std::getline(in, line)) {
    const bool instrument = line.rfind("i", 0) == 0;
    if (line.rfind("i2:", 0) != 0) without_two += line + "\n";
    if (!instrument || line.rfind("i4:", 0) == 0) only_four += line + "\n";
  }
  std::ofstream(path("without_two.txt")) << without_two;
  std::ofstream(path("only_four.txt")) << only_four;
  const std::string count = " --frames 60000 ";
  ASSERT_EQ(run("--song " + path("without_two.txt") + count + path("ref2.raw")).status, 0);
  ASSERT_EQ(run("--song " + path("only_four.txt") + count + path("ref4.raw")).status, 0);
  ASSERT_EQ(run("--song " + test_song + count + "--mute 2 " + path("mute2.raw")).status, 0);
  ASSERT_EQ(run("--song " + test_song + count + "--solo 4 " + path("solo4.raw")).status, 0);
  EXPECT_TRUE(read_file(path("mute2.raw")) == read_file(path("ref2.raw")));
  EXPECT_TRUE(read_file(path("solo4.raw")) == read_file(path("ref4.raw")));
  EXPECT_FALSE(silent(read_file(path("solo4.raw"))));
}

TEST_F(RenderTool, StemsHoldEachChannelAloneAndMutedOnesSilent) {
  const ToolRun result =
      run("--song " + test_song + " --frames 150000 --mute 3 --stems " + path("stems"));
  ASSERT_EQ(result.status, 0) << result.err;
  ASSERT_EQ(run("--song " + test_song + " --frames 150000 --solo 4 " + path("solo4.wav")).status,
            0);
  for (int k = 1; k <= 10; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "stems/channel_%02d.wav", k);
    const std::string wav = read_file(path(name));
    ASSERT_GT(wav.size(), 4u * 150000) << name;
    EXPECT_EQ(silent(wav.substr(wav.size() - 4 * 150000)), k == 3) << name;
    if (k == 4) {
      EXPECT_TRUE(wav == read_file(path("solo4.wav")));
    }
  }
}

TEST_F(RenderTool, TraceShowsEveryRowTick) {
  std::ofstream(path("small.txt")) << "bpm:125\ni1:saha,2,6,1,2000,0,0\ni2:sini,2,6,1,2000,0,0\n"
                                      "p1:g3,vol,50,bogus\np2:echo1,c2\nt1:p1,p2\nt2:p2,loop\n";
  const ToolRun result = run("--song " + path("small.txt") + " --to 6 --trace " + path("t.txt"));
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string expected =
      "0 1:0:p1:0:g3 2:0:p2:0:echo1\n"
      "1 1:0:p1:1:vol=50 2:0:p2:1:c2\n"
      "2 1:0:p1:2:. 2:0:p2:0:echo1\n"
      "3 1:1:p2:0:echo1 2:0:p2:1:c2\n"
      "4 1:1:p2:1:c2 2:0:p2:0:echo1\n"
      "5 1:end 2:0:p2:1:c2\n";
  EXPECT_EQ(read_file(path("t.txt")), expected);
  // From a later row the trace numbers rows as the song does.
  ASSERT_EQ(run("--song " + path("small.txt") + " --from 4 --to 6 --trace " + path("u.txt")).status,
            0);
  EXPECT_EQ(read_file(path("u.txt")), expected.substr(expected.find("4 1:")));
}

TEST_F(RenderTool, SpecialFilesAreWrittenInPlace) {
  // A device: written, not replaced, and a full one names the cause.
  EXPECT_EQ(run("--frames 3000 /dev/null").status, 0);
  const ToolRun full = run("--frames 3000 /dev/full");
  EXPECT_NE(full.status, 0);
  EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
  // A link keeps pointing at its target, which receives the file.
  fs::create_symlink("target.raw", path("link.raw"));
  ASSERT_EQ(run("--frames 3000 " + path("link.raw")).status, 0);
  EXPECT_TRUE(fs::is_symlink(path("link.raw")));
  EXPECT_EQ(fs::file_size(path("target.raw")), 12000u);
  // A FIFO is written into, with a reader at the other end.
  ASSERT_EQ(mkfifo(path("fifo.raw").c_str(), 0600), 0);
  const std::string command = "cat " + path("fifo.raw") + " > " + path("from_fifo.raw") + " &";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(run("--frames 3000 " + path("fifo.raw")).status, 0);
  for (int i = 0; i < 50 && fs::file_size(path("from_fifo.raw")) < 12000u; ++i) usleep(20000);
  EXPECT_TRUE(read_file(path("from_fifo.raw")) == read_file(path("target.raw")));
  EXPECT_TRUE(fs::is_fifo(path("fifo.raw")));
}

TEST_F(RenderTool, CheckListsWarningsWithTheirLines) {
  std::ofstream(path("lint.txt")) << "bpm:125\ni1:sinus,2,6,1,2000,0,0\ni2:saha,2,6,1,2000,0,0\n"
                                     "p1:c4,00,x9,0,vol,50,00\nt1:p1,p7\nt2:p1\nt3:p1\nt5:p1\n";
  const ToolRun result = run("--check " + path("lint.txt"));
  EXPECT_EQ(result.status, 0);
  const std::string name = path("lint.txt") + ": ";
  const char* const expected[] = {
      "line 2: unknown waveform \"sinus\": instrument 1 keeps kantti",
      "line 4: \"x9\" in pattern 1 is no note or keyword: it plays as a rest",
      "line 5: track 1 names pattern 7, which no pattern line defines",
      "line 7: channel 3 plays track 3 but has no instrument line i3: it stays silent",
      "line 8: track 5 will never play: track 4 before it is empty",
      "song: the tracks end after 106 rows, before the show's 1088",
      "6 warnings"};
  std::istringstream lines(result.out);
  std::string line;
  for (const char* want : expected) {
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, name + want);
  }
  // The built-in song's clipping shows as stretches of rows; a rejected song fails.
  const ToolRun song = run("--check " KELVORINSAA_SOURCE_DIR "/src/music/song.txt");
  EXPECT_EQ(song.status, 0);
  EXPECT_NE(song.out.find("clip ("), std::string::npos);
  std::ofstream(path("bad.txt")) << "bpm:125\np1000:c4\n";
  const ToolRun bad = run("--check " + path("bad.txt"));
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("line 2: pattern number 1000"), std::string::npos) << bad.err;
}

}  // namespace

namespace {

// Songs the parser accepts but nothing can play: rows of no length once divided the frames.
TEST_F(RenderTool, SongWithoutTempoLineIsRefusedInEveryMode) {
  std::ofstream(path("empty.txt")) << "";
  std::ofstream(path("garbage.txt"), std::ios::binary)
      << "\x7f\x45\x4c\x46\x02\x01\x01\n\xff\xfe p1:c4\nt2:p1,loop\n";
  const std::string modes[] = {path("x.wav"),
                               "--stats",
                               "--trace " + path("t.txt"),
                               "--stems " + path("stems"),
                               "-",
                               "--to 4 " + path("x.raw")};
  for (const char* song : {"empty.txt", "garbage.txt"}) {
    for (const std::string& mode : modes) {
      const ToolRun result = run("--song " + path(song) + " " + mode);
      EXPECT_EQ(result.status, 1) << song << " " << mode;  // never a signal (-1 here)
      EXPECT_EQ(result.err,
                "kelvorinsaa-render: " + path(song) + ": no tempo line (bpm:N), nothing to play\n");
      EXPECT_EQ(result.out, "");
    }
  }
  std::vector<std::string> left = files();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"empty.txt", "garbage.txt"}));
  // The lint only warns: --check lists the song with the same reason.
  const ToolRun check = run("--check " + path("empty.txt"));
  EXPECT_EQ(check.status, 0);
  EXPECT_NE(check.out.find("song: no tempo line (bpm:N), nothing to play"), std::string::npos);
}

TEST_F(RenderTool, FolderOrUnreadableSongSaysWhyInOneLine) {
  fs::create_directory(path("folder"));
  for (const std::string& arguments :
       {"--song " + path("folder") + " " + path("x.wav"), "--check " + path("folder")}) {
    const ToolRun result = run(arguments);
    EXPECT_EQ(result.status, 1) << arguments;
    EXPECT_EQ(result.err,
              "kelvorinsaa-render: cannot read " + path("folder") + ": Is a directory\n");
  }
  // A FIFO is read until its writer closes it.
  ASSERT_EQ(mkfifo(path("song.fifo").c_str(), 0600), 0);
  const std::string writer = "cat " + test_song + " > " + path("song.fifo") + " &";
  ASSERT_EQ(std::system(writer.c_str()), 0);
  const ToolRun fifo = run("--song " + path("song.fifo") + " --frames 12000 " + path("f.raw"));
  EXPECT_EQ(fifo.status, 0) << fifo.err;
  EXPECT_TRUE(read_file(path("f.raw")) == callback_stream(test_song.c_str(), 12000));
}

// A command line wrong as written is a usage error (2); a range this song's rows do not hold is a
// failure (1).
TEST_F(RenderTool, MessagesNameTheOptionsAsGiven) {
  const std::tuple<std::string, int, std::string> failures[] = {
      {"--from 2000 x.raw", 1,
       "--from 2000 is past the end of the render: the show's length, 5762048 frames (130.66 s), "
       "ends in row 1088 of this song"},
      {"--from-time -1 x.raw", 2, "--from-time needs seconds from 0 to 40000, not \"-1\""},
      {"--to-time 40000.01 x.raw", 2, "--to-time needs seconds from 0 to 40000, not \"40000.01\""},
      {"--to abc x.raw", 2, "--to needs a row from 0 to 2147483647, not \"abc\""},
      {"--to 333334 x.raw", 1,
       "--to needs a row from 0 to 333333 at this song's tempo (40000 s), not \"333334\""},
      {"--from 10 --frames 1763999000 x.raw", 1,
       "--frames 1763999000 from --from 10 ends past 40000 s, the longest render"},
      {"--from 10 --from-time 1 x.raw", 2, "--from and --from-time both give the start"},
      {"--to-time 3 --to 1 x.raw", 2, "--to and --to-time both give the end"},
      {"--to-time 3 --frames 9 x.raw", 2, "--frames and --to-time both give the end"},
      {"--from-time 2 --to-time 1.5 x.raw", 1, "--to-time 1.5 does not come after --from-time 2"},
      {"--to 0 x.raw", 1, "--to 0 does not come after the start"}};
  for (const auto& [arguments, status, message] : failures) {
    const ToolRun result = run(arguments);
    EXPECT_EQ(result.status, status) << arguments;
    EXPECT_EQ(result.err, "kelvorinsaa-render: " + message + "\n") << arguments;
  }
  EXPECT_TRUE(files().empty());
  // The bound the message gives is taken.
  const char* last[] = {"kelvorinsaa-render", "--to-time", "40000", "x.raw"};
  RenderOptions options;
  EXPECT_EQ(parse_render_options(4, const_cast<char**>(last), options), "");
  // The same kind given twice: the last one counts, as with most programs.
  EXPECT_EQ(run("--from 3 --from 5 --to 6 " + path("a.raw")).status, 0);
  EXPECT_EQ(fs::file_size(path("a.raw")), 4u * 5292);
}

// A channel in both lists is muted; the others of the solo list play.
TEST_F(RenderTool, MuteWinsOverSolo) {
  const std::string song = "--song " + test_song + " --frames 60000 ";
  ASSERT_EQ(run(song + "--solo 4 --mute 4 " + path("none.raw")).status, 0);
  EXPECT_TRUE(silent(read_file(path("none.raw"))));
  ASSERT_EQ(run(song + "--solo 4,5 --mute 5 " + path("four.raw")).status, 0);
  ASSERT_EQ(run(song + "--solo 4 " + path("solo4.raw")).status, 0);
  EXPECT_TRUE(read_file(path("four.raw")) == read_file(path("solo4.raw")));
  EXPECT_NE(run("--help").out.find("a channel in both lists is muted"), std::string::npos);
}

TEST_F(RenderTool, FullDiskOrFileLimitSaysSoAndLeavesNothing) {
  // libsndfile's own wording ("System error : ...") is put as the other messages are.
  const ToolRun full = run("--frames 100000 /dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "kelvorinsaa-render: cannot write /dev/full: No space left on device\n");
  // Past the shell's file size limit the write fails instead of a signal ending the program.
  for (const char* name : {"big.wav", "big.raw"}) {
    const std::string command = "ulimit -f 16; " + tool + " --frames 100000 " + path(name) + " 2>" +
                                path("err.txt") + "; echo $?";
    std::FILE* shell = popen(("bash -c '" + command + "'").c_str(), "r");
    ASSERT_NE(shell, nullptr);
    char status[16] = {};
    ASSERT_NE(std::fgets(status, sizeof status, shell), nullptr);
    pclose(shell);
    EXPECT_STREQ(status, "1\n") << name;
    EXPECT_EQ(read_file(path("err.txt")),
              "kelvorinsaa-render: cannot write " + path(name) + ": File too large\n");
    fs::remove(path("err.txt"));
  }
  EXPECT_TRUE(files().empty());
}

// Stems of an earlier render of a song with more channels go; other files stay.
TEST_F(RenderTool, ReusedStemsFolderHoldsThisRendersStemsOnly) {
  const std::string stems = path("stems");
  ASSERT_EQ(run("--song " + test_song + " --frames 3000 --stems " + stems).status, 0);
  std::ofstream(stems + "/notes.txt") << "mine";
  std::ofstream(stems + "/channel_30.wav") << "not a channel the tools write";
  fs::remove(stems + "/channel_09.wav");
  fs::create_symlink("channel_01.wav", stems + "/channel_09.wav");  // not one the tools make
  std::ofstream(path("two.txt")) << "bpm:125\ni1:saha,2,6,1,2000,0,0\ni2:sini,2,6,1,2000,0,0\n"
                                    "p1:c4\nt1:p1,loop\nt2:p1,loop\n";
  const ToolRun result = run("--song " + path("two.txt") + " --frames 3000 --stems " + stems);
  ASSERT_EQ(result.status, 0) << result.err;
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(stems))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"channel_01.wav", "channel_02.wav", "channel_09.wav",
                                            "channel_30.wav", "notes.txt"}));
}

}  // namespace

namespace {

// Ctrl-C or TERM during a long render, or during the silent mix up to a late start: the status
// a shell expects, soon, and no file left behind.
TEST_F(RenderTool, StoppedRenderLeavesNothingAndEndsAsShellsExpect) {
  const std::pair<int, const char*> stops[] = {{SIGINT, "0"}, {SIGTERM, "30000"}};
  for (const auto& [signal_number, from] : stops) {
    const std::string out = path("long.wav");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Hours of sound, or of silent mixing before it: far more than the test waits for.
      execl(tool.c_str(), tool.c_str(), "--from-time", from, "--to-time", "39000", "--stems",
            path("stems").c_str(), out.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    bool writing = false;
    for (int i = 0; i < 500 && !writing; ++i) {
      usleep(10000);
      for (const std::string& name : files())
        writing = writing || name.rfind("long.wav.tmp", 0) == 0;
    }
    EXPECT_TRUE(writing);
    usleep(100000);
    kill(child, signal_number);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number);
    EXPECT_EQ(files(), std::vector<std::string>{"stems"});
    EXPECT_TRUE(fs::is_empty(path("stems")));
  }
}

}  // namespace

namespace {

// A reader that goes away early is a write that fails, with its reason, not a signal.
TEST_F(RenderTool, ReaderThatGoesAwaySaysSo) {
  const std::string command = "bash -c '" + tool + " --frames 400000 - 2>" + path("err.txt") +
                              " | head -c 10 >/dev/null; echo ${PIPESTATUS[0]}'";
  std::FILE* shell = popen(command.c_str(), "r");
  ASSERT_NE(shell, nullptr);
  char status[16] = {};
  ASSERT_NE(std::fgets(status, sizeof status, shell), nullptr);
  pclose(shell);
  EXPECT_STREQ(status, "1\n");
  EXPECT_EQ(read_file(path("err.txt")), "kelvorinsaa-render: cannot write -: Broken pipe\n");
}

}  // namespace

namespace {

std::string read_head(const fs::path& path, size_t bytes) {
  std::ifstream in(path, std::ios::binary);
  std::string head(bytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(bytes));
  head.resize(static_cast<size_t>(in.gcount()));
  return head;
}

uint64_t little_endian(const std::string& bytes, size_t at, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

int64_t sound_frames(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return -1;
  sf_close(file);
  return info.frames;
}

// A RIFF header counts its size in 32 bits: up to there a WAV file keeps its plain 44-byte header,
// and past it is RF64, whose sizes readers take whole. The sound is silence, which the preloaded
// writes leave as holes: the files take no disk.
TEST_F(RenderTool, WavPast4GiBIsRf64AndBelowItPlainRiff) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "two renders of 6 h 45 min take minutes under the sanitizers, and run no code "
                  "the shorter renders do not";
#endif
  std::ofstream(path("silent.txt")) << "bpm:125\n";
  const std::string preload = std::string("LD_PRELOAD=") + SPARSE_WRITES_LIBRARY;
  const int64_t riff_frames = (0xFFFFFFFFll - 36) / 4;
  for (const int64_t frames : {riff_frames, riff_frames + 1}) {
    const std::string out = path("big.wav");
    const ToolRun result =
        run("--song " + path("silent.txt") + " --frames " + std::to_string(frames) + " " + out,
            preload);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string head = read_head(out, 64);
    ASSERT_EQ(head.size(), 64u);
    const uint64_t data_bytes = 4 * static_cast<uint64_t>(frames);
    if (frames == riff_frames) {
      EXPECT_EQ(head.substr(0, 4), "RIFF");
      EXPECT_EQ(little_endian(head, 40, 4), data_bytes);
      EXPECT_EQ(fs::file_size(out), 44 + data_bytes);
    } else {
      EXPECT_EQ(head.substr(0, 4) + head.substr(12, 4), "RF64ds64");
      EXPECT_EQ(little_endian(head, 28, 8), data_bytes);
      EXPECT_EQ(little_endian(head, 36, 8), static_cast<uint64_t>(frames));
    }
    EXPECT_EQ(sound_frames(out), frames);
    fs::remove(out);
  }
}

// The name's extension says the kind; FLAC, being lossless, holds the stream itself. Stems come
// in OUT's kind, and those of another kind an earlier render left go.
TEST_F(RenderTool, FilesAreOfTheKindTheirNamesSay) {
  const std::string song = "--song " + test_song + " --frames 12000 ";
  const std::pair<const char*, int> kinds[] = {{"a.wav", SF_FORMAT_WAV},
                                               {"b.FLAC", SF_FORMAT_FLAC},
                                               {"c.ogg", SF_FORMAT_OGG},
                                               {"d.mp3", SF_FORMAT_MPEG}};
  for (const auto& [name, major] : kinds) {
    ASSERT_EQ(run(song + path(name)).status, 0) << name;
    SF_INFO info{};
    SNDFILE* file = sf_open(path(name).c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << name;
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, major) << name;
    EXPECT_EQ(info.channels * 100000 + info.samplerate, 244100) << name;
    if (major == SF_FORMAT_FLAC) {
      std::string decoded(4 * 12000, '\0');
      EXPECT_EQ(sf_readf_short(file, reinterpret_cast<short*>(decoded.data()), 12000), 12000);
      EXPECT_TRUE(decoded == callback_stream(test_song.c_str(), 12000));
    }
    sf_close(file);
  }
  const std::string stems = path("stems");
  ASSERT_EQ(run(song + "--stems " + stems).status, 0);
  ASSERT_EQ(run(song + "--stems " + stems + " " + path("mix.flac")).status, 0);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(stems))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  ASSERT_EQ(left.size(), 10u);
  EXPECT_EQ(left.front() + " " + left.back(), "channel_01.flac channel_10.flac");
  for (const char* name : {"x.aiff", "x", "x.wav.txt"}) {
    const ToolRun refused = run(song + path(name));
    EXPECT_EQ(refused.status, 2) << name;
    EXPECT_EQ(refused.err, "kelvorinsaa-render: " + path(name) +
                               ": give a name ending in .wav, .flac, .ogg, .mp3, .raw or .mid, or "
                               "- for standard output\n");
  }
}

}  // namespace
