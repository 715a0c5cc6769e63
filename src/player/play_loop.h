// The first frame of the player's --loop pass, kept so that the audio thread can go back to it
// between two frames of one buffer: the passes follow each other as a render of the same rows,
// with no silence between them. Kept on the main thread (before sound starts, or holding the
// audio device's lock), put back on SDL's audio thread.
#pragma once

#include <cstdint>

// Copies the engine's whole state, which must stand at frame: channels, echo lines and clock.
void loop_start_keep(int64_t frame);

// Whether a state is kept; the callback plays silence at the end of a pass otherwise.
bool loop_start_kept();

// Drops the kept state, for a player started again in the same process without --loop.
void loop_start_forget();

// Puts the kept state back. Audio thread: no allocation, no lock, no library call.
void loop_start_restore();
