// What the player's audio callback tells its main thread: the channels' places in their tracks,
// their levels, the output peak, clipping and the callback's own cost. Written on SDL's audio
// thread, read by the display on the main thread, all relaxed atomics (a value one buffer old
// is fine); the rest of the player's state lives on the main thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "music/mixer.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

// Time-stamp counter ticks, read by an instruction where the machine offers one to programs; 0
// elsewhere (a web build), where the callback's load is not known.
inline uint64_t cycle_count() {
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  return 0;
#endif
}

struct ChannelStatus {
  std::atomic<int32_t> entry{-1}, pattern{-1}, row{0};
  std::atomic<bool> finished{false};
  std::atomic<int32_t> last_event{0}, last_argument{0};  // the last event that was no rest
  std::atomic<float> peak{0.0f};                         // of the last buffer, 3.0 full scale
};

struct PlayerStatus {
  std::array<ChannelStatus, channel_count> channels;
  std::atomic<int32_t> last_channel{0};
  std::atomic<int64_t> end_frame{0};  // the callback plays silence from here
  std::atomic<bool> paused{false};
  std::atomic<bool> at_end{false};
  std::atomic<int32_t> buffer_peak{0};  // largest |value| of the last buffer
  std::atomic<int64_t> clipped_frames{0};
  std::atomic<uint64_t> last_cycles{0};  // time-stamp counter ticks of the last callback
};

extern PlayerStatus player_status;

// The SDL callback: the show's audio_callback, then the figures above.
void player_callback(void* userdata, uint8_t* stream, int len);

// Copies the sequencer's state into player_status at every row tick.
void player_row_hook(int32_t last_channel);

// Clears what belongs to the song played before (after a seek or a reload).
void player_status_reset();
