// libFuzzer entry for kelvorinsaa-render's whole pipeline, run in-process: the input is a few
// bytes of choices, then a song. The choices make a command line of a range (rows, seconds or
// frames, always short), --stats, --trace, --mute and --solo lists, --stems and an output file in
// a scratch folder, or --check. Every run must end with status 0, or 1 and one line on standard
// error, and leave no half-written file under a temporary name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "music/song_model.h"
#include "render_tool.h"

namespace {

constexpr size_t choice_bytes = 8;  // the song follows them

// "1,4-6,9": a channel list with the bits of mask, in runs.
std::string channel_list(uint32_t mask) {
  std::string list;
  for (int32_t k = 1; k < 30; ++k) {
    if ((mask >> k & 1u) == 0) continue;
    int32_t last = k;
    while (last + 1 < 30 && (mask >> (last + 1) & 1u)) ++last;
    if (!list.empty()) list += ",";
    list += std::to_string(k) + (last > k ? "-" + std::to_string(last) : "");
    k = last;
  }
  return list.empty() ? "1" : list;
}

std::string seconds_text(FuzzInput& input) {
  const int64_t centiseconds = input.number(0, 100);
  char text[48];
  std::snprintf(text, sizeof text, "%lld.%02lld", static_cast<long long>(centiseconds / 100),
                static_cast<long long>(centiseconds % 100));
  return text;
}

// Start and end, each kept within a few rows or buffers of the song's start.
void add_range(CommandLine& line, FuzzInput& input) {
  const uint8_t choice = input.byte();
  switch (choice % 3) {
    case 0:
      break;
    case 1:
      line.add("--from");
      line.add(std::to_string(input.number(0, 4)));
      break;
    default:
      line.add("--from-time");
      line.add(seconds_text(input));
  }
  switch (choice / 3 % 3) {
    case 0:
      line.add("--to");
      line.add(std::to_string(input.number(0, 8)));
      break;
    case 1:
      line.add("--to-time");
      line.add(seconds_text(input));
      break;
    default:
      line.add("--frames");
      line.add(std::to_string(input.number(1, 6 * 1024)));
  }
}

CommandLine command_line(FuzzInput& input, const std::string& folder, const std::string& song) {
  CommandLine line("kelvorinsaa-render");
  const uint8_t choice = input.byte();
  if (choice == 255) {
    line.add("--check");
    line.add(song);
    return line;
  }
  line.add("--song");
  line.add(song);
  add_range(line, input);
  if (choice & 1) line.add("--stats");
  if (choice & 2) {
    line.add("--trace");
    line.add(folder + "/trace.txt");
  }
  if (choice & 4) {
    line.add("--mute");
    line.add(channel_list(static_cast<uint32_t>(input.number(0, 65535)) << 1));
  }
  if (choice & 8) {
    line.add("--solo");
    line.add(channel_list(static_cast<uint32_t>(input.number(0, 65535)) << 1));
  }
  if (choice & 16) {
    line.add("--stems");
    line.add(folder + "/stems");
  }
  switch (choice / 32 % 4) {
    case 0:
      line.add(folder + "/out.wav");
      break;
    case 1:
      line.add(folder + "/out.raw");
      break;
    case 2:
      line.add("/dev/null");
      break;
    default:
      if ((choice & 19) == 0) line.add(folder + "/out.wav");  // some output is needed
  }
  return line;
}

// What a run leaves: no file under a temporary name, anywhere in the folder.
void check_leftovers(const std::string& folder) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().find(".tmp-") != std::string::npos) __builtin_trap();
  }
}

// A failure is one line, the program's name first.
void check_errors(const std::string& text, int status) {
  if (status == 0) return;
  if (status != 1 || text.rfind("kelvorinsaa-render: ", 0) != 0) __builtin_trap();
  if (text.find('\n') != text.size() - 1) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  const std::string& folder = scratch_folder();
  const size_t head = size < choice_bytes ? size : choice_bytes;
  FuzzInput choices(data, head);
  CommandLine line = command_line(choices, folder, folder + "/song.txt");
  write_file(folder + "/song.txt",
             std::string(reinterpret_cast<const char*>(data) + head, size - head));
  char* errors = nullptr;
  size_t error_length = 0;
  std::FILE* err = open_memstream(&errors, &error_length);
  const int status = render_tool_run(line.argc(), line.argv(), sink, err);
  std::fclose(err);
  check_errors(std::string(errors, error_length), status);
  std::free(errors);
  check_leftovers(folder);
  clear_scratch_folder();
  song_model_clear();
  return 0;
}
