// Values that the audio thread and the main thread share.
// frames_mixed and audio_level are written by the audio thread only and read without locks
// (relaxed order: a value one buffer old is fine); quit_requested lives on the main thread only.
#pragma once

#include <atomic>
#include <cstdint>

#include "shared/show_constants.h"

extern std::atomic<int32_t>
    frames_mixed;                       // stereo frames mixed since sound started: the song clock
extern std::atomic<float> audio_level;  // smoothed output peak, 0 ... 0.99994
extern uint8_t quit_requested;          // nonzero ends the main loop
