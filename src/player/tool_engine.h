// What the renderer and the player share: channel lists for --mute and --solo, reading a song,
// starting the engine at any frame (seeking), and the trace of row ticks. Main thread, while
// nothing else mixes (the player holds the audio device's lock around these).
//
// Usage:
//   SongSource song; std::string error;
//   read_song(path_or_null, song, error);
//   engine_start(song, row * samples_per_row, error);  // exactly as a play from frame 0
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

struct SongSource {
  std::string name;  // the file, or "built-in song"
  std::string path;  // "" for the built-in song
  std::string text;
};

// "1,3,5-7": channels 1 ... 29 as bits (1 << N). Returns false and says why otherwise.
bool parse_channel_list(const char* text, uint32_t& channels, std::string& error);

// "" when --to ROW ends within the longest play at the started song's tempo; otherwise the
// one-line refusal that names the last row it may give.
std::string check_end_row(int64_t row);

// The mixer's mute mask for a --mute list and a --solo list (0: no solo).
uint32_t mute_mask_for(uint32_t muted, uint32_t soloed);

// Reads a song file whole (nullptr: the built-in song); false with a one-line reason.
bool read_song(const char* path, SongSource& song, std::string& error);

// Resets the engine with the song and brings it to frame, so that what follows is bit for bit a
// play from the start: every channel alone from its latest kept state before the frame (see
// engine_checkpoints.h), the song started before lending its states where this one is alike.
// false with a one-line reason when the parser rejects the song or the song cannot play (no
// tempo line: rows of no length). A nonzero *stop (a signal handler's flag) cuts the work short;
// the caller then gives up the start.
bool engine_start(const SongSource& song, int64_t frame, std::string& error,
                  const volatile std::sig_atomic_t* stop = nullptr);

// The same start the long way, mixing silently from frame 0: the reference that engine_start is
// held to, and what the benchmarks compare it with.
bool engine_start_by_mixing(const SongSource& song, int64_t frame, std::string& error);

// One line per row tick (see the README for the format); the row is counted from first_row.
void trace_start(std::FILE* out, int64_t first_row, int64_t end_row);
void trace_stop();
