// Helpers the music tests share: a fresh song model, parsing copies of song texts, reading table
// rows and playing buffers through the audio callback.
#pragma once

#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "music/embedded_song.h"
#include "music/mixer.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"

inline void fresh_model() {
  song_model_clear();
  synth_init(44100);
}

// The parser edits its text, so these parse a copy; the compiled-in song stays whole.
inline int32_t parse(std::string song) {
  return song_parse(song.data());
}

inline int32_t parse_embedded_song() {
  return parse(std::string(embedded_song_text, embedded_song_length));
}

// A build made with -DKELVORINSAA_SONG=FILE carries FILE: what is known of src/music/song.txt
// (its structure, its recorded stream) says nothing of it. Tests that hold such data skip there.
#ifdef KELVORINSAA_OWN_SONG
#define SKIP_WITH_ANOTHER_BUILT_IN_SONG()                    \
  GTEST_SKIP() << "this build carries " KELVORINSAA_OWN_SONG \
                  ", not src/music/song.txt, "               \
                  "whose golden data this test holds"
#else
#define SKIP_WITH_ANOTHER_BUILT_IN_SONG() static_cast<void>(0)
#endif

inline std::vector<int32_t> pattern_entries(int n, int count) {
  return {patterns[n].begin(), patterns[n].begin() + count};
}

inline std::vector<int32_t> track_entries(int n, int count) {
  return {tracks[n].begin(), tracks[n].begin() + count};
}

// Calls the audio callback count times on one SDL-sized buffer, handing each result to use.
template <typename Use>
void play_buffers(int32_t count, Use&& use) {
  std::array<uint8_t, 4 * callback_frames> buffer{};
  for (int32_t b = 0; b < count; ++b) {
    audio_callback(nullptr, buffer.data(), static_cast<int>(buffer.size()));
    use(buffer);
  }
}

// Recorded streams: a 64-bit FNV-1a hash of the bytes and the frame count, one line per file.
// KELVORINSAA_REGENERATE_GOLDEN=1 rewrites the files and then fails on purpose, so that a
// changed sound is never recorded by accident.
struct StreamHash {
  uint64_t value = 14695981039346656037ull;
  int64_t frames = 0;
};

inline void hash_frames(StreamHash& hash, const uint8_t* bytes, int32_t frames) {
  for (int32_t i = 0; i < 4 * frames; ++i) hash.value = (hash.value ^ bytes[i]) * 1099511628211ull;
  hash.frames += frames;
}

inline std::string hash_line(const StreamHash& hash) {
  char line[80];
  std::snprintf(line, sizeof line, "fnv1a64 %016" PRIx64 " frames %" PRId64 "\n", hash.value,
                hash.frames);
  return line;
}

inline std::string read_first_line(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "";
  char line[80] = {};
  const bool read = std::fgets(line, sizeof line, file) != nullptr;
  std::fclose(file);
  return read ? line : "";
}

inline bool regenerating_golden() {
  const char* regenerate = std::getenv("KELVORINSAA_REGENERATE_GOLDEN");
  return regenerate != nullptr && std::string(regenerate) == "1";
}

// Compares with the recorded line, or records it when asked to; returns what went wrong.
inline std::string check_golden(const std::string& path, const StreamHash& hash) {
  const std::string line = hash_line(hash);
  if (regenerating_golden()) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return "cannot write " + path;
    std::fputs(line.c_str(), file);
    std::fclose(file);
    return "rewrote " + path + " with " + line +
           "unset KELVORINSAA_REGENERATE_GOLDEN and run again";
  }
  const std::string recorded = read_first_line(path);
  if (recorded == line) return "";
  return path + " records " + recorded + "but the stream now gives " + line +
         "if the sound changed on purpose, rerun with KELVORINSAA_REGENERATE_GOLDEN=1";
}

// A stream hashed whole and in sections of section_frames, so that a changed sound is located:
// the file holds the whole line, then one "section K ..." line per section.
struct SectionedHash {
  int64_t section_frames;
  StreamHash whole;
  std::vector<StreamHash> sections;
};

inline void hash_sections(SectionedHash& hash, const uint8_t* bytes, int32_t frames) {
  hash_frames(hash.whole, bytes, frames);
  while (frames > 0) {
    if (hash.sections.empty() || hash.sections.back().frames == hash.section_frames) {
      hash.sections.emplace_back();
    }
    StreamHash& section = hash.sections.back();
    const int32_t room = static_cast<int32_t>(hash.section_frames - section.frames);
    const int32_t take = frames < room ? frames : room;
    hash_frames(section, bytes, take);
    bytes += 4 * take;
    frames -= take;
  }
}

inline std::vector<std::string> sectioned_lines(const SectionedHash& hash) {
  std::vector<std::string> lines = {hash_line(hash.whole)};
  for (size_t k = 0; k < hash.sections.size(); ++k) {
    lines.push_back("section " + std::to_string(k) + " " + hash_line(hash.sections[k]));
  }
  return lines;
}

inline std::vector<std::string> read_lines(const std::string& path) {
  std::vector<std::string> lines;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return lines;
  char line[120];
  while (std::fgets(line, sizeof line, file) != nullptr) lines.emplace_back(line);
  std::fclose(file);
  return lines;
}

// Like check_golden; a difference names the first section that differs and its frames.
inline std::string check_golden_sections(const std::string& path, const SectionedHash& hash) {
  const std::vector<std::string> lines = sectioned_lines(hash);
  if (regenerating_golden()) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return "cannot write " + path;
    for (const std::string& line : lines) std::fputs(line.c_str(), file);
    std::fclose(file);
    return "rewrote " + path + "; unset KELVORINSAA_REGENERATE_GOLDEN and run again";
  }
  const std::vector<std::string> recorded = read_lines(path);
  if (recorded == lines) return "";
  std::string report = path + " records " + (recorded.empty() ? "nothing\n" : recorded[0]) +
                       "but the stream now gives " + lines[0];
  for (size_t k = 1; k < lines.size(); ++k) {
    if (k < recorded.size() && recorded[k] == lines[k]) continue;
    const int64_t first = static_cast<int64_t>(k - 1) * hash.section_frames;
    report += "first difference in " + lines[k].substr(0, lines[k].find(" fnv")) + ", frames " +
              std::to_string(first) + " to " +
              std::to_string(first + hash.sections[k - 1].frames - 1) + "\n";
    break;
  }
  return report + "if the sound changed on purpose, rerun with KELVORINSAA_REGENERATE_GOLDEN=1";
}
