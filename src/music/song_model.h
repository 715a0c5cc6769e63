// The song in memory: note table, pattern and track tables, tempo values and instrument slots.
// Written on the main thread while the song is parsed; read by the audio thread afterwards.
//
// Usage:
//   synth_init(44100);            // builds the note table and empties every track
//   note_lookup("a4") == 440;     // names of notes and keywords -> event codes
//   patterns[p][i], tracks[t][i]  // event codes and pattern numbers, ended by end_marker
#pragma once

#include <array>
#include <cstdint>
#include <memory>

constexpr int note_table_size = 78;   // 72 notes, 5 keywords, the terminator
constexpr int pattern_count = 1000;   // patterns 0 ... 999
constexpr int pattern_width = 100;    // 99 entries and the end marker
constexpr int track_count = 30;       // tracks 0 ... 29; track N is played by channel N
constexpr int track_width = 100;      // 99 entries and the end marker
constexpr int instrument_count = 30;  // instrument N belongs to channel N
constexpr int max_entries = 99;       // of a pattern (arguments included) or a track

// Sentinels and event codes stored in the tables.
constexpr int32_t end_marker = -2;
constexpr int32_t loop_marker = -3;
constexpr int32_t code_echo_on = -4;
constexpr int32_t code_echo_off = -5;
constexpr int32_t code_stop = -6;
constexpr int32_t code_volume = -7;
constexpr int32_t code_slide = -8;

// Names in place and 16-bit values: a flat table without pointers, half the size, which the
// party build packs far better.
struct NoteName {
  char name[6];
  int16_t value;
};

extern std::array<NoteName, note_table_size> note_table;
extern std::array<std::array<int32_t, pattern_width>, pattern_count> patterns;
extern std::array<std::array<int32_t, track_width>, track_count> tracks;

extern int32_t sample_rate;      // set by synth_init
extern int32_t samples_per_row;  // frames per row; 0 until the tempo line
extern int32_t echo_length;      // 3 x samples_per_row, frames of every echo line

// Instrument slots, by instrument number. Memory is taken when the instrument line is read.
extern std::array<int32_t, instrument_count> sample_length;
extern std::array<std::unique_ptr<float[]>, instrument_count> sample;
extern std::array<std::unique_ptr<float[]>, instrument_count> echo_line;

// Derives octaves 5 down to 1 from octave 6 and makes every track empty (part of synth_init).
void song_model_init(int32_t rate);

// Returns the code of a note name or keyword, 0 for any other token. Names compare with case.
int32_t note_lookup(const char* token);

// Puts the whole model back to its process-start state and frees the instrument memory.
// The show never needs it; tests, tools and fuzzers that parse many songs do.
void song_model_clear();
