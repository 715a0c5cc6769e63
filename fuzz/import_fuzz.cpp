// libFuzzer entry for kelvorinsaa-import run in-process: the input is the MIDI file. Every run
// must end with status 0 or with 1 and one line on standard error, never leave a file under a
// temporary name, and leave the output file only when it succeeds. Where the tools' own limits
// hold (the replayer's build, not a fuzz build, which lowers the engine's), the song it writes
// must pass the song check.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_support.h"
#include "import_tool.h"
#include "music/song_model.h"
#include "shared/work_limits.h"
#include "songcheck_tool.h"

namespace {

void check_leftovers(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().find(".tmp-") != std::string::npos) __builtin_trap();
  }
}

// A failure is one line, the program's name first; a success says only warnings.
void check_messages(const std::string& text, int status) {
  if (status == 0) {
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = text.find('\n', at);
      if (end == std::string::npos || text.find(": warning: ", at) > end) __builtin_trap();
      at = end + 1;
    }
    return;
  }
  if (status != 1 || text.rfind("kelvorinsaa-import: ", 0) != 0) __builtin_trap();
  if (text.find('\n') != text.size() - 1) __builtin_trap();
}

void check_song(const std::string& path, int status) {
  std::ifstream file(path, std::ios::binary);
  if (status != 0) {
    if (file) __builtin_trap();  // a failure writes nothing
    return;
  }
  if (!file) __builtin_trap();
  if (fuzz_limits) return;
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  for (const SongFinding& finding : song_findings(text, false)) {
    if (finding.fault) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  const std::string& folder = scratch_folder();
  const std::string in = folder + "/in.mid", out = folder + "/out.txt";
  write_file(in, std::string(reinterpret_cast<const char*>(data), size));
  CommandLine line("kelvorinsaa-import");
  line.add(in);
  line.add(out);
  char* errors = nullptr;
  size_t error_length = 0;
  std::FILE* err = open_memstream(&errors, &error_length);
  const int status = import_tool_run(line.argc(), line.argv(), sink, err);
  std::fclose(err);
  check_messages(std::string(errors, error_length), status);
  std::free(errors);
  check_leftovers(folder);
  check_song(out, status);
  clear_scratch_folder();
  song_model_clear();
  return 0;
}
