// Storage of the song model, the note table and its derivation, and note_lookup.
#include "music/song_model.h"

#include <cstring>

// Octaves 1 to 5 are derived from octave 6 by song_model_init; until then they read as no event.
// clang-format off
std::array<NoteName, note_table_size> note_table = {{
    {"c1", 0},     {"C1", 0},     {"d1", 0},     {"D1", 0},     {"e1", 0},     {"f1", 0},
    {"F1", 0},     {"g1", 0},     {"G1", 0},     {"a1", 0},     {"A1", 0},     {"b1", 0},
    {"c2", 0},     {"C2", 0},     {"d2", 0},     {"D2", 0},     {"e2", 0},     {"f2", 0},
    {"F2", 0},     {"g2", 0},     {"G2", 0},     {"a2", 0},     {"A2", 0},     {"b2", 0},
    {"c3", 0},     {"C3", 0},     {"d3", 0},     {"D3", 0},     {"e3", 0},     {"f3", 0},
    {"F3", 0},     {"g3", 0},     {"G3", 0},     {"a3", 0},     {"A3", 0},     {"b3", 0},
    {"c4", 0},     {"C4", 0},     {"d4", 0},     {"D4", 0},     {"e4", 0},     {"f4", 0},
    {"F4", 0},     {"g4", 0},     {"G4", 0},     {"a4", 0},     {"A4", 0},     {"b4", 0},
    {"c5", 0},     {"C5", 0},     {"d5", 0},     {"D5", 0},     {"e5", 0},     {"f5", 0},
    {"F5", 0},     {"g5", 0},     {"G5", 0},     {"a5", 0},     {"A5", 0},     {"b5", 0},
    {"c6", 1047},  {"C6", 1109},  {"d6", 1175},  {"D6", 1245},  {"e6", 1319},  {"f6", 1397},
    {"F6", 1480},  {"g6", 1568},  {"G6", 1661},  {"a6", 1760},  {"A6", 1864},  {"b6", 1976},
    {"echo1", code_echo_on},      {"echo0", code_echo_off},     {"stop", code_stop},
    {"vol", code_volume},         {"sld", code_slide},          {"0", 0},
}};
// clang-format on

constexpr int notes_per_octave = 12;
constexpr int octave_count = 6;
constexpr int lookup_names = note_table_size - 1;  // the terminator is never compared

std::array<std::array<int32_t, pattern_width>, pattern_count> patterns;
std::array<std::array<int32_t, track_width>, track_count> tracks;

int32_t sample_rate = 0;
int32_t samples_per_row = 0;
int32_t echo_length = 0;

std::array<int32_t, instrument_count> sample_length;
std::array<std::unique_ptr<float[]>, instrument_count> sample;
std::array<std::unique_ptr<float[]>, instrument_count> echo_line;

void song_model_init(int32_t rate) {
  sample_rate = rate;
  // Each octave is the one above halved with the remainder dropped: "c4" is 261, not 262.
  for (int octave = octave_count - 1; octave >= 1; --octave) {
    for (int note = 0; note < notes_per_octave; ++note) {
      const int index = (octave - 1) * notes_per_octave + note;
      note_table[index].value = note_table[index + notes_per_octave].value / 2;
    }
  }
  for (auto& track : tracks) track[0] = end_marker;
}

int32_t note_lookup(const char* token) {
  for (int i = 0; i < lookup_names; ++i) {
    if (std::strcmp(token, note_table[i].name) == 0) return note_table[i].value;
  }
  return 0;
}

void song_model_clear() {
  // Whole-row assignments become block fills, not one checked store per entry under ASan.
  for (auto& pattern : patterns) pattern = {};
  for (auto& track : tracks) track = {};
  samples_per_row = 0;
  echo_length = 0;
  sample_length.fill(0);
  for (auto& buffer : sample) buffer.reset();
  for (auto& buffer : echo_line) buffer.reset();
}
