// Song to MIDI: the row tick hook notes each channel's dispatched notes and stops, and the file is
// made from them when the capture ends. A note lasts until the channel's next note or stop, the
// end of its sample at its playback rate, or the end of the range, whichever comes first.
#include "midi/midi_export.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "midi/midi_file.h"
#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/song_view.h"
#include "music/synth.h"

namespace {

// Some 64 MiB while the notes are taken; a range past it is far longer than anyone wants as notes.
constexpr size_t most_notes = size_t{2} << 20;
constexpr uint8_t note_off_velocity = 64;
constexpr int32_t first_note_number = 24;  // c1; c4 is 60
constexpr int32_t pitched_channels = 15;   // all but the drums' channel 10

struct Note {
  int64_t start = 0;
  int64_t end = 0;
  int64_t limit = 0;  // where the sample runs out, or the range ends
  uint8_t key = 0;
  uint8_t velocity = 0;
};

struct Capture {
  int64_t from = 0;
  int64_t to = 0;
  int64_t frames_per_row = 1;
  uint32_t mute_mask = 0;
  int32_t last_channel = 0;
  size_t note_count = 0;
  bool too_many = false;
  RowTickHook chained = nullptr;
  std::array<std::vector<Note>, channel_count> notes;
  std::array<bool, channel_count> open{};
};

Capture capture;

int64_t tick_of_frame(int64_t frame) {
  const int64_t frames = frame - capture.from;
  return (2 * frames * midi_ticks_per_row + capture.frames_per_row) / (2 * capture.frames_per_row);
}

int32_t note_index(int32_t code) {
  for (int32_t i = 0; i < 72; ++i) {
    if (note_table[i].value == code) return i;
  }
  return -1;
}

void close_note(int32_t k, int64_t tick) {
  if (!capture.open[k]) return;
  Note& note = capture.notes[k].back();
  note.end = std::max(note.start + 1, std::min(note.limit, tick));
  capture.open[k] = false;
}

void open_note(int32_t k, int64_t tick, int32_t code) {
  const int32_t index = note_index(code);
  if (index < 0) return;
  if (capture.note_count >= most_notes) {
    capture.too_many = true;
    return;
  }
  Note note;
  note.start = tick;
  note.key = static_cast<uint8_t>(first_note_number + index);
  // Velocity 127 is the channel's full volume, 1.0; louder volumes are 127 as well.
  const long level = std::lround(static_cast<double>(volume[k]) * 127.0);
  note.velocity = static_cast<uint8_t>(std::clamp(level, 1L, 127L));
  note.limit = tick_of_frame(capture.to);
  if (rate[k] > 0.0f) {
    const double frames = std::ceil(static_cast<double>(sample_length[k]) / rate[k]);
    const double ticks = std::round(frames * midi_ticks_per_row / capture.frames_per_row);
    note.limit = std::min(note.limit, tick + static_cast<int64_t>(ticks));
  }
  capture.notes[k].push_back(note);
  capture.open[k] = true;
  ++capture.note_count;
}

void capture_hook(int32_t last_channel) {
  const int64_t frame = mixer_tick_frame();
  if (frame >= capture.from && frame < capture.to) {
    const int64_t tick = tick_of_frame(frame);
    const int32_t last = std::min(last_channel, capture.last_channel);
    for (int32_t k = 1; k <= last; ++k) {
      if ((capture.mute_mask >> k & 1u) != 0) continue;
      const ChannelView view = channel_view(k);
      if (view.finished || !view.has_event) continue;
      if (view.event > 0) {
        close_note(k, tick);
        open_note(k, tick, view.event);
      } else if (view.event == code_stop) {
        close_note(k, tick);
      }
    }
  }
  if (capture.chained != nullptr) capture.chained(last_channel);
}

const char* waveform_words(int32_t waveform) {
  switch (waveform) {
    case waveform_square:
      return "kantti (square)";
    case waveform_sine:
      return "sini (sine)";
    case waveform_saw:
      return "saha (sawtooth)";
    case waveform_noise:
      return "kohina (noise)";
    default:
      return "no instrument";
  }
}

// General MIDI's nearest sounds: Lead 1 (square), Ocarina, Lead 2 (sawtooth), Breath Noise.
uint8_t program_of(int32_t waveform) {
  switch (waveform) {
    case waveform_sine:
      return 79;
    case waveform_saw:
      return 81;
    case waveform_noise:
      return 121;
    default:
      return 80;
  }
}

int32_t rows_per_quarter() {
  for (const int32_t rows : {4, 2}) {
    if (midi_tempo_of_rows(capture.frames_per_row, rows) <= midi_longest_tempo) return rows;
  }
  return 1;
}

MidiTrack tempo_track(int32_t rows, int64_t end_tick) {
  MidiTrack track;
  const uint32_t tempo = midi_tempo_of_rows(capture.frames_per_row, rows);
  track.events.push_back(midi_meta_event(0, midi_meta_track_name,
                                         "tempo: " + std::to_string(capture.frames_per_row) +
                                             " frames a row, " + std::to_string(rows) +
                                             " rows a beat"));
  if (rows == 4) {
    // 4/4, 24 clocks a click, 8 thirty-seconds a quarter: a bar of sixteen rows.
    track.events.push_back(midi_meta_event(0, midi_meta_time_signature, {4, 2, 24, 8}));
  }
  track.events.push_back(midi_meta_event(
      0, midi_meta_tempo,
      {static_cast<char>(tempo >> 16), static_cast<char>(tempo >> 8), static_cast<char>(tempo)}));
  track.end_tick = end_tick;
  return track;
}

MidiTrack channel_track(int32_t k, int32_t channel, int64_t end_tick) {
  MidiTrack track;
  const int32_t waveform = instrument_waveform[k];
  const std::string name = "channel " + std::to_string(k) + ": " + waveform_words(waveform) + ", " +
                           std::to_string(sample_length[k]) + " frames";
  track.events.push_back(midi_meta_event(0, midi_meta_track_name, name));
  track.events.push_back(midi_channel_event(0, static_cast<uint8_t>(midi_program_change | channel),
                                            program_of(waveform)));
  // Offs before ons where they meet, so a note that ends where the next begins stays apart.
  std::vector<MidiEvent> events;
  for (const Note& note : capture.notes[k]) {
    events.push_back(midi_channel_event(note.start, static_cast<uint8_t>(midi_note_on | channel),
                                        note.key, note.velocity));
    events.push_back(midi_channel_event(note.end, static_cast<uint8_t>(midi_note_off | channel),
                                        note.key, note_off_velocity));
  }
  std::stable_sort(events.begin(), events.end(), [](const MidiEvent& a, const MidiEvent& b) {
    const bool a_off = (a.status & 0xF0) == midi_note_off;
    const bool b_off = (b.status & 0xF0) == midi_note_off;
    return a.tick != b.tick ? a.tick < b.tick : a_off && !b_off;
  });
  track.events.insert(track.events.end(), events.begin(), events.end());
  track.end_tick = std::max(end_tick, track.events.back().tick);
  return track;
}

}  // namespace

