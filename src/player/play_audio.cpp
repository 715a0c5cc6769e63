// The player's audio callback and row tick hook. SDL's audio thread: no allocation, no lock, no
// library call (the time stamp counter is read by an instruction).
#include "engine_checkpoints.h"
#include "music/song_view.h"
#include "play_loop.h"
#include "play_state.h"
#include "shared/shared_values.h"

PlayerStatus player_status;

namespace {

constexpr int32_t clip_value = 32766;

void write_silence(uint8_t* bytes, int len) {
  for (int i = 0; i < len; ++i) bytes[i] = 0;
}

int32_t value_at(const uint8_t* bytes, int32_t i) {
  return static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

void measure(const uint8_t* stream, int32_t frames) {
  int32_t peak = 0;
  int64_t clipped = 0;
  for (int32_t f = 0; f < frames; ++f) {
    int32_t left = value_at(stream, 2 * f), right = value_at(stream, 2 * f + 1);
    left = left < 0 ? -left : left;
    right = right < 0 ? -right : right;
    const int32_t larger = left > right ? left : right;
    peak = larger > peak ? larger : peak;
    if (larger >= clip_value) ++clipped;
  }
  player_status.buffer_peak.store(peak, std::memory_order_relaxed);
  const int64_t total = player_status.clipped_frames.load(std::memory_order_relaxed);
  player_status.clipped_frames.store(total + clipped, std::memory_order_relaxed);
  for (int32_t k = 0; k < channel_count; ++k) {
    player_status.channels[k].peak.store(channel_peak[k], std::memory_order_relaxed);
    channel_peak[k] = 0.0f;
  }
}

}  // namespace

// With --loop the frame after the last of a pass is the first of the next, in the same buffer.
void player_callback(void* /*userdata*/, uint8_t* stream, int len) {
  const uint64_t start = cycle_count();
  const bool looping = loop_start_kept();
  if (looping && frames_mixed.load(std::memory_order_relaxed) >=
                     player_status.end_frame.load(std::memory_order_relaxed)) {
    loop_start_restore();
  }
  const int64_t at = frames_mixed.load(std::memory_order_relaxed);
  const int64_t end = player_status.end_frame.load(std::memory_order_relaxed);
  if (player_status.paused.load(std::memory_order_relaxed) || at >= end) {
    write_silence(stream, len);
    measure(stream, 0);  // the meters fall while nothing plays
    if (at >= end) player_status.at_end.store(true, std::memory_order_relaxed);
  } else {
    audio_callback(nullptr, stream, len);
    const int64_t heard = end - at;
    if (heard * 4 < len) {
      uint8_t* const after = stream + heard * 4;
      const int rest = len - static_cast<int>(heard * 4);
      if (looping) {
        loop_start_restore();
        audio_callback(nullptr, after, rest);
      } else {
        write_silence(after, rest);
      }
    }
    measure(stream, len / 4);
  }
  player_status.last_cycles.store(cycle_count() - start, std::memory_order_relaxed);
}

void player_row_hook(int32_t last_channel) {
  checkpoint_capture(last_channel);
  player_status.last_channel.store(last_channel, std::memory_order_relaxed);
  for (int32_t k = 1; k <= last_channel; ++k) {
    const ChannelView view = channel_view(k);
    ChannelStatus& status = player_status.channels[k];
    status.entry.store(view.entry, std::memory_order_relaxed);
    status.pattern.store(view.pattern, std::memory_order_relaxed);
    status.row.store(view.row, std::memory_order_relaxed);
    status.finished.store(view.finished, std::memory_order_relaxed);
    if (view.has_event && view.event != 0) {
      status.last_event.store(view.event, std::memory_order_relaxed);
      status.last_argument.store(view.argument, std::memory_order_relaxed);
    }
  }
}

void player_status_reset() {
  for (ChannelStatus& status : player_status.channels) {
    status.entry.store(-1, std::memory_order_relaxed);
    status.last_event.store(0, std::memory_order_relaxed);
    status.finished.store(false, std::memory_order_relaxed);
  }
  player_status.at_end.store(false, std::memory_order_relaxed);
}
