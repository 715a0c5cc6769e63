// kelvorinsaa-render: plays the song offline through the show's own audio callback and writes
// a WAV file or the raw stream, or prints its loudness figures. One thread.
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "music/embedded_song.h"
#include "music/mixer.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"
#include "render_stats.h"
#include "shared/shared_values.h"

namespace {

constexpr int32_t buffer_bytes = 4 * callback_frames;

const char* const usage_text =
    "usage: kelvorinsaa-render [--song FILE] [--frames N] [--stats] OUT\n"
    "\n"
    "Plays the song through the show's audio callback, in buffers of 1024 frames from the\n"
    "first frame, and writes 16-bit stereo at 44100 Hz to OUT: a WAV file, or the raw\n"
    "little-endian interleaved stream when OUT ends in .raw.\n"
    "\n"
    "  --song FILE  play a song file instead of the song built into the show\n"
    "  --frames N   write exactly N frames (default 5762048: the whole show)\n"
    "  --stats      print peak, RMS and clipped frames per 64 rows; OUT is then optional\n"
    "  --help       print this text\n"
    "\n"
    "Nothing is left at OUT when the song is rejected or writing fails.\n";

struct Options {
  const char* song_path = nullptr;
  const char* out_path = nullptr;
  int64_t frames = show_frames;
  bool stats = false;
  bool help = false;
};

int fail(const std::string& message) {
  std::fprintf(stderr, "kelvorinsaa-render: %s\n", message.c_str());
  return 1;
}

bool parse_frame_count(const char* text, int64_t& frames) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 1 || value > INT32_MAX) return false;
  frames = value;
  return true;
}

// Returns an empty string, or what is wrong with the command line.
std::string parse_options(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--stats") {
      options.stats = true;
    } else if (arg == "--song") {
      if (!has_value) return "--song needs a file name";
      options.song_path = argv[++i];
    } else if (arg == "--frames") {
      if (!has_value || !parse_frame_count(argv[++i], options.frames)) {
        return "--frames needs a whole number from 1 to 2147483647";
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option " + arg + " (see --help)";
    } else if (options.out_path != nullptr) {
      return "more than one output file given";
    } else {
      options.out_path = argv[i];
    }
  }
  if (!options.help && options.out_path == nullptr && !options.stats) {
    return "no output file given (see --help)";
  }
  return "";
}

// Returns an empty string, or why the song cannot be played.
std::string load_song(const char* path) {
  synth_init(show_sample_rate);
  if (path == nullptr) {
    // The parser edits its text, and the built-in one may be parsed once only.
    static std::vector<char> text(embedded_song_text,
                                  embedded_song_text + embedded_song_length + 1);
    if (song_parse(text.data()) < 0) return std::string("built-in song rejected: ") + song_error();
    return "";
  }
  if (song_load(path) < 0) return std::string(path) + ": " + song_error();
  return "";
}

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The output goes to a temporary file beside OUT and takes OUT's name only when complete.
struct Output {
  std::string final_path;
  std::string temp_path;
  int fd = -1;
  bool raw = false;
  SNDFILE* wav = nullptr;
  std::FILE* stream = nullptr;
};

bool open_output(Output& output, const char* path) {
  output.final_path = path;
  output.raw = ends_with(output.final_path, ".raw");
  std::vector<char> temp(output.final_path.begin(), output.final_path.end());
  for (char c : std::string(".tmp-XXXXXX")) temp.push_back(c);
  temp.push_back('\0');
  output.fd = mkstemp(temp.data());
  if (output.fd < 0) return false;
  output.temp_path = temp.data();
  // mkstemp makes the file private; give it the permissions a new file normally gets.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(output.fd, 0666 & ~mask);
  if (output.raw) {
    output.stream = fdopen(output.fd, "wb");
    return output.stream != nullptr;
  }
  SF_INFO info{};
  info.samplerate = show_sample_rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  output.wav = sf_open_fd(output.fd, SFM_WRITE, &info, SF_TRUE);
  return output.wav != nullptr;
}

bool write_output(Output& output, const uint8_t* bytes, const int16_t* values, int32_t frames) {
  if (output.raw)
    return std::fwrite(bytes, 4, frames, output.stream) == static_cast<size_t>(frames);
  return sf_writef_short(output.wav, values, frames) == frames;
}

// Closes the file; keeps it under its final name only when keep is true and all went well.
bool finish_output(Output& output, bool keep) {
  bool closed = true;
  if (output.stream != nullptr) {
    closed = std::fclose(output.stream) == 0;
  } else if (output.wav != nullptr) {
    closed = sf_close(output.wav) == 0;
  } else if (output.fd >= 0) {
    close(output.fd);
  }
  if (keep && closed && std::rename(output.temp_path.c_str(), output.final_path.c_str()) == 0) {
    return true;
  }
  if (!output.temp_path.empty()) std::remove(output.temp_path.c_str());
  return false;
}

// Runs the callback buffer by buffer; the last buffer is cut to the frames asked for.
bool render(const Options& options, Output* output, RenderStats* stats) {
  std::vector<uint8_t> bytes(buffer_bytes);
  std::vector<int16_t> values(2 * callback_frames);
  for (int64_t done = 0; done < options.frames; done += callback_frames) {
    audio_callback(nullptr, bytes.data(), buffer_bytes);
    for (int32_t i = 0; i < 2 * callback_frames; ++i) {
      values[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    const int64_t left = options.frames - done;
    const int32_t frames = left < callback_frames ? static_cast<int32_t>(left) : callback_frames;
    if (stats != nullptr) stats_add(*stats, values.data(), frames);
    if (output != nullptr && !write_output(*output, bytes.data(), values.data(), frames)) {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string problem = parse_options(argc, argv, options);
  if (!problem.empty()) return fail(problem);
  if (options.help) {
    std::fputs(usage_text, stdout);
    return 0;
  }
  const std::string song_problem = load_song(options.song_path);
  if (!song_problem.empty()) return fail(song_problem);

  Output output;
  if (options.out_path != nullptr && !open_output(output, options.out_path)) {
    finish_output(output, false);
    return fail(std::string("cannot write ") + options.out_path + ": " + std::strerror(errno));
  }
  RenderStats stats = stats_start(samples_per_row > 0 ? samples_per_row : 1);
  const bool rendered =
      render(options, options.out_path ? &output : nullptr, options.stats ? &stats : nullptr);
  if (options.out_path != nullptr && !finish_output(output, rendered)) {
    return fail(std::string("cannot write ") + options.out_path);
  }
  if (options.stats)
    stats_print(stats, stats.section_frames / stats_section_rows, show_sample_rate, stdout);
  return 0;
}
