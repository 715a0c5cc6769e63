// The song clock as the page's picture sees it. In the page the mixer runs well ahead of the
// sound coming out, so that a busy page never starves the output; the frame driver is shown the
// frames_mixed and audio_level that the callback had set when the sound heard now was as far
// behind the mixer as on a live audio device (the picture's fixed lag). Main thread.
//
// Usage:
//   heard_clock_reset();
//   audio_callback(...); heard_clock_mixed(audio_level);    // after every buffer mixed
//   ShownClock shown = heard_clock_shown(frames_heard_now); // before every render_frame
#pragma once

#include <cstdint>

constexpr int64_t heard_clock_history = 4096;  // buffers remembered: 95 s of lead at most

struct ShownClock {
  int32_t frames;  // frames_mixed as the callback set it
  float level;     // audio_level as the callback set it at the same time
};

void heard_clock_reset();
void heard_clock_mixed(float level_after_buffer);
int64_t heard_clock_buffers_mixed();

// For the sound frame now coming out of the speakers (negative before the first); never goes
// back from one call to the next, never ahead of what was mixed.
ShownClock heard_clock_shown(double heard_frame);
