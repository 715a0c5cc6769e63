// Which moment of the show each video frame of a span shows, and how far the mixer must have
// run before it is drawn: the clock of every program that draws the show frame by frame on a
// time of its own (the capture, the web page's exact mode). Pure arithmetic; any thread.
//
// Usage:
//   CaptureSpan span{60, 20 * micros_per_second};      // 60 fps from 20 s on
//   while (frames_mixed < mixed_before_frame(span, k)) audio_callback(...);
//   render_frame(ms_at(span, frame_ticks(span, k)));
#pragma once

#include <cstdint>

#include "shared/show_constants.h"

constexpr int64_t micros_per_second = 1000000;
// Frames drawn unseen before a span by default. The feedback picture forgets where it started
// by about a tenth per drawn frame: after 30, frames were within 0.0002 of full scale of a run
// from the start on average.
constexpr int32_t default_warm_up_frames = 30;
constexpr int32_t warm_up_all = -1;  // draw every frame from the show's start

struct CaptureSpan {
  int32_t fps = 60;
  int64_t from_us = 0;    // start of the span, microseconds after the sound started
  int64_t to_us = 0;      // its end; ignored when !to_given
  bool to_given = false;  // otherwise the span ends with the frame in which the show ends
  int32_t passes = 1;     // render_frame calls per video frame
  // Video frames drawn and not shown before from_us, on the span's own frame grid, or
  // warm_up_all. The frames before those are not drawn, but their calls still move the
  // brightness, as every call of a whole run would.
  int32_t warm_up = default_warm_up_frames;
};

// The first sound frame at which the picture shows the end row: the mixer has then finished
// the buffer that takes frames_mixed past the end row's first frame.
constexpr int64_t show_end_sound_frame =
    int64_t{show_buffers - 1} * callback_frames - visual_lag_frames + 1;

// A moment of the show as a fraction: ticks of 1 / (1000000 x fps) seconds.
int64_t frame_ticks(const CaptureSpan& span, int64_t k);
int64_t sound_frame_at(const CaptureSpan& span, int64_t ticks);  // floor(T x 44100)
int32_t ms_at(const CaptureSpan& span, int64_t ticks);           // round(T x 1000)
// frames_mixed once whole buffers have been mixed up to what frame k needs.
int32_t mixed_before_frame(const CaptureSpan& span, int64_t k);
// Frames before the span have negative k, down to the first at or after the show's start.
int64_t first_show_frame(const CaptureSpan& span);     // <= 0
int64_t first_warm_up_frame(const CaptureSpan& span);  // the first one drawn, <= 0
