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

struct CaptureSpan {
  int32_t fps = 60;
  int64_t from_us = 0;    // start of the span, microseconds after the sound started
  int64_t to_us = 0;      // its end; ignored when !to_given
  bool to_given = false;  // otherwise the span ends with the frame in which the show ends
  int32_t passes = 1;     // render_frame calls per video frame
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
