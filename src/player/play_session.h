// The player's song, seeking, reloading, keys and the facts its display shows, without SDL or a
// terminal: the terminal player and the studio page run the same logic. The program hands in the
// audio device's lock; tests, fuzz targets and a page that mixes on its own thread run it with
// none. Main thread; every change of the engine happens under that lock. Starts, seeks and
// reloads bring the engine to their frame from kept channel states (engine_start), exactly as a
// play from the start, and the row tick hook keeps more of them as the song plays.
//
// Usage, the terminal player:
//   Player player;
//   parse_play_options(argc, argv, player.options);
//   std::string error = player_start(player);  // "" or why the song cannot play
//   handle_key(player, {Key::forward_bar});
//   display_lines(display_facts(player, 0.0));
//
// Usage, a page (the song as text, the mixing driven by the page):
//   Player player;
//   std::string error = player_start_song(player, {"song.txt", "", text});
//   player_callback(nullptr, bytes, 4096);     // each buffer: the sound and the status below
//   reload_song_at(player, {"song.txt", "", edited}, heard_frame);  // as --watch, from there
//   seek_to_row(player, 256);                  // or seek_rows(player, -16)
//   set_mutes(player, 1u << 3, 0);             // channel 3 muted; (0, 1u << 5) solos 5
//   set_loop(player, 64, 128);                 // rows 64 ... 127, seamless; stop_loop(player)
//   channel_facts(3);                          // entry, pattern, row and level of channel 3
//   display_facts(player, 0.0);                // time, row, peak, clipped frames, warnings
//   player_keep_states_ahead(player, 4);       // when idle: later seeks as quick as early ones
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
  struct stat watched = {};
  uint64_t worst_cycles = 0;
  void (*lock_audio)() = nullptr;  // held while the engine changes; nullptr: nothing plays
  void (*unlock_audio)() = nullptr;
};

// Reads and checks the song of the options and starts the engine at --from, with the player's
// row tick hook and mutes. Returns "" or the one-line reason it cannot play.
std::string player_start(Player& player);

// What player_start does, with a song already read: a page's text. player.options.song_path
// stays as it is (nullptr: nothing to reload from a file).
std::string player_start_song(Player& player, const SongSource& song);

// Where the play stops: --to, or the show's length.
int64_t player_end_frame(const PlayOptions& options);

// Moves by rows (negative: back), kept within the song.
void seek_rows(Player& player, int64_t rows);

// Goes to a row, kept within the song.
void seek_to_row(Player& player, int64_t row);

// Starts song at frame; a song that cannot start leaves the one before playing there.
bool restart_at(Player& player, const SongSource& song, int64_t frame, std::string& error);

// Reads the song file again; reload_song takes a song already read. A song that cannot play
// keeps the old one playing, and the message says why.
void reload(Player& player);
void reload_song(Player& player, const SongSource& fresh);
// The same from frame (the one heard, where the mixer runs ahead of the ear) instead of the
// mixer's; a negative frame is the mixer's.
void reload_song_at(Player& player, const SongSource& fresh, int64_t frame);

// Mute and solo masks, bit N for channel N, as --mute and --solo.
void set_mutes(Player& player, uint32_t muted, uint32_t soloed);

// Loops rows from_row ... to_row - 1 (to_row -1: to the show's length), as --loop with --from and
// --to; the play goes on where it is inside the loop, at its start otherwise. Returns "" or why
// the rows make no loop. stop_loop plays on to the show's length.
std::string set_loop(Player& player, int64_t from_row, int64_t to_row);
void stop_loop(Player& player);

// Keeps up to most channel states ahead of the play (a third of a millisecond each here), so
// that a seek to a row not reached yet is as quick as one back; returns how many it kept, 0 once
// the whole song is kept. For the idle moments of the main thread: it holds the audio lock.
int32_t player_keep_states_ahead(Player& player, int32_t most);

// One channel as the last row tick and buffer left it; level is the largest |value| of the last
// buffer, 3.0 full scale.
struct ChannelFacts {
  int32_t entry = -1, pattern = -1, row = 0;
  bool finished = false;
  float level = 0.0f;
};
ChannelFacts channel_facts(int32_t k);

// Whether the song file's time, size or inode changed since the last look.
bool file_changed(Player& player);

// Acts on a key; false when it quits.
bool handle_key(Player& player, const KeyPress& press);

// What the display shows now; buffer_cycles is a buffer's time in time stamp counter ticks
// (0: unknown).
DisplayFacts display_facts(Player& player, double buffer_cycles);
