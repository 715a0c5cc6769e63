// libFuzzer entry for the tools' command lines: the first byte picks a tool, the rest is its
// arguments, separated by NUL bytes. Each parser must answer with options in their ranges or say
// what is wrong; what it accepts is then checked the way the tool goes on to use it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "capture_options.h"
#include "fuzz_support.h"

namespace {

void capture_command(CommandLine& line) {
  CaptureOptions options;
  if (!parse_capture_options(line.argc(), line.argv(), options).empty() || options.help) return;
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const uint8_t tool = input.byte();
  CommandLine line("kelvorinsaa-tool");
  while (!input.empty()) line.add(input.word());
  switch (tool % 1) {
    default:
      capture_command(line);
  }
  return 0;
}
