// The player's song, seeking, reloading, keys and the facts its display shows, without SDL: the
// program hands in the audio device's lock, tests and fuzz targets run it with none. Main thread;
// every change of the engine happens under that lock.
//
// Usage:
//   Player player;
//   parse_play_options(argc, argv, player.options);
//   std::string error = player_start(player);  // "" or why the song cannot play
//   handle_key(player, {Key::forward_bar});
//   display_lines(display_facts(player, 0.0));
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "play_display.h"
#include "play_options.h"
#include "tool_engine.h"

struct Player {
  PlayOptions options;
  SongSource song;
  std::vector<std::string> warnings;  // the lint's, of the song that plays
  std::string message;                // the last reload's outcome
  int64_t start_frame = 0;
  bool awaiting_solo_digit = false;
  struct stat watched {};
  uint64_t worst_cycles = 0;
  void (*lock_audio)() = nullptr;  // held while the engine changes; nullptr: nothing plays
  void (*unlock_audio)() = nullptr;
};

// Reads and checks the song of the options and starts the engine at --from, with the player's
// row tick hook and mutes. Returns "" or the one-line reason it cannot play.
std::string player_start(Player& player);

// Where the play stops: --to, or the show's length.
int64_t player_end_frame(const PlayOptions& options);

// Moves by rows (negative: back), kept within the song.
void seek_rows(Player& player, int64_t rows);

// Starts song at frame; a song that cannot start leaves the one before playing there.
bool restart_at(Player& player, const SongSource& song, int64_t frame, std::string& error);

// Reads the song file again; reload_song takes a song already read. A song that cannot play
// keeps the old one playing, and the message says why.
void reload(Player& player);
void reload_song(Player& player, const SongSource& fresh);

// Whether the song file's time, size or inode changed since the last look.
bool file_changed(Player& player);

// Acts on a key; false when it quits.
bool handle_key(Player& player, const KeyPress& press);

// What the display shows now; buffer_cycles is a buffer's time in time stamp counter ticks
// (0: unknown).
DisplayFacts display_facts(Player& player, double buffer_cycles);
