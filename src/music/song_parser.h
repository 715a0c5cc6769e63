// The song text language: song_parse reads a writable song text into the song model,
// rendering every instrument on the way; song_load reads a song file and parses it. Main thread.
//
// Usage:
//   synth_init(44100);
//   if (song_parse(text) < 0) fprintf(stderr, "%s\n", song_error());
//
// A song that would make the engine touch memory outside its tables, divide by zero or
// allocate absurd amounts is rejected with a negative result; song_error() then names the
// line and the reason ("line 12: pattern number 1000 is outside 0...999").
#pragma once

#include <array>
#include <cstdint>

#include "music/song_model.h"

constexpr int max_song_lines = 1000;     // lines after the 1000th are ignored
constexpr int32_t song_rejected = -2;    // song_parse: the text breaks a limit of the language
constexpr int32_t song_unreadable = -1;  // song_load: the file cannot be opened or read whole

extern char* song_text;  // the text being parsed

// The waveform (0 ... 3) of the instrument line that made each instrument of the last parse, -1
// where no line did: for the tools that name instruments. Not kept in the party build.
extern std::array<int32_t, instrument_count> instrument_waveform;

// Parses text in place (it is edited: blanks and carriage returns removed, NULs written).
// Returns 0, or song_rejected. Needs synth_init to have run.
int32_t song_parse(char* text);

// Reads the file at path whole (regular files and pipes alike) and parses it.
// Returns the result of song_parse, or song_unreadable. The buffer is kept for the process.
int32_t song_load(const char* path);

// One line explaining the last failure of song_parse or song_load, "" after a success.
const char* song_error();
