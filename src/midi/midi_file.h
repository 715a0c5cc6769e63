// Standard MIDI Files as bytes: the one writer and the one reader of the tools and the studio.
// The reader checks every length against the bytes it was given and names the first thing that
// is wrong instead of guessing; nothing here throws or touches the music engine. Any thread.
//
// Usage:
//   MidiFile file;
//   file.division = 480;
//   file.tracks.push_back(...);                 // events in tick order
//   std::vector<uint8_t> bytes = midi_file_bytes(file);
//   std::string error;
//   if (!midi_file_read(bytes.data(), bytes.size(), file, error)) puts(error.c_str());
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint8_t midi_meta = 0xFF;
constexpr uint8_t midi_meta_track_name = 0x03;
constexpr uint8_t midi_meta_instrument_name = 0x04;
constexpr uint8_t midi_meta_end_of_track = 0x2F;
constexpr uint8_t midi_meta_tempo = 0x51;
constexpr uint8_t midi_meta_time_signature = 0x58;
constexpr uint8_t midi_note_off = 0x80;
constexpr uint8_t midi_note_on = 0x90;
constexpr uint8_t midi_program_change = 0xC0;
constexpr int32_t midi_drum_channel = 9;           // channel 10 as people count
constexpr uint32_t midi_longest_tempo = 0xFFFFFF;  // microseconds per quarter note

struct MidiEvent {
  int64_t tick = 0;    // from the track's start
  uint8_t status = 0;  // 0x80 ... 0xEF with its channel, 0xF0 or 0xF7 (sysex), 0xFF (meta)
  uint8_t meta_type = 0;
  uint8_t data1 = 0;  // of channel messages
  uint8_t data2 = 0;
  std::string data;  // of meta and sysex events
};

struct MidiTrack {
  std::vector<MidiEvent> events;  // in tick order, without the end of track
  int64_t end_tick = 0;           // where the end of track stands (at least the last event's)
};

struct MidiFile {
  int32_t format = 1;
  int32_t division = 480;  // ticks per quarter note
  std::vector<MidiTrack> tracks;
};

MidiEvent midi_channel_event(int64_t tick, uint8_t status, uint8_t data1, uint8_t data2 = 0);
MidiEvent midi_meta_event(int64_t tick, uint8_t type, std::string data);

// The file's bytes: header, then each track with running status and its end of track.
std::vector<uint8_t> midi_file_bytes(const MidiFile& file);

// Reads a whole file of format 0 or 1 with a division in ticks per quarter note. false with one
// line in error ("track 2: ...") naming the first fault; file is then unspecified.
bool midi_file_read(const uint8_t* data, size_t size, MidiFile& file, std::string& error);
