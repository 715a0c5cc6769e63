// Helpers the music tests share: a fresh song model, parsing copies of song texts, reading table
// rows and playing buffers through the audio callback.
#pragma once

#include <array>
#include <cstdint>
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
