// libFuzzer entry for the music engine: every input is parsed as a song into a fresh model,
// which renders its instruments, and an accepted song is then played for a few buffers through
// the audio callback. A song that can switch an echo on or sets a filter is played again from a
// fresh parse with tiny echo and filter values kept instead of settled at zero, which must sound
// the same. Single-threaded, like the show's start-up. A fuzz build renders short samples only
// (shared/work_limits.h), and a fast tempo reaches many row ticks in a few buffers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "music/mixer.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"

namespace {

constexpr int played_buffers = 8;  // 0.19 s: a row and a half at the show's tempo

// Plays the parsed song as SDL would; the sanitizers watch every read and write on the way.
std::vector<uint8_t> play_song() {
  std::vector<uint8_t> stream(static_cast<size_t>(played_buffers) * 4 * callback_frames);
  for (int b = 0; b < played_buffers; ++b) {
    audio_callback(nullptr, stream.data() + static_cast<size_t>(b) * 4 * callback_frames,
                   4 * callback_frames);
  }
  return stream;
}

// What synth_init does but the waveform tables, which no parse or mix changes: those are built
// once. The model is clear: the process has just started, or the last input cleared it.
int32_t parse(const uint8_t* data, size_t size) {
  static const bool waveforms_built = (synth_init(show_sample_rate), true);
  (void)waveforms_built;
  song_model_init(show_sample_rate);
  mixer_init();
  // The parser edits its text in place and stops at the first NUL.
  std::vector<char> text(size + 1, '\0');
  if (size > 0) std::memcpy(text.data(), data, size);
  return song_parse(text.data());
}

// Whether the text holds "echo1", blanks and carriage returns aside (the parser drops them):
// only then can an echo line ever hold anything but zeros.
bool mentions_echo(const uint8_t* data, size_t size) {
  static const char word[] = "echo1";
  size_t matched = 0;
  for (size_t i = 0; i < size && data[i] != '\0'; ++i) {
    if (data[i] == ' ' || data[i] == '\r') continue;
    matched = data[i] == word[matched] ? matched + 1 : (data[i] == word[0] ? 1 : 0);
    if (matched == sizeof word - 1) return true;
  }
  return false;
}

// Only such a song can ever hold tiny values to settle.
bool may_hold_tiny_values(const uint8_t* data, size_t size) {
  for (const float coef : filter_coef) {
    if (coef != 0.0f) return true;
  }
  return mentions_echo(data, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int32_t result = parse(data, size);
  // A rejection must explain itself; a success must leave no stale explanation.
  if ((result < 0) != (song_error()[0] != '\0')) __builtin_trap();
  if (result == 0) {
    const std::vector<uint8_t> settled = play_song();
    if (may_hold_tiny_values(data, size)) {
      // Settling tiny values at zero must not change one output value.
      mixer_settle_tiny_values(false);
      song_model_clear();
      parse(data, size);
      const std::vector<uint8_t> exact = play_song();
      mixer_settle_tiny_values(true);
      if (settled != exact) __builtin_trap();
    }
  }
  // Every input frees what it took, so libFuzzer's leak check never has to run it again.
  song_model_clear();
  return 0;
}
