// libFuzzer entry for the tools' command lines: the first byte picks a tool (capture, render, play,
// framebench, songcheck), the rest is its arguments, separated by NUL bytes. Each parser must
// answer with options in their ranges or say what is wrong; what it accepts is then checked the
// way the tool goes on to use it. The song checker runs whole, on songs in a scratch folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture_options.h"
#include "framebench_options.h"
#include "fuzz_support.h"
#include "music/song_model.h"
#include "play_options.h"
#include "render_tool.h"
#include "songcheck_tool.h"

namespace {

void capture_command(CommandLine& line) {
  CaptureOptions options;
  if (!parse_capture_options(line.argc(), line.argv(), options).empty() || options.help ||
      options.version) {
    return;
  }
  const CaptureSpan& span = options.span;
  if (span.fps < 1 || span.fps > 1000 || span.passes < 1 || span.from_us < 0) __builtin_trap();
  if (options.width < 16 || options.height < 16 || options.width % 2 || options.height % 2) {
    __builtin_trap();
  }
  // The picture fits the frame, at an even size that the encoders take.
  const ScaledSize scaled = fit_picture(options.width, options.height);
  if (scaled.width <= 0 || scaled.height <= 0 || scaled.width > options.width ||
      scaled.height > options.height || scaled.width % 2 || scaled.height % 2) {
    __builtin_trap();
  }
  // A span that passed its check has frames, and each needs the mixer further on.
  const int64_t frames = planned_frame_count(span);
  if (frames < 1) __builtin_trap();
  if (mixed_before_frame(span, frames - 1) < mixed_before_frame(span, 0)) __builtin_trap();
}

// Lists name channels 1 to 29 only: bit 0 and the bits above 29 stay clear.
bool channels_valid(uint32_t channels) {
  return (channels & ~(((1u << 30) - 1) & ~1u)) == 0;
}

void render_command(CommandLine& line) {
  RenderOptions options;
  if (!parse_render_options(line.argc(), line.argv(), options).empty() || options.help ||
      options.version) {
    return;
  }
  if (!channels_valid(options.muted) || !channels_valid(options.soloed)) __builtin_trap();
  if (options.frames < 0 || (options.frames != 0 && options.to_text != nullptr)) __builtin_trap();
  const bool has_output = options.check_path != nullptr || options.out_path != nullptr ||
                          options.stats || options.stems_dir != nullptr ||
                          options.trace_path != nullptr;
  if (!has_output) __builtin_trap();
}

void play_command(CommandLine& line) {
  PlayOptions options;
  if (!parse_play_options(line.argc(), line.argv(), options).empty() || options.help ||
      options.version) {
    return;
  }
  if (!channels_valid(options.muted) || !channels_valid(options.soloed)) __builtin_trap();
  if (options.from_row < 0 || options.to_row < -1) __builtin_trap();
  if (options.watch && options.song_path == nullptr) __builtin_trap();
}

void framebench_command(CommandLine& line) {
  FramebenchOptions options;
  if (!parse_framebench_options(line.argc(), line.argv(), options).empty() || options.help) return;
  if (options.frames < 1 || options.frames > 100000) __builtin_trap();
  if (!(options.level >= 0.0f && options.level <= 1.0f)) __builtin_trap();
}

// The whole tool, whose arguments are mostly song files: each word that would name one (not an
// option, or "-", standard input) names a file in the scratch folder that holds the word.
void songcheck_command(const std::vector<std::string>& words) {
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  CommandLine line("kelvorinsaa-songcheck");
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i].size() > 1 && words[i][0] == '-') {
      line.add(words[i]);
      continue;
    }
    const std::string path = scratch_folder() + "/song" + std::to_string(i) + ".txt";
    write_file(path, words[i]);
    line.add(path);
  }
  const int status = songcheck_run(line.argc(), line.argv(), sink, sink);
  if (status < 0 || status > 2) __builtin_trap();
  clear_scratch_folder();
  song_model_clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const uint8_t tool = input.byte();
  std::vector<std::string> words;
  while (!input.empty()) words.push_back(input.word());
  CommandLine line("kelvorinsaa-tool");
  for (const std::string& word : words) line.add(word);
  switch (tool % 5) {
    case 0:
      capture_command(line);
      break;
    case 1:
      render_command(line);
      break;
    case 2:
      play_command(line);
      break;
    case 3:
      framebench_command(line);
      break;
    default:
      songcheck_command(words);
  }
  return 0;
}
