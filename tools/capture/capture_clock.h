// The capture's frame loop on the show's frame clock (shared/frame_clock.h): it mixes, draws and
// reads back frame by frame, and knows where a span ends. Main thread, with the OpenGL context
// current.
//
// A span that starts after the show's start is warmed up first: the frames before it are drawn
// unseen, so that what a frame carries into the next (the feedback picture, the colour and blend
// function left by the glow, the brightness) is as in a run from the start.
//
// Usage:
//   CaptureSpan span{60, 0, 0, false, 1};            // the whole show at 60 fps
//   CaptureSink sink{on_sound, on_picture, swap_buffers, keep_going};
//   int64_t frames = capture_run(span, sink);         // needs synth_init and song_parse first
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "shared/frame_clock.h"
#include "shared/show_constants.h"

constexpr int32_t picture_bytes = picture_width * picture_height * 3;  // RGB, bottom row first

// Video frames of the span: up to to_us, or up to and including the first frame whose row
// reaches the end of the show. Above 111 fps the show may end a frame or two later, when the
// pacing first draws.
int64_t planned_frame_count(const CaptureSpan& span);
int64_t show_frame_count(const CaptureSpan& span);  // the default span's length

// Empty, or what makes the span impossible ("--to 140 is past the end of the show ...").
std::string check_span(const CaptureSpan& span);

struct CaptureSink {
  // Little-endian 16-bit stereo of the span's sound, in order.
  std::function<bool(const uint8_t* bytes, int32_t frames)> sound;
  // Every video frame in order: the picture read back (bottom row first), or the previous one
  // again when the frame driver declined.
  std::function<bool(const uint8_t* rgb, int64_t frame)> picture;
  std::function<void()> swap_buffers;  // after a drawn frame has been read
  std::function<bool()> keep_going;    // false stops the capture (an interrupt)
  // Optional; counts the frames drawn unseen before the span too.
  std::function<void(int64_t done, int64_t total)> progress;
};

// The frame driver's entry; a test may wrap it to watch the calls.
extern int32_t (*capture_render)(int32_t ms);

// Mixes, draws and reads the whole span; returns the video frames given to the sink, or -1 when
// the sink refused something, the capture was stopped or the mixer did not advance.
int64_t capture_run(const CaptureSpan& span, CaptureSink& sink);

// Frames of sound in the span (known once capture_run has returned for a default span).
int64_t span_sound_frames(const CaptureSpan& span, int64_t video_frames);
