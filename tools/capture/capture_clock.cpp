// The capture's clock and frame loop. The mixer runs through the show's audio callback until it
// is as far ahead of the video frame's moment as live output would be, then the frame driver
// draws that moment and the back buffer is read. Frames before the span are drawn unseen first.
// Main thread.
#include "capture_clock.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "music/mixer.h"
#include "shared/shared_values.h"
#include "visuals/frame_driver.h"

int32_t (*capture_render)(int32_t ms) = render_frame;

namespace {

constexpr int32_t frame_bytes = 4;  // one stereo frame of 16-bit values
constexpr int32_t buffer_bytes = callback_frames * frame_bytes;

int64_t ticks_per_second(const CaptureSpan& span) {
  return micros_per_second * span.fps;
}

double seconds_at(const CaptureSpan& span, int64_t ticks) {
  return static_cast<double>(ticks) / static_cast<double>(ticks_per_second(span));
}

// Sound mixed but not yet handed on: the mixer runs ahead of the picture, and a span that ends
// with the show learns its last frame only when the show ends.
struct SoundQueue {
  int64_t span_start = 0;   // first sound frame of the span
  int64_t mixed = 0;        // frames produced by the callback so far
  int64_t queued_from = 0;  // first frame held in bytes
  std::vector<uint8_t> bytes;
};

// One callback buffer; false when the mixer did not advance the song clock.
bool mix_buffer(SoundQueue& queue) {
  uint8_t buffer[buffer_bytes];
  const int32_t before = frames_mixed.load(std::memory_order_relaxed);
  audio_callback(nullptr, buffer, buffer_bytes);
  if (frames_mixed.load(std::memory_order_relaxed) == before) return false;
  const int64_t keep_from = std::max<int64_t>(queue.span_start - queue.mixed, 0);
  if (keep_from < callback_frames) {
    if (queue.bytes.empty()) queue.queued_from = queue.mixed + keep_from;
    queue.bytes.insert(queue.bytes.end(), buffer + keep_from * frame_bytes, buffer + buffer_bytes);
  }
  queue.mixed += callback_frames;
  return true;
}

// Hands on the queued sound before frame `until`, mixing further when it is not there yet.
bool flush_sound(SoundQueue& queue, int64_t until, CaptureSink& sink) {
  while (queue.mixed < until) {
    if (!mix_buffer(queue)) return false;
  }
  const int64_t frames = until - queue.queued_from;
  if (frames <= 0 || queue.bytes.empty()) return true;
  if (!sink.sound(queue.bytes.data(), static_cast<int32_t>(frames))) return false;
  queue.bytes.erase(queue.bytes.begin(), queue.bytes.begin() + frames * frame_bytes);
  queue.queued_from = until;
  return true;
}

bool mix_for_frame(const CaptureSpan& span, int64_t k, SoundQueue& sound) {
  while (frames_mixed.load(std::memory_order_relaxed) < mixed_before_frame(span, k)) {
    if (!mix_buffer(sound)) return false;
  }
  return true;
}

// The calls of video frame k: P - 1 that the pacing declines, then the one at the frame's time.
// Returns whether that one drew.
int32_t render_at(const CaptureSpan& span, int64_t k) {
  for (int32_t pass = 1; pass < span.passes; ++pass) capture_render(frame_driver_last_frame_ms());
  return capture_render(ms_at(span, frame_ticks(span, k)));
}

// A frame too early to be drawn for the warm-up: its calls are all declined, which moves the
// brightness exactly as the calls of a whole run do, drawn or not.
void step_brightness(const CaptureSpan& span) {
  for (int32_t pass = 0; pass < span.passes; ++pass) capture_render(frame_driver_last_frame_ms());
}

bool draw_frame(const CaptureSpan& span, int64_t k, std::vector<uint8_t>& picture,
                CaptureSink& sink) {
  if (render_at(span, k)) {
    // 640 RGB pixels make rows of 1920 bytes, a multiple of the default pack alignment of 4.
    glReadPixels(0, 0, picture_width, picture_height, GL_RGB, GL_UNSIGNED_BYTE, picture.data());
    sink.swap_buffers();
  }
  return sink.picture(picture.data(), k);
}

bool stopped(CaptureSink& sink) {
  return sink.keep_going && !sink.keep_going();
}

// The frames before the span, from the show's start: the brightness of each, and the last ones
// drawn unseen. Nothing is read back or swapped; each frame starts with a clear.
bool warm_up(const CaptureSpan& span, SoundQueue& sound, CaptureSink& sink, int64_t total) {
  const int64_t first_drawn = first_warm_up_frame(span);
  for (int64_t k = first_show_frame(span); k < 0; ++k) {
    if (stopped(sink) || !mix_for_frame(span, k, sound)) return false;
    if (k < first_drawn) {
      step_brightness(span);
      continue;
    }
    render_at(span, k);
    if (sink.progress) sink.progress(k - first_drawn + 1, total);
  }
  return true;
}

}  // namespace

