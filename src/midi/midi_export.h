// The song that the engine plays, as a Standard MIDI File: what the sequencer dispatches, taken
// from its row tick hook while the song is mixed, so the notes fall exactly on the rows of
// kelvorinsaa-render --trace. Format 1: a tempo track (a beat of four rows), then one track per
// playing channel that has notes in the range. Main thread, while nothing else mixes.
//
// Usage (the engine started at frame from, e.g. with engine_start):
//   std::vector<uint8_t> bytes; std::string error;
//   if (!midi_export(from, to, mute_mask, bytes, error)) puts(error.c_str());
// or, around a loop that runs the audio callback itself (the renderer's):
//   midi_capture_begin(from, to, mute_mask);
//   ... audio_callback ...
//   midi_capture_end(bytes, error);
#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t midi_ticks_per_row = 120;  // a division of 480 ticks per quarter note

// Starts taking the row ticks of frames from ... to - 1; the row tick hook that was set is
// called after the capture's own, so a trace can run beside it. Channels whose bit (1 << N) is in
// mute_mask are left out.
void midi_capture_begin(int64_t from, int64_t to, uint32_t mute_mask);

// Ends the capture and makes the file. false with one line in error when the range holds more
// notes than a file is made of here.
bool midi_capture_end(std::vector<uint8_t>& bytes, std::string& error);

// The whole export: runs the audio callback from the engine's frame (from) to frame to with the
// capture on. A nonzero *stop cuts it short (false, error empty).
bool midi_export(int64_t from, int64_t to, uint32_t mute_mask, std::vector<uint8_t>& bytes,
                 std::string& error, const volatile std::sig_atomic_t* stop = nullptr);

// The MIDI channel (0 ... 15) of each song channel 1 ... last: 1 ... 9 and 11 ... 16 in turn, so
// channels 16 and on share. Channel 10 (9 here) is the drums', whose keys are drum sounds: a
// noise instrument's notes are pitches of its noise, so it takes a melodic channel too, with
// General MIDI's Breath Noise. Index 0 is unused.
std::vector<int32_t> midi_channels_of_song(int32_t last_channel);

// Microseconds per quarter note of rows_per_quarter rows of frames_per_row frames at 44100 Hz,
// rounded to the nearest microsecond (halves up).
uint32_t midi_tempo_of_rows(int64_t frames_per_row, int32_t rows_per_quarter);
