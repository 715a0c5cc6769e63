// The show's fixed figures, needed alike by the engine, the picture, the shell and the tools.
// Compile-time constants only; any thread.
#pragma once

#include <cstdint>

constexpr int32_t show_sample_rate = 44100;  // frames per second of every audio length
constexpr int32_t callback_frames = 1024;    // stereo frames in each of SDL's buffers
constexpr int32_t base_pitch_hz = 262;       // a note of this many hertz plays its sample as made

constexpr int32_t picture_width = 640;  // the window and every copy of the picture
constexpr int32_t picture_height = 480;

constexpr int32_t show_row_frames = 5292;  // the embedded song's row length, which the picture uses
constexpr int32_t visual_lag_frames = 4096;  // the picture runs this far behind the mixer
constexpr int32_t show_end_row = 1088;       // the picture's row at which the show ends

// The whole show in callback buffers: up to the buffer in which the picture reaches its end row.
constexpr int32_t show_buffers =
    (visual_lag_frames + show_end_row * show_row_frames + callback_frames - 1) / callback_frames;
constexpr int64_t show_frames = int64_t{show_buffers} * callback_frames;
static_assert(show_buffers == 5627 && show_frames == 5762048);

// The longest a tool plays or renders, for any song: the song clock counts frames in 32 bits,
// which last 48695 s.
constexpr int32_t longest_play_seconds = 40000;
constexpr int64_t longest_play_frames = int64_t{longest_play_seconds} * show_sample_rate;
static_assert(longest_play_frames <= INT32_MAX);
