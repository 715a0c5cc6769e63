// Prints every OpenGL call the visuals make, with exact arguments, over frames of every scene
// at several sound levels. Built once from the show's visuals and once from the intro's, so
// the two logs must be the same. One thread.
#include <cstdio>

#include "../visuals/gl_recorder.h"
#include "shared/shared_values.h"
#include "visuals/frame_driver.h"
#include "visuals/textures.h"

namespace {

void print_calls() {
  for (const GlCall& call : gl_calls) {
    std::printf("%s", call.name.c_str());
    for (const double arg : call.args) std::printf(" %a", arg);
    std::printf(" %ld\n", call.lit_bytes);
  }
  gl_calls.clear();
}

}  // namespace

int main() {
  gl_recorder_reset();
  textures_init();
  print_calls();
  constexpr float levels[] = {0.0f, 0.31f, 0.77f, 0.99994f};
  int32_t ms = 0;
  for (int32_t row = 0; row <= show_end_row; row += 13) {
    frames_mixed = visual_lag_frames + show_row_frames * row;
    for (const float level : levels) {
      audio_level = level;
      ms += 37;
      std::printf("frame %d %d\n", ms, render_frame(ms));
      print_calls();
    }
  }
  std::printf("quit %d\n", quit_requested);
  return 0;
}
