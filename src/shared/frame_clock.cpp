// The frame-by-frame clock: exact integer arithmetic in ticks of 1 / (1000000 x fps) seconds,
// so that every program that uses it draws frame k at the same moment.
#include "shared/frame_clock.h"

namespace {

int64_t ticks_per_second(const CaptureSpan& span) {
  return micros_per_second * span.fps;
}

}  // namespace

int64_t frame_ticks(const CaptureSpan& span, int64_t k) {
  return span.from_us * span.fps + k * micros_per_second;
}

int64_t sound_frame_at(const CaptureSpan& span, int64_t ticks) {
  return ticks * show_sample_rate / ticks_per_second(span);
}

int32_t ms_at(const CaptureSpan& span, int64_t ticks) {
  const int64_t ticks_per_ms = ticks_per_second(span) / 1000;
  return static_cast<int32_t>((ticks + ticks_per_ms / 2) / ticks_per_ms);
}

int32_t mixed_before_frame(const CaptureSpan& span, int64_t k) {
  const int64_t needed = sound_frame_at(span, frame_ticks(span, k)) + visual_lag_frames;
  const int64_t buffers = (needed + callback_frames - 1) / callback_frames;
  return static_cast<int32_t>(buffers * callback_frames);
}

int64_t first_show_frame(const CaptureSpan& span) {
  return -(frame_ticks(span, 0) / micros_per_second);
}

int64_t first_warm_up_frame(const CaptureSpan& span) {
  const int64_t first = first_show_frame(span);
  if (span.warm_up == warm_up_all) return first;
  return first > -int64_t{span.warm_up} ? first : -int64_t{span.warm_up};
}
