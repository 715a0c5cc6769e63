// MIDI to song: the notes of every track paired on and off, put on rows, dealt to voices, written
// as patterns and tracks. Where the song language cannot say what the file says (a note outside
// c1 ... b6, a velocity change with no free row before its note, later tempos) the song says the
// nearest thing and a warning counts what changed; what cannot fit at all (too many channels,
// patterns or rows) is refused in one line.
#include "midi/midi_import.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <new>
#include <utility>

namespace {

constexpr int32_t most_channels = 28;  // tracks 1 ... 28, track 29 empty
constexpr int32_t most_patterns = 999;
constexpr int32_t most_lines = 1000;
constexpr int32_t most_track_entries = 99;
constexpr int32_t most_pattern_rows =
    48;  // with a vol on every other row still 99 entries or fewer
constexpr int32_t sixteenths_per_quarter = 4;
constexpr int32_t default_tempo = 500000;  // microseconds per quarter: 120 beats a minute
constexpr int32_t full_velocity = 127;     // the channel's full volume, vol 100
constexpr int32_t lowest_key = 24;         // c1
constexpr int32_t highest_key = 95;        // b6
constexpr int32_t frames_per_second = 44100;
constexpr int32_t row_divisor_frames = frames_per_second * 6;  // a row is this / ((bpm*10)/25)
constexpr int64_t longest_sample = 10 * frames_per_second;
constexpr int32_t attack = 4, decay = 2, release = 2000;  // a held half level, a short fade
constexpr int32_t comment_lines = 2;

const char* const letters[12] = {"c", "C", "d", "D", "e", "f", "F", "g", "G", "a", "A", "b"};
constexpr int32_t top_octave_hz[12] = {1047, 1109, 1175, 1245, 1319, 1397,
                                       1480, 1568, 1661, 1760, 1864, 1976};

struct Note {
  int64_t start_tick = 0;
  int64_t end_tick = -1;
  int32_t channel = 0;
  int32_t key = 0;
  int32_t velocity = 0;
  int64_t row = 0;
  int64_t end_row = 0;
};

struct Voice {
  int32_t channel = 0;
  int32_t key = -1;  // a drum voice's key
  bool drums = false;
  std::vector<const Note*> notes;
};

struct Gathered {
  std::vector<Note> notes;
  std::array<int32_t, 16> program{};
  int64_t tempo_tick = -1;
  int32_t tempo = default_tempo;
  int32_t tempo_changes = 0;
  int64_t signature_tick = -1;
  int32_t bar_rows = 16;
  int64_t last_tick = 0;
};

// Note value in hertz of a key of c1 ... b6, as the song's note table holds it.
int32_t key_hertz(int32_t key) {
  const int32_t index = key - lowest_key;
  int32_t value = top_octave_hz[index % 12];
  for (int32_t octave = 5; octave > index / 12; --octave) value /= 2;
  return value;
}

std::string key_name(int32_t key) {
  const int32_t index = key - lowest_key;
  return std::string(letters[index % 12]) + std::to_string(index / 12 + 1);
}

int32_t bar_rows_of(const std::string& data) {
  const int32_t numerator = static_cast<uint8_t>(data[0]);
  const int32_t power = static_cast<uint8_t>(data[1]);
  if (numerator == 0 || power > 4) return 16;
  const int32_t sixteenths = numerator * 16;
  if (sixteenths % (1 << power) != 0) return 16;
  const int32_t rows = sixteenths >> power;
  return rows <= most_pattern_rows ? rows : 16;
}

void gather_track(const MidiTrack& track, Gathered& gathered) {
  // Notes still sounding, by channel and key: offs end the oldest first.
  std::array<std::vector<size_t>, 16 * 128> sounding;
  for (const MidiEvent& event : track.events) {
    gathered.last_tick = std::max(gathered.last_tick, event.tick);
    const uint8_t kind = event.status & 0xF0;
    const int32_t channel = event.status & 0x0F;
    if (kind == 0x90 && event.data2 > 0) {
      Note note;
      note.start_tick = event.tick;
      note.channel = channel;
      note.key = event.data1;
      note.velocity = event.data2;
      sounding[channel * 128 + event.data1].push_back(gathered.notes.size());
      gathered.notes.push_back(note);
    } else if (kind == 0x80 || kind == 0x90) {
      std::vector<size_t>& open = sounding[channel * 128 + event.data1];
      if (!open.empty()) {
        gathered.notes[open.front()].end_tick = event.tick;
        open.erase(open.begin());
      }
    } else if (kind == 0xC0) {
      if (gathered.program[channel] == 0) gathered.program[channel] = event.data1 + 1;
    } else if (event.status == midi_meta && event.meta_type == midi_meta_tempo &&
               event.data.size() >= 3) {
      const int32_t tempo = static_cast<uint8_t>(event.data[0]) << 16 |
                            static_cast<uint8_t>(event.data[1]) << 8 |
                            static_cast<uint8_t>(event.data[2]);
      if (gathered.tempo_tick < 0 || event.tick < gathered.tempo_tick) {
        if (gathered.tempo_tick >= 0 && tempo != gathered.tempo) ++gathered.tempo_changes;
        gathered.tempo_tick = event.tick;
        gathered.tempo = tempo;
      } else if (tempo != gathered.tempo) {
        ++gathered.tempo_changes;
      }
    } else if (event.status == midi_meta && event.meta_type == midi_meta_time_signature &&
               event.data.size() >= 2) {
      if (gathered.signature_tick < 0 || event.tick < gathered.signature_tick) {
        gathered.signature_tick = event.tick;
        gathered.bar_rows = bar_rows_of(event.data);
      }
    }
  }
  const int64_t end = std::max(track.end_tick, gathered.last_tick);
  gathered.last_tick = end;
  for (const std::vector<size_t>& open : sounding) {
    for (const size_t i : open) gathered.notes[i].end_tick = end;
  }
}

// The tempo whose row is nearest a sixteenth of tempo microseconds a quarter; frames a row out.
int32_t nearest_bpm(int32_t tempo, int64_t& frames_per_row) {
  const double wanted =
      static_cast<double>(tempo) * frames_per_second / 1e6 / sixteenths_per_quarter;
  int32_t best = 1;
  double best_distance = 1e300;
  for (int32_t divisor = 1; divisor <= row_divisor_frames; ++divisor) {
    const int64_t row = row_divisor_frames / divisor;
    const double distance = row > wanted ? row - wanted : wanted - row;
    if (distance < best_distance) {
      best_distance = distance;
      best = divisor;
    }
    if (row < wanted) break;  // rows only shrink from here
  }
  frames_per_row = row_divisor_frames / best;
  return (5 * best + 1) / 2;  // the lowest tempo of that divisor: (bpm x 10) / 25 = best
}

std::string plural(int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Voices of one MIDI channel (or one drum key): a note goes to the first voice that has fallen
// silent by its row, the highest note of a chord to the first voice.
void deal(std::vector<const Note*> notes, int32_t channel, int32_t key, bool drums,
          std::vector<Voice>& voices) {
  std::stable_sort(notes.begin(), notes.end(), [](const Note* a, const Note* b) {
    return a->row != b->row ? a->row < b->row : a->key > b->key;
  });
  const size_t first = voices.size();
  std::vector<int64_t> free_from;
  for (const Note* note : notes) {
    size_t v = 0;
    while (v < free_from.size() && free_from[v] > note->row) ++v;
    if (v == free_from.size()) {
      free_from.push_back(0);
      Voice voice;
      voice.channel = channel;
      voice.key = key;
      voice.drums = drums;
      voices.push_back(voice);
    }
    free_from[v] = drums ? note->row + 1 : note->end_row;
    voices[first + v].notes.push_back(note);
  }
}

enum class Kind { rest, note, stop, volume };
struct Entry {
  Kind kind = Kind::rest;
  int32_t value = 0;
};

// The voice's rows: its notes, a stop where a note ends a row or more before the next (not for
// drums, whose hits ring out), and a vol on a free row before each note whose velocity changes.
std::vector<Entry> voice_rows(const Voice& voice, int64_t length, int64_t& volumes_dropped) {
  std::vector<Entry> rows(static_cast<size_t>(length));
  const std::vector<const Note*>& notes = voice.notes;
  for (size_t i = 0; i < notes.size(); ++i) {
    rows[notes[i]->row] = {Kind::note, notes[i]->key};
  }
  for (size_t i = 0; i < notes.size() && !voice.drums; ++i) {
    const int64_t next = i + 1 < notes.size() ? notes[i + 1]->row : length;
    if (notes[i]->end_row < next) rows[notes[i]->end_row] = {Kind::stop, 0};
  }
  int32_t level = full_velocity;
  for (size_t i = 0; i < notes.size(); ++i) {
    if (notes[i]->velocity == level) continue;
    const int64_t after = i > 0 ? notes[i - 1]->row : -1;
    const int64_t silent_from = i > 0 && !voice.drums ? notes[i - 1]->end_row : after + 1;
    int64_t chosen = -1;
    for (int64_t r = notes[i]->row - 1; r > after; --r) {
      if (rows[r].kind != Kind::rest) continue;
      if (chosen < 0) chosen = r;
      if (r >= silent_from) {
        chosen = r;
        break;
      }
    }
    // With no rest left, the previous note's stop gives way: its note rings a row longer, but
    // the next is struck at its own velocity.
    if (chosen < 0 && silent_from < notes[i]->row && rows[silent_from].kind == Kind::stop)
      chosen = silent_from;
    if (chosen < 0) {
      ++volumes_dropped;
      continue;
    }
    rows[chosen] = {Kind::volume, (notes[i]->velocity * 200 + full_velocity) / (2 * full_velocity)};
    level = notes[i]->velocity;
  }
  return rows;
}

std::string pattern_text(const std::vector<Entry>& rows, int64_t from, int64_t count) {
  std::string text;
  for (int64_t r = from; r < from + count; ++r) {
    if (!text.empty()) text += ',';
    const Entry& entry = rows[r];
    switch (entry.kind) {
      case Kind::rest:
        text += "00";
        break;
      case Kind::note:
        text += key_name(entry.value);
        break;
      case Kind::stop:
        text += "stop";
        break;
      case Kind::volume:
        text += "vol," + std::to_string(entry.value);
        break;
    }
  }
  return text;
}

// A waveform by General MIDI's family of the channel's first program: flutes and pipes sine,
// organs, reeds and basses square, sound effects noise (the renderer writes noise instruments as
// Breath Noise), the rest sawtooth.
const char* waveform_of(int32_t program) {
  if (program == 0) return "saha";
  const int32_t family = (program - 1) / 8;
  if (family == 15) return "kohina";
  if (family == 9 || family == 1) return "sini";
  if (family == 2 || family == 4 || family == 8 || program - 1 == 80) return "kantti";
  return "saha";
}

std::string clean_name(const std::string& name) {
  std::string clean;
  for (const char c : name) clean += static_cast<unsigned char>(c) < 32 ? '?' : c;
  return clean;
}

std::string channel_list_comment(const std::vector<Voice>& voices) {
  std::string text = "# channels:";
  for (size_t v = 0; v < voices.size(); ++v) {
    text += (v == 0 ? " " : ", ") + std::to_string(v + 1) + " MIDI " +
            std::to_string(voices[v].channel + 1);
    if (voices[v].drums) text += " key " + std::to_string(voices[v].key);
  }
  return text;
}

bool import_file(const MidiFile& file, const std::string& name, MidiImport& song,
                 std::string& error) {
  Gathered gathered;
  for (const MidiTrack& track : file.tracks) gather_track(track, gathered);
  if (gathered.notes.empty()) {
    error = "holds no notes";
    return false;
  }
  const int64_t division = file.division;
  const auto row_of = [division](int64_t tick) { return (8 * tick + division) / (2 * division); };
  int64_t moved = 0, merged = 0, volumes_dropped = 0;
  int64_t last_row = 0;
  for (Note& note : gathered.notes) {
    note.row = row_of(note.start_tick);
    note.end_row = std::max(row_of(note.end_tick), note.row + 1);
    last_row = std::max(last_row, note.end_row);
    if (note.key < lowest_key || note.key > highest_key) ++moved;
    while (note.key < lowest_key) note.key += 12;
    while (note.key > highest_key) note.key -= 12;
  }
  const int64_t pattern_limit_rows = int64_t{most_track_entries} * most_pattern_rows;
  if (last_row > pattern_limit_rows) {
    error = "is " + std::to_string(last_row) + " sixteenths long: a song's track holds " +
            std::to_string(pattern_limit_rows) + " (" + std::to_string(most_track_entries) +
            " patterns of " + std::to_string(most_pattern_rows) + " rows)";
    return false;
  }
  // The same key on the same row of a channel: kept when struck at the same tick (doubled
  // voices), merged into the first when only the rounding to rows brought them together.
  std::vector<const Note*> kept;
  {
    std::vector<const Note*> order;
    for (const Note& note : gathered.notes) order.push_back(&note);
    std::stable_sort(order.begin(), order.end(), [](const Note* a, const Note* b) {
      if (a->channel != b->channel) return a->channel < b->channel;
      if (a->row != b->row) return a->row < b->row;
      if (a->key != b->key) return a->key < b->key;
      return a->start_tick < b->start_tick;
    });
    const Note* first = nullptr;  // of the run of the same channel, row and key
    for (const Note* note : order) {
      if (first == nullptr || note->channel != first->channel || note->row != first->row ||
          note->key != first->key)
        first = note;
      if (note->start_tick != first->start_tick) {
        ++merged;
        continue;
      }
      kept.push_back(note);
    }
  }
  std::vector<Voice> voices;
  for (int32_t channel = 0; channel < 16; ++channel) {
    if (channel == midi_drum_channel) continue;
    std::vector<const Note*> notes;
    for (const Note* note : kept) {
      if (note->channel == channel) notes.push_back(note);
    }
    deal(notes, channel, -1, false, voices);
  }
  std::array<int64_t, 128> hits{};
  for (const Note* note : kept) {
    if (note->channel == midi_drum_channel) ++hits[note->key];
  }
  std::vector<int32_t> keys;
  for (int32_t key = 0; key < 128; ++key) {
    if (hits[key] > 0) keys.push_back(key);
  }
  std::stable_sort(keys.begin(), keys.end(),
                   [&hits](int32_t a, int32_t b) { return hits[a] > hits[b]; });
  for (const int32_t key : keys) {
    std::vector<const Note*> notes;
    for (const Note* note : kept) {
      if (note->channel == midi_drum_channel && note->key == key) notes.push_back(note);
    }
    deal(notes, midi_drum_channel, key, true, voices);
  }
  if (voices.size() > static_cast<size_t>(most_channels)) {
    error = "needs " + std::to_string(voices.size()) + " channels for its chords and drums, more " +
            "than the " + std::to_string(most_channels) + " a song can play";
    return false;
  }
  // Patterns of one bar, or of as many bars as keep a track within its entries.
  const int64_t bar = gathered.bar_rows;
  const int64_t bars = (last_row + bar - 1) / bar;
  const int64_t bars_per_pattern = (bars + most_track_entries - 1) / most_track_entries;
  const int64_t pattern_rows = bar * bars_per_pattern;
  if (pattern_rows > most_pattern_rows) {
    error = "is " + std::to_string(last_row) + " sixteenths long: a song's track holds " +
            std::to_string(most_track_entries) + " patterns of at most " +
            std::to_string(most_pattern_rows) + " rows, " + std::to_string(bar) + " a bar here";
    return false;
  }
  const int64_t pattern_count = (last_row + pattern_rows - 1) / pattern_rows;
  const int64_t length = pattern_count * pattern_rows;
  std::map<std::string, int32_t> pattern_numbers;
  std::vector<const std::string*> patterns_in_order;
  std::vector<std::string> track_lines;
  std::vector<std::string> instrument_lines;
  int64_t frames_per_row = 0;
  const int32_t bpm = nearest_bpm(gathered.tempo, frames_per_row);
  for (size_t v = 0; v < voices.size(); ++v) {
    const std::vector<Entry> rows = voice_rows(voices[v], length, volumes_dropped);
    std::string track = "t" + std::to_string(v + 1) + ":";
    for (int64_t p = 0; p < pattern_count; ++p) {
      const std::string text = pattern_text(rows, p * pattern_rows, pattern_rows);
      auto found = pattern_numbers.find(text);
      if (found == pattern_numbers.end()) {
        found =
            pattern_numbers.emplace(text, static_cast<int32_t>(pattern_numbers.size() + 1)).first;
        patterns_in_order.push_back(&found->first);
      }
      track += (p == 0 ? "p" : ",p") + std::to_string(found->second);
    }
    track_lines.push_back(track);
    int64_t longest = 1;  // frames of sample the longest note reads at its rate
    for (const Note* note : voices[v].notes) {
      const int64_t held = (note->end_row - note->row) * frames_per_row;
      longest = std::max(longest, held * key_hertz(note->key) / 262 + 1);
    }
    const int64_t sustain =
        std::clamp<int64_t>(longest - attack - decay - release, 1, longest_sample);
    std::string instrument = "i" + std::to_string(v + 1) + ":";
    if (voices[v].drums) {
      instrument += "kohina,2,1,1,6000,0";
    } else {
      instrument += std::string(waveform_of(gathered.program[voices[v].channel])) + "," +
                    std::to_string(attack) + "," + std::to_string(decay) + "," +
                    std::to_string(sustain) + "," + std::to_string(release) + ",0";
    }
    instrument_lines.push_back(instrument);
  }
  const int64_t fixed_lines = comment_lines + 1 + 2 * static_cast<int64_t>(voices.size());
  const int64_t room = std::min<int64_t>(most_patterns, most_lines - fixed_lines);
  if (static_cast<int64_t>(patterns_in_order.size()) > room) {
    error = "needs " + std::to_string(patterns_in_order.size()) + " different patterns, more " +
            "than the " + std::to_string(room) + " that fit in a song";
    return false;
  }
  std::string& text = song.text;
  text = "# " + clean_name(name) + ", a MIDI file of " + std::to_string(division) +
         " ticks a quarter at " + std::to_string(gathered.tempo) +
         " microseconds a quarter, as a song: a row a sixteenth\n";
  text += channel_list_comment(voices) + "\n";
  text += "bpm:" + std::to_string(bpm) + "\n";
  for (const std::string& line : instrument_lines) text += line + "\n";
  for (size_t p = 0; p < patterns_in_order.size(); ++p) {
    text += "p" + std::to_string(p + 1) + ":" + *patterns_in_order[p] + "\n";
  }
  for (const std::string& line : track_lines) text += line + "\n";
  if (moved > 0)
    song.warnings.push_back(plural(moved, "note", "notes") +
                            " outside c1...b6 moved by octaves into it");
  if (merged > 0)
    song.warnings.push_back(plural(merged, "note", "notes") +
                            " on the row of the same key merged into it");
  if (volumes_dropped > 0)
    song.warnings.push_back(plural(volumes_dropped, "velocity change", "velocity changes") +
                            " had no free row before their note and were left out");
  if (gathered.tempo_changes > 0)
    song.warnings.push_back(plural(gathered.tempo_changes, "tempo change", "tempo changes") +
                            " after the first ignored: a song keeps one tempo");
  return true;
}

}  // namespace

bool midi_import(const MidiFile& file, const std::string& name, MidiImport& song,
                 std::string& error) {
  song = MidiImport{};
  try {
    return import_file(file, name, song, error);
  } catch (const std::bad_alloc&) {
    error = "too large to import: out of memory";
    return false;
  }
}

bool midi_import_bytes(const uint8_t* data, size_t size, const std::string& name, MidiImport& song,
                       std::string& error) {
  MidiFile file;
  return midi_file_read(data, size, file, error) && midi_import(file, name, song, error);
}
