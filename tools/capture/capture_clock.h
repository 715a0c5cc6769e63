// The capture's own clock: which video frame shows which moment of the show, how far the mixer
// must have run before it is drawn, and the loop that mixes, draws and reads back frame by frame.
// Main thread, with the OpenGL context current.
//
// Usage:
//   CaptureSpan span{60, 0, 0, false, 1};            // the whole show at 60 fps
//   CaptureSink sink{on_sound, on_picture, swap_buffers, keep_going};
//   int64_t frames = capture_run(span, sink);         // needs synth_init and song_parse first
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "shared/show_constants.h"

constexpr int64_t micros_per_second = 1000000;
constexpr int32_t picture_bytes = picture_width * picture_height * 3;  // RGB, bottom row first

struct CaptureSpan {
  int32_t fps = 60;
  int64_t from_us = 0;    // start of the span, microseconds after the sound started
  int64_t to_us = 0;      // its end; ignored when !to_given
  bool to_given = false;  // otherwise the span ends with the frame in which the show ends
  int32_t passes = 1;     // render_frame calls per video frame
};

// A moment of the show as a fraction: ticks of 1 / (1000000 x fps) seconds.
int64_t frame_ticks(const CaptureSpan& span, int64_t k);
int64_t sound_frame_at(const CaptureSpan& span, int64_t ticks);  // floor(T x 44100)
int32_t ms_at(const CaptureSpan& span, int64_t ticks);           // round(T x 1000)
// frames_mixed once whole buffers have been mixed up to what frame k needs.
int32_t mixed_before_frame(const CaptureSpan& span, int64_t k);

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
  std::function<void(int64_t done, int64_t total)> progress;  // optional
};

// The frame driver's entry; a test may wrap it to watch the calls.
extern int32_t (*capture_render)(int32_t ms);

// Mixes, draws and reads the whole span; returns the video frames given to the sink, or -1 when
// the sink refused something, the capture was stopped or the mixer did not advance.
int64_t capture_run(const CaptureSpan& span, CaptureSink& sink);

// Frames of sound in the span (known once capture_run has returned for a default span).
int64_t span_sound_frames(const CaptureSpan& span, int64_t video_frames);