uint32_t midi_tempo_of_rows(int64_t frames_per_row, int32_t rows_per_quarter) {
  const int64_t twice = int64_t{2} * rows_per_quarter * frames_per_row * 1000000;
  const int64_t rounded = (twice + show_sample_rate) / (2 * show_sample_rate);
  return static_cast<uint32_t>(std::min<int64_t>(rounded, UINT32_MAX));
}

std::vector<int32_t> midi_channels_of_song(int32_t last_channel) {
  std::vector<int32_t> channels(static_cast<size_t>(std::max(last_channel, 0)) + 1, 0);
  for (int32_t k = 1; k <= last_channel; ++k) {
    const int32_t slot = (k - 1) % pitched_channels;
    channels[k] = slot < midi_drum_channel ? slot : slot + 1;
  }
  return channels;
}

void midi_capture_begin(int64_t from, int64_t to, uint32_t mute_mask) {
  capture.from = from;
  capture.to = to;
  capture.frames_per_row = samples_per_row > 0 ? samples_per_row : 1;
  capture.mute_mask = mute_mask;
  capture.last_channel = walk_end();
  capture.note_count = 0;
  capture.too_many = false;
  for (std::vector<Note>& notes : capture.notes) notes.clear();
  capture.open.fill(false);
  capture.chained = row_tick_hook;
  row_tick_hook = capture_hook;
}

bool midi_capture_end(std::vector<uint8_t>& bytes, std::string& error) {
  row_tick_hook = capture.chained;
  capture.chained = nullptr;
  const int64_t end_tick = tick_of_frame(capture.to);
  for (int32_t k = 1; k < channel_count; ++k) close_note(k, end_tick);
  if (capture.too_many) {
    error = "the range holds more than " + std::to_string(most_notes) +
            " notes, too many for a MIDI file here: give a shorter one";
    return false;
  }
  const int32_t rows = rows_per_quarter();
  MidiFile file;
  file.format = 1;
  file.division = rows * midi_ticks_per_row;
  file.tracks.push_back(tempo_track(rows, end_tick));
  const std::vector<int32_t> channels = midi_channels_of_song(capture.last_channel);
  for (int32_t k = 1; k <= capture.last_channel; ++k) {
    if (capture.notes[k].empty()) continue;
    file.tracks.push_back(channel_track(k, channels[k], end_tick));
  }
  for (std::vector<Note>& notes : capture.notes) std::vector<Note>().swap(notes);
  bytes = midi_file_bytes(file);
  return true;
}

bool midi_export(int64_t from, int64_t to, uint32_t mute_mask, std::vector<uint8_t>& bytes,
                 std::string& error, const volatile std::sig_atomic_t* stop) {
  std::array<uint8_t, 4 * callback_frames> buffer{};
  const uint32_t mute_before = channel_mute_mask.load(std::memory_order_relaxed);
  channel_mute_mask.store(mute_mask, std::memory_order_relaxed);
  midi_capture_begin(from, to, mute_mask);
  for (int64_t done = from; done < to; done += callback_frames) {
    if (stop != nullptr && *stop != 0) break;
    audio_callback(nullptr, buffer.data(), static_cast<int>(buffer.size()));
  }
  channel_mute_mask.store(mute_before, std::memory_order_relaxed);
  const bool made = midi_capture_end(bytes, error);
  if (stop != nullptr && *stop != 0) {
    error.clear();
    return false;
  }
  return made;
}
