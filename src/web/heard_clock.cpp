// The history of the callback's shared values, one entry per buffer, and the choice of the
// entry that matches the sound heard. Main thread.
#include "web/heard_clock.h"

#include <array>
#include <cmath>

#include "shared/show_constants.h"

namespace {

std::array<float, heard_clock_history> level_after;  // by buffer number, as a ring
int64_t buffers_mixed = 0;
int64_t buffers_shown = 0;

}  // namespace

void heard_clock_reset() {
  buffers_mixed = 0;
  buffers_shown = 0;
}

void heard_clock_mixed(float level_after_buffer) {
  level_after[buffers_mixed % heard_clock_history] = level_after_buffer;
  ++buffers_mixed;
}

int64_t heard_clock_buffers_mixed() {
  return buffers_mixed;
}

ShownClock heard_clock_shown(double heard_frame) {
  // On a live device the mixer is the picture's lag ahead of what is heard.
  const double ahead = std::floor((heard_frame + visual_lag_frames) / callback_frames);
  int64_t buffers = ahead < 0 ? 0 : static_cast<int64_t>(ahead < 1e15 ? ahead : 1e15);
  if (buffers < buffers_shown) buffers = buffers_shown;
  if (buffers > buffers_mixed) buffers = buffers_mixed;
  if (buffers < buffers_mixed - heard_clock_history + 1) {
    buffers = buffers_mixed - heard_clock_history + 1;
  }
  buffers_shown = buffers;
  const float level = buffers > 0 ? level_after[(buffers - 1) % heard_clock_history] : 0.0f;
  return {static_cast<int32_t>(static_cast<uint32_t>(buffers * callback_frames)), level};
}
