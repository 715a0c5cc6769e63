// The music engine compiled for WebAssembly, run under node: plays the built-in song or a song
// file through the audio callback and writes the raw 16-bit stream, the bytes that
// `kelvorinsaa-render [--song F] [--from ROW] [--frames N] OUT.raw` writes natively. One thread.
//
// Usage: node node_render.js [--song FILE] [--from ROW] [--frames N] OUT
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "music/mixer.h"
#include "music/song_model.h"
#include "shared/show_constants.h"
#include "tool_engine.h"

namespace {

struct Options {
  const char* song = nullptr;  // the built-in song when none is given
  int64_t from_row = 0;
  int64_t frames = show_frames;
  const char* out = nullptr;
};

bool parse_count(const char* text, int64_t least, int64_t& value) {
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && value >= least;
}

bool parse_options(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--song") == 0 && has_value) {
      options.song = argv[++i];
    } else if (std::strcmp(argv[i], "--from") == 0 && has_value) {
      if (!parse_count(argv[++i], 0, options.from_row)) return false;
    } else if (std::strcmp(argv[i], "--frames") == 0 && has_value) {
      if (!parse_count(argv[++i], 1, options.frames)) return false;
    } else if (options.out == nullptr && argv[i][0] != '-') {
      options.out = argv[i];
    } else {
      return false;
    }
  }
  return options.out != nullptr;
}

bool render(const Options& options, std::FILE* out, std::string& error) {
  SongSource song;
  if (!read_song(options.song, song, error) || !engine_start(song, 0, error)) return false;
  if (options.from_row > 0 && !engine_start(song, options.from_row * samples_per_row, error)) {
    return false;
  }
  std::vector<uint8_t> bytes(4 * callback_frames);
  for (int64_t done = 0; done < options.frames; done += callback_frames) {
    audio_callback(nullptr, bytes.data(), static_cast<int>(bytes.size()));
    const int64_t left = options.frames - done;
    const size_t frames = left < callback_frames ? static_cast<size_t>(left) : callback_frames;
    if (std::fwrite(bytes.data(), 4, frames, out) != frames) {
      error = "cannot write the stream";
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, options)) {
    std::fputs("usage: node_render [--song FILE] [--from ROW] [--frames N] OUT\n", stderr);
    return 2;
  }
  std::FILE* out = std::fopen(options.out, "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "node_render: cannot open %s\n", options.out);
    return 1;
  }
  std::string error;
  const bool rendered = render(options, out, error);
  if (std::fclose(out) != 0 && rendered) error = "cannot write the stream";
  if (!rendered || !error.empty()) {
    std::fprintf(stderr, "node_render: %s\n", error.c_str());
    std::remove(options.out);
    return 1;
  }
  return 0;
}
