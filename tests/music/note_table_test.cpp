// Checks the note table that synth_init derives and the names note_lookup accepts.
#include <gtest/gtest.h>

#include "music/song_model.h"
#include "music/synth.h"

TEST(NoteTable, LowerOctavesAreHalvedWithTheRemainderDropped) {
  song_model_clear();
  synth_init(44100);
  EXPECT_EQ(note_lookup("c4"), 261);  // not the rounded 262
  EXPECT_EQ(note_lookup("C4"), 277);
  EXPECT_EQ(note_lookup("a4"), 440);
  EXPECT_EQ(note_lookup("c1"), 32);
  EXPECT_EQ(note_lookup("b1"), 61);
  EXPECT_EQ(note_lookup("A2"), 116);
  EXPECT_EQ(note_lookup("D3"), 155);
  EXPECT_EQ(note_lookup("G5"), 830);
  EXPECT_EQ(note_lookup("b6"), 1976);
  // A second init must not halve the derived octaves again.
  synth_init(44100);
  EXPECT_EQ(note_lookup("c1"), 32);
}

TEST(NoteTable, KeywordsAndUnknownNames) {
  song_model_clear();
  synth_init(44100);
  EXPECT_EQ(note_lookup("echo1"), code_echo_on);
  EXPECT_EQ(note_lookup("echo0"), code_echo_off);
  EXPECT_EQ(note_lookup("stop"), code_stop);
  EXPECT_EQ(note_lookup("vol"), code_volume);
  EXPECT_EQ(note_lookup("sld"), code_slide);
  // No capital E or B, no octave 0 or 7, no capital keywords, no flats: all rests.
  for (const char* name : {"E4", "B2", "c0", "c7", "VOL", "Echo1", "db4", "0", "00", "", "c44"}) {
    EXPECT_EQ(note_lookup(name), 0) << name;
  }
}
