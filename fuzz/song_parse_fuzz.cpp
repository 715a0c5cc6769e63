// libFuzzer entry for the music engine: every input is parsed as a song into a fresh model,
// which renders its instruments, and an accepted song is then played for a few hundred
// buffers through the audio callback, once with tiny echo values settled at zero and once
// without, which must sound the same. Single-threaded, like the show's start-up.
#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "music/mixer.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"

namespace {

constexpr int64_t frame_budget = 4'000'000;  // rendered frames per input, about a second's work
constexpr int played_buffers = 300;          // seven seconds of sound: every row tick and echo pass

// Plays the parsed song as SDL would; the sanitizers watch every read and write on the way.
std::vector<uint8_t> play_song() {
  std::vector<uint8_t> stream(static_cast<size_t>(played_buffers) * 4 * callback_frames);
  for (int b = 0; b < played_buffers; ++b) {
    audio_callback(nullptr, stream.data() + static_cast<size_t>(b) * 4 * callback_frames,
                   4 * callback_frames);
  }
  return stream;
}

int32_t parse_fresh(const uint8_t* data, size_t size) {
  song_model_clear();
  synth_init(show_sample_rate);
  // The parser edits its text in place and stops at the first NUL.
  std::vector<char> text(size + 1, '\0');
  if (size > 0) std::memcpy(text.data(), data, size);
  return song_parse(text.data());
}

// Items 2 to 5 of an instrument line, summed the way the sample length is, or 0 when the
// parser would refuse them anyway.
int64_t sample_frames(const std::string& body) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= body.size() && items.size() < 5) {
    const size_t comma = std::min(body.find(',', start), body.size());
    if (comma > start) items.push_back(body.substr(start, comma - start));
    start = comma + 1;
  }
  if (items.size() < 5) return 0;
  int64_t total = 1;
  for (size_t i = 1; i < 5; ++i) {
    const long long length = std::strtoll(items[i].c_str(), nullptr, 10);
    if (length < 0 || length > INT32_MAX) return 0;
    total += length;
  }
  return total;
}

// Samples of millions of frames are valid songs, but rendering them takes seconds and tells
// nothing new about the parser: such inputs are skipped. The scan only approximates the
// language, which is enough for a budget.
bool renders_too_much(const uint8_t* data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size && data[i] != '\0'; ++i) {
    if (data[i] != '\r' && data[i] != ' ') text += static_cast<char>(data[i]);
  }
  int64_t frames = 0;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const size_t head = text.find_first_not_of(':', start);
    if (head < end && text[head] == 'i') {
      const size_t colon = text.find(':', head);
      if (colon < end) frames += sample_frames(text.substr(colon + 1, end - colon - 1));
    }
    start = end + 1;
  }
  return frames > frame_budget;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The waveform tables are built once; later inits reuse the same rate and only reset state.
  static const bool initialised = [] {
    synth_init(show_sample_rate);
    return true;
  }();
  (void)initialised;
  if (renders_too_much(data, size)) return -1;
  const int32_t result = parse_fresh(data, size);
  // A rejection must explain itself; a success must leave no stale explanation.
  if ((result < 0) != (song_error()[0] != '\0')) __builtin_trap();
  if (result < 0) return 0;
  // Settling tiny echo values at zero must not change one output value.
  const std::vector<uint8_t> settled = play_song();
  mixer_settle_tiny_echoes(false);
  parse_fresh(data, size);
  const std::vector<uint8_t> exact = play_song();
  mixer_settle_tiny_echoes(true);
  if (settled != exact) __builtin_trap();
  return 0;
}
