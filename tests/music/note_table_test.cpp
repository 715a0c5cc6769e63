// Checks the note table that synth_init derives and the names note_lookup accepts.
#include <gtest/gtest.h>

#include "music_test_support.h"

TEST(NoteTable, DerivedOctavesKeywordsAndUnknownNames) {
  fresh_model();
  synth_init(44100);  // a second init must not halve the lower octaves again
  // Halved with the remainder dropped octave by octave: "c4" is 261, not the rounded 262.
  const std::pair<const char*, int32_t> names[] = {{"c4", 261},
                                                   {"C4", 277},
                                                   {"a4", 440},
                                                   {"c1", 32},
                                                   {"b1", 61},
                                                   {"D3", 155},
                                                   {"b6", 1976},
                                                   {"echo1", code_echo_on},
                                                   {"echo0", code_echo_off},
                                                   {"stop", code_stop},
                                                   {"vol", code_volume},
                                                   {"sld", code_slide}};
  for (const auto& [name, value] : names) EXPECT_EQ(note_lookup(name), value) << name;
  // No capital E or B, no octave 0 or 7, no capital keywords, no flats: all rests.
  for (const char* name : {"E4", "B2", "c0", "c7", "VOL", "db4", "0", "00", "", "c44"}) {
    EXPECT_EQ(note_lookup(name), 0) << name;
  }
}
