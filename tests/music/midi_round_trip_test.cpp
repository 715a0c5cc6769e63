// MIDI out and back: every golden song written by kelvorinsaa-render as OUT.mid and read back by
// kelvorinsaa-import must give a song the song check passes whose notes fall on the same rows as
// the original's (both as --trace shows them); and every bad file kept as a named input of the
// importer's fuzz target must end the built program with status 1 and one line naming the fault.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "import_tool.h"
#include "music_test_support.h"
#include "render_tool.h"
#include "songcheck_tool.h"

namespace {

namespace fs = std::filesystem;

const fs::path source_dir = KELVORINSAA_SOURCE_DIR;

std::string slurp(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

int run_tool(int (*tool)(int, char**, std::FILE*, std::FILE*), std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  std::FILE* sink = std::fopen("/dev/null", "w");
  const int status = tool(static_cast<int>(argv.size()), argv.data(), sink, sink);
  std::fclose(sink);
  return status;
}

// Each row of a trace: the names of the notes dispatched there, in order.
std::map<int, std::vector<std::string>> trace_notes(const fs::path& path) {
  std::map<int, std::vector<std::string>> rows;
  std::istringstream lines(slurp(path));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    int row = 0;
    fields >> row;
    std::vector<std::string>& notes = rows[row];
    std::string field;
    while (fields >> field) {
      const std::string event = field.substr(field.rfind(':') + 1);
      if (event.size() == 2 && std::string("cCdDefFgGaAb").find(event[0]) != std::string::npos &&
          event[1] >= '1' && event[1] <= '6')
        notes.push_back(event);
    }
    std::sort(notes.begin(), notes.end());
  }
  return rows;
}

class MidiFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "midi_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

TEST_F(MidiFiles, GoldenSongsComeBackWithTheirNotesOnTheirRows) {
  std::vector<std::string> songs = {""};  // the built-in song
  for (const auto& entry : fs::directory_iterator(source_dir / "tests/music/golden")) {
    if (entry.path().extension() == ".txt") songs.push_back(entry.path().string());
  }
  const std::string mid = (dir / "song.mid").string(), back = (dir / "back.txt").string();
  const std::string before = (dir / "before.trace").string(),
                    after = (dir / "after.trace").string();
  for (const std::string& song : songs) {
    SCOPED_TRACE(song.empty() ? "built-in song" : song);
    std::vector<std::string> render = {"kelvorinsaa-render", "--trace", before, mid};
    if (!song.empty()) render.insert(render.begin() + 1, {"--song", song});
    ASSERT_EQ(run_tool(render_tool_run, render), 0);
    ASSERT_EQ(run_tool(import_tool_run, {"kelvorinsaa-import", mid, back}), 0);
    for (const SongFinding& finding : song_findings(slurp(back), false)) {
      EXPECT_FALSE(finding.fault) << finding.line << ": " << finding.text;
    }
    ASSERT_EQ(run_tool(render_tool_run, {"kelvorinsaa-render", "--song", back, "--trace", after}),
              0);
    const auto original = trace_notes(before), imported = trace_notes(after);
    size_t notes = 0;
    for (const auto& [row, names] : original) {
      notes += names.size();
      const auto found = imported.find(row);
      EXPECT_EQ(found == imported.end() ? std::vector<std::string>{} : found->second, names)
          << "row " << row;
    }
    EXPECT_GT(notes, 50u);
  }
}

TEST_F(MidiFiles, BadFilesEndInOneLineNamingTheFault) {
  const std::map<std::string, std::string> faults = {
      {"bad_29_note_chord.mid", "needs 29 channels"},
      {"bad_format_2.mid", "format 2"},
      {"bad_missing_track.mid", "names 2 tracks"},
      {"bad_no_notes.mid", "no notes"},
      {"bad_not_midi.mid", "not a MIDI file"},
      {"bad_number_longer_than_4_bytes.mid", "longer than 4 bytes"},
      {"bad_running_status_without_status.mid", "no running status"},
      {"bad_smpte_division.mid", "SMPTE"},
      {"bad_system_message.mid", "0xF8"},
      {"bad_track_longer_than_file.mid", "track 1 is longer than the file"},
      {"bad_truncated_event.mid", "runs past the track's end"},
      {"bad_truncated_header.mid", "header ends after 10 bytes"},
  };
  size_t seen = 0;
  for (const auto& entry : fs::directory_iterator(source_dir / "fuzz/corpus/import")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("bad_", 0) != 0) continue;
    SCOPED_TRACE(name);
    ++seen;
    ASSERT_EQ(faults.count(name), 1u) << "a named bad input without its fault here";
    const fs::path out = dir / "out.txt";
    const std::string command = KELVORINSAA_BINARY_DIR "/kelvorinsaa-import " +
                                entry.path().string() + " " + out.string() + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string said;
    char chunk[512];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) said.append(chunk, got);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(said.rfind("kelvorinsaa-import: " + entry.path().string() + ": ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(faults.at(name)), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(seen, faults.size());
}

}  // namespace
