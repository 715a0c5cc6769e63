// Writing and reading the bytes of Standard MIDI Files. The reader walks the bytes with a cursor
// that never reads past its chunk and stops at the first fault with a line that says where.
#include "midi/midi_file.h"

#include <cstdio>
#include <utility>

namespace {

constexpr uint32_t longest_delta = 0x0FFFFFFF;  // four bytes of seven bits
constexpr uint8_t meta_text = 0x01;

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void put_u16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void put_number(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t groups[5];
  int count = 0;
  do {
    groups[count++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0 && count < 5);
  while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
  out.push_back(groups[0]);
}

// Deltas past four bytes' reach are bridged by empty text events, which every reader skips.
void put_delta(std::vector<uint8_t>& out, int64_t delta, uint8_t& running) {
  while (delta > longest_delta) {
    put_number(out, longest_delta);
    out.insert(out.end(), {midi_meta, meta_text, 0});
    running = 0;
    delta -= longest_delta;
  }
  put_number(out, static_cast<uint32_t>(delta < 0 ? 0 : delta));
}

int data_bytes(uint8_t status) {
  const uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

void put_track(std::vector<uint8_t>& out, const MidiTrack& track) {
  std::vector<uint8_t> body;
  int64_t at = 0;
  uint8_t running = 0;
  for (const MidiEvent& event : track.events) {
    put_delta(body, event.tick - at, running);
    at = event.tick > at ? event.tick : at;
    if (event.status < 0xF0) {
      if (event.status != running) body.push_back(event.status);
      running = event.status;
      body.push_back(event.data1 & 0x7F);
      if (data_bytes(event.status) == 2) body.push_back(event.data2 & 0x7F);
      continue;
    }
    body.push_back(event.status);
    if (event.status == midi_meta) body.push_back(event.meta_type);
    put_number(body, static_cast<uint32_t>(event.data.size()));
    body.insert(body.end(), event.data.begin(), event.data.end());
    running = 0;  // as the format says: other readers may not carry it over
  }
  put_delta(body, track.end_tick - at, running);
  body.insert(body.end(), {midi_meta, midi_meta_end_of_track, 0});
  out.insert(out.end(), {'M', 'T', 'r', 'k'});
  put_u32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

// Reads one chunk's bytes; every read checks the chunk's end first.
struct Cursor {
  const uint8_t* data;
  size_t at;
  size_t end;
  bool has(size_t count) const { return end - at >= count; }
};

std::string at_byte(size_t offset) {
  return " at byte " + std::to_string(offset);
}

bool read_number(Cursor& cursor, uint32_t& value, std::string& error) {
  const size_t start = cursor.at;
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (!cursor.has(1)) {
      error = "an event" + at_byte(start) + " runs past the track's end";
      return false;
    }
    const uint8_t byte = cursor.data[cursor.at++];
    value = value << 7 | (byte & 0x7F);
    if ((byte & 0x80) == 0) return true;
  }
  error = "a number" + at_byte(start) + " is longer than 4 bytes";
  return false;
}

bool read_track(const uint8_t* data, size_t start, size_t end, MidiTrack& track,
                std::string& error) {
  Cursor cursor{data, start, end};
  int64_t tick = 0;
  uint8_t running = 0;
  while (cursor.has(1)) {
    uint32_t delta = 0;
    if (!read_number(cursor, delta, error)) return false;
    tick += delta;
    const size_t event_start = cursor.at;
    if (!cursor.has(1)) {
      error = "an event" + at_byte(event_start) + " runs past the track's end";
      return false;
    }
    MidiEvent event;
    event.tick = tick;
    uint8_t status = data[cursor.at];
    if (status < 0x80) {
      if (running == 0) {
        error = "a data byte" + at_byte(event_start) + " with no running status before it";
        return false;
      }
      status = running;
    } else {
      ++cursor.at;
    }
    event.status = status;
    if (status < 0xF0) {
      running = status;
      const int count = data_bytes(status);
      if (!cursor.has(static_cast<size_t>(count))) {
        error = "an event" + at_byte(event_start) + " runs past the track's end";
        return false;
      }
      for (int i = 0; i < count; ++i) {
        const uint8_t value = data[cursor.at++];
        if (value >= 0x80) {
          error = "status byte" + at_byte(cursor.at - 1) + " where a data byte belongs";
          return false;
        }
        (i == 0 ? event.data1 : event.data2) = value;
      }
      track.events.push_back(std::move(event));
      continue;
    }
    if (status != 0xF0 && status != 0xF7 && status != midi_meta) {
      char text[64];
      std::snprintf(text, sizeof text, "status byte 0x%02X", status);
      error = text + at_byte(event_start) + " does not belong in a file";
      return false;
    }
    if (status == midi_meta) {
      if (!cursor.has(1)) {
        error = "an event" + at_byte(event_start) + " runs past the track's end";
        return false;
      }
      event.meta_type = data[cursor.at++];
    }
    uint32_t length = 0;
    if (!read_number(cursor, length, error)) return false;
    if (!cursor.has(length)) {
      error = "an event" + at_byte(event_start) + " runs past the track's end";
      return false;
    }
    event.data.assign(reinterpret_cast<const char*>(data + cursor.at), length);
    cursor.at += length;
    track.end_tick = tick;
    if (status == midi_meta && event.meta_type == midi_meta_end_of_track) return true;
    track.events.push_back(std::move(event));
  }
  track.end_tick = tick;
  return true;  // a track without its end of track ends with its chunk
}

uint32_t get_u32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

uint32_t get_u16(const uint8_t* p) {
  return uint32_t{p[0]} << 8 | p[1];
}

bool read_file(const uint8_t* data, size_t size, MidiFile& file, std::string& error) {
  if (size < 4 || data[0] != 'M' || data[1] != 'T' || data[2] != 'h' || data[3] != 'd') {
    error = "not a MIDI file: it does not begin with MThd";
    return false;
  }
  if (size < 14) {
    error = "truncated: the header ends after " + std::to_string(size) + " bytes";
    return false;
  }
  const uint32_t header_length = get_u32(data + 4);
  if (header_length < 6 || header_length > size - 8) {
    error = "the header's length " + std::to_string(header_length) + " is wrong";
    return false;
  }
  const uint32_t format = get_u16(data + 8);
  const uint32_t track_count = get_u16(data + 10);
  const uint32_t division = get_u16(data + 12);
  if (format == 2) {
    error = "format 2 (independent sequences) cannot be imported: only formats 0 and 1";
    return false;
  }
  if (format > 2) {
    error = "unknown format " + std::to_string(format) + ": only formats 0 and 1";
    return false;
  }
  if ((division & 0x8000) != 0) {
    error = "its time is in SMPTE frames, not in ticks per quarter note";
    return false;
  }
  if (division == 0) {
    error = "its division is 0 ticks per quarter note";
    return false;
  }
  file.format = static_cast<int32_t>(format);
  file.division = static_cast<int32_t>(division);
  file.tracks.clear();
  size_t at = 8 + header_length;
  while (file.tracks.size() < track_count) {
    const std::string track = "track " + std::to_string(file.tracks.size() + 1);
    if (size - at < 8) {
      error = "truncated: the header names " + std::to_string(track_count) +
              " tracks, the file ends in " + track;
      return false;
    }
    const uint32_t length = get_u32(data + at + 4);
    if (length > size - at - 8) {
      error = track + " is longer than the file: it says " + std::to_string(length) + " bytes, " +
              std::to_string(size - at - 8) + " are left";
      return false;
    }
    const bool is_track =
        data[at] == 'M' && data[at + 1] == 'T' && data[at + 2] == 'r' && data[at + 3] == 'k';
    if (is_track) {
      file.tracks.emplace_back();
      if (!read_track(data, at + 8, at + 8 + length, file.tracks.back(), error)) {
        error = track + ": " + error;
        return false;
      }
    }  // chunks of other kinds are skipped, as the format asks
    at += 8 + size_t{length};
  }
  return true;
}

}  // namespace

MidiEvent midi_channel_event(int64_t tick, uint8_t status, uint8_t data1, uint8_t data2) {
  MidiEvent event;
  event.tick = tick;
  event.status = status;
  event.data1 = data1;
  event.data2 = data2;
  return event;
}

MidiEvent midi_meta_event(int64_t tick, uint8_t type, std::string data) {
  MidiEvent event;
  event.tick = tick;
  event.status = midi_meta;
  event.meta_type = type;
  event.data = std::move(data);
  return event;
}

std::vector<uint8_t> midi_file_bytes(const MidiFile& file) {
  std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
  put_u32(out, 6);
  put_u16(out, static_cast<uint32_t>(file.format));
  put_u16(out, static_cast<uint32_t>(file.tracks.size()));
  put_u16(out, static_cast<uint32_t>(file.division));
  for (const MidiTrack& track : file.tracks) put_track(out, track);
  return out;
}

bool midi_file_read(const uint8_t* data, size_t size, MidiFile& file, std::string& error) {
  try {
    return read_file(data, size, file, error);
  } catch (...) {  // only memory can fail here
    error = "too large to read: out of memory";
    return false;
  }
}
