// Starting a song at any frame without mixing silently from frame 0. Until the sum into left and
// right, each channel's voice, echo line and filter depend only on its own track, its instrument
// and the tempo: a channel is brought to a frame alone, from the latest state of it kept at a row
// before, and a channel that an edit left alike up to a row keeps the old song's states from before
// that row. States are kept every few rows (about 3.8 s, at most 64 MiB for 28 channels) as the
// channels are brought on and, through the row tick hook, as the song plays.
//
// Main thread, while nothing mixes (the player holds the audio device's lock), except
// checkpoint_capture, which runs where the mixing runs.
//
// Usage:
//   song_parse(text);                           // the song model of the song to start
//   checkpoints_bring_to(frame, stop);          // every channel at frame, as a silent mix from 0
//   row_tick_hook = hook_that_calls_checkpoint_capture;  // keeps states as the song plays on
//   while (idle && checkpoints_fill_one()) {}   // and ahead of it, a channel at a time
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

// Brings every channel of the song just parsed to frame and sets the clock there: the engine's
// state is then bit for bit the one a silent mix from frame 0 leaves (see engine_start). The
// states kept for the song parsed before are used where the new song is alike. false when *stop
// turned nonzero on the way; the engine is then in no useful state.
bool checkpoints_bring_to(int64_t frame, const volatile std::sig_atomic_t* stop = nullptr);

// The engine is about to be set up again: nothing is kept until the next checkpoints_bring_to.
void checkpoints_pause();

// Keeps the state of the row tick that has just run, when it falls on a kept row and that row is
// not kept yet. For the row tick hook: no allocation, no lock, no library call.
void checkpoint_capture(int32_t last_channel);

// Keeps one more state ahead of those kept, for a seek to a row the song has not reached yet: one
// channel is taken from a kept state to the next kept row, then put back as it was, so the engine
// stays where it is. false when every kept row is kept already (or no song is in the engine).
// Costs about one channel's mix of the rows between kept states (a third of a millisecond here).
bool checkpoints_fill_one();

// How many rows lie between two kept states, how many are kept and the bytes they hold now.
struct CheckpointFigures {
  int32_t interval_rows = 0;
  int32_t kept = 0;
  size_t bytes = 0;
};
CheckpointFigures checkpoint_figures();
