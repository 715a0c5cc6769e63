// What every item of a song line is: its field's name (in the lint's words), its unit, what the
// parser takes, the range where the engine does what the name says, and what a value outside
// does. The lint words its range warnings from it, and the studio's hover and reference drawer
// show it, so the three never tell different stories. Constant data; any thread.
//
// Usage:
//   const SongField* pan = song_field(LineKind::instrument, 8);
//   if (const char* fault = field_fault(*pan, 120)) ... "one side plays ..."
//   std::string json = song_fields_json();  // for the page
#pragma once

#include <cstdint>
#include <string>

enum class LineKind { tempo, instrument, pattern, track };

constexpr int64_t no_bound_below = INT64_MIN;
constexpr int64_t no_bound_above = INT64_MAX;

// Values from low to high (both included) do `text` instead of what the name says.
struct OutsideBand {
  int64_t low;
  int64_t high;
  const char* text;
};

constexpr int max_outside_bands = 4;

struct SongField {
  LineKind kind;
  // 0: the head (its number); 1 and on: the body's items. A pattern's and a track's items are
  // all of one field, so they sit at item 1.
  int32_t item;
  const char* name;
  const char* unit;     // "" when the value has none
  const char* meaning;  // what the engine does with it
  const char* takes;    // what the parser accepts
  int64_t low;          // the range where the engine does what the name says
  int64_t high;
  OutsideBand outside[max_outside_bands];  // ends at the first band with a null text
};

// Keywords of patterns and tracks, and what each does to its channel.
struct SongKeyword {
  LineKind kind;
  const char* word;
  const char* meaning;
};

// The field of item `item` of a line of kind `kind` (items past a pattern's or track's first
// read as its first), or nullptr where the parser reads nothing.
const SongField* song_field(LineKind kind, int32_t item);

// What a value outside the field's range does, or nullptr when it is inside.
const char* field_fault(const SongField& field, int64_t value);

// "0...100": the range as the lint writes it.
std::string field_range_words(const SongField& field);

// The argument fields of "vol" and "sld".
const SongField& volume_field();
const SongField& slide_field();

// "kantti", "sini", "saha", "kohina" for waveforms 0 to 3.
const char* song_waveform_word(int32_t waveform);

// Every field and keyword, with the waveform words and the notes' frequencies (the note table
// as song_model_init leaves it), as one JSON object for the studio.
std::string song_fields_json();
