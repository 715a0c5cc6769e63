// A Standard MIDI File as a song in the show's language: a row is a sixteenth note at the tempo
// nearest the file's first, notes go to the nearest row, each MIDI channel becomes as few
// one-voice song channels as its chords need (the drums of MIDI channel 10 one per key, the most
// used first), rows are cut into one-bar patterns and each pattern is written once. Plain data in
// and out; nothing here touches the music engine or throws. Any thread.
//
// Usage:
//   MidiImport song; std::string error;
//   if (!midi_import_bytes(bytes, size, "in.mid", song, error)) puts(error.c_str());
//   write(song.text); for (auto& w : song.warnings) puts(w.c_str());
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "midi/midi_file.h"

struct MidiImport {
  std::string text;                   // the song, ending in a line feed
  std::vector<std::string> warnings;  // what was changed to fit, one line each
};

// false with one line in error ("needs 31 channels, ...") when the file cannot be a song.
bool midi_import(const MidiFile& file, const std::string& name, MidiImport& song,
                 std::string& error);

// Reads the bytes as midi_file_read does, then imports them.
bool midi_import_bytes(const uint8_t* data, size_t size, const std::string& name, MidiImport& song,
                       std::string& error);
