// Storage of the values shared between the audio thread and the main thread.
#include "shared/shared_values.h"

std::atomic<int32_t> frames_mixed{0};
std::atomic<float> audio_level{0.0f};
uint8_t quit_requested = 0;

static_assert(std::atomic<int32_t>::is_always_lock_free, "the audio thread must never lock");
static_assert(std::atomic<float>::is_always_lock_free, "the audio thread must never lock");