int64_t show_frame_count(const CaptureSpan& span) {
  int64_t k = 0;
  while (sound_frame_at(span, frame_ticks(span, k)) < show_end_sound_frame) ++k;
  return k + 1;
}

int64_t planned_frame_count(const CaptureSpan& span) {
  if (!span.to_given) return show_frame_count(span);
  const int64_t ticks = (span.to_us - span.from_us) * span.fps;
  return (ticks + micros_per_second - 1) / micros_per_second;
}

std::string check_span(const CaptureSpan& span) {
  char message[160];
  if (span.fps < 1 || span.fps > 1000) return "--fps must be a whole number from 1 to 1000";
  if (span.passes < 1) return "--passes must be at least 1";
  if (span.warm_up < 0 && span.warm_up != warm_up_all)
    return "--warm-up needs a number of frames from 0 to 1000000, or all";
  if (span.from_us < 0) return "--from must not be negative";
  const double end_s = static_cast<double>(show_end_sound_frame) / show_sample_rate;
  if (sound_frame_at(span, frame_ticks(span, 0)) >= show_end_sound_frame) {
    std::snprintf(message, sizeof message, "--from %.3f is past the end of the show (%.3f s)",
                  span.from_us / 1e6, end_s);
    return message;
  }
  if (!span.to_given) return "";
  if (span.to_us <= span.from_us) return "--from must come before --to";
  const int64_t show_frames_left = show_frame_count(span);
  if (planned_frame_count(span) > show_frames_left) {
    std::snprintf(
        message, sizeof message,
        "--to %.3f is past the end of the show, whose last frame at %d fps ends at %.3f s",
        span.to_us / 1e6, span.fps, seconds_at(span, frame_ticks(span, show_frames_left)));
    return message;
  }
  return "";
}

int64_t span_sound_frames(const CaptureSpan& span, int64_t video_frames) {
  const int64_t end_ticks = span.to_given ? span.to_us * span.fps : frame_ticks(span, video_frames);
  return sound_frame_at(span, end_ticks) - sound_frame_at(span, frame_ticks(span, 0));
}

int64_t capture_run(const CaptureSpan& span, CaptureSink& sink) {
  std::vector<uint8_t> picture(picture_bytes, 0);  // black until the first frame is drawn
  SoundQueue sound;
  sound.span_start = sound_frame_at(span, frame_ticks(span, 0));
  const int64_t planned = planned_frame_count(span);
  const int64_t warm_up_drawn = -first_warm_up_frame(span);
  if (!warm_up(span, sound, sink, planned + warm_up_drawn)) return -1;
  int64_t k = 0;
  for (; span.to_given ? k < planned : !quit_requested; ++k) {
    if (stopped(sink) || !mix_for_frame(span, k, sound)) return -1;
    if (!flush_sound(sound, sound_frame_at(span, frame_ticks(span, k)), sink)) return -1;
    if (!draw_frame(span, k, picture, sink)) return -1;
    if (sink.progress) {
      const int64_t done = warm_up_drawn + k + 1;
      sink.progress(done, std::max(planned + warm_up_drawn, done));
    }
  }
  const int64_t end = sound.span_start + span_sound_frames(span, k);
  if (!flush_sound(sound, end, sink)) return -1;
  return k;
}
