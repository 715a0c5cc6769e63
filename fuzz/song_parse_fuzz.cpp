// libFuzzer entry for the song parser: every input is parsed as a song into a fresh model.
// Single-threaded, like the show's start-up.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The waveform tables are built once; later inits reuse the same rate and only reset state.
  static const bool initialised = [] {
    synth_init(44100);
    return true;
  }();
  (void)initialised;
  song_model_clear();
  synth_init(44100);
  // The parser edits its text in place and stops at the first NUL.
  std::vector<char> text(size + 1, '\0');
  if (size > 0) std::memcpy(text.data(), data, size);
  const int32_t result = song_parse(text.data());
  // A rejection must explain itself; a success must leave no stale explanation.
  if ((result < 0) != (song_error()[0] != '\0')) __builtin_trap();
  return 0;
}
