// kelvorinsaa-render's pipeline: plays a song offline through the show's own audio callback and
// writes a WAV file or the raw stream, stems, a trace of the row ticks, loudness figures, or the
// song's warnings. Returns a status instead of ending the process. One thread.
#include "render_tool.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "midi/midi_export.h"
#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_lint.h"
#include "music/song_model.h"
#include "render_output.h"
#include "render_stats.h"
#include "shared/show_constants.h"
#include "shared/tool_version.h"
#include "tool_engine.h"

namespace {

constexpr int32_t buffer_bytes = 4 * callback_frames;
constexpr int32_t max_render_seconds = longest_play_seconds;  // 7 GB of WAV

volatile std::sig_atomic_t interrupt_signal = 0;  // a signal asked the render to stop

}  // namespace

void render_tool_interrupt(int signal_number) {
  interrupt_signal = signal_number;
}

const char* const render_usage_text =
    "usage: kelvorinsaa-render [options] [OUT]\n"
    "       kelvorinsaa-render --check FILE\n"
    "\n"
    "Plays the song through the show's audio callback and writes 16-bit stereo at 44100 Hz to\n"
    "OUT, in the kind its name ends in: .wav (RF64 past 4 GiB), .flac, .ogg (Vorbis), .mp3, or\n"
    ".raw for the raw little-endian interleaved stream, as is - (standard output). A FIFO or a\n"
    "device is written in place (a sound file needs a seekable one, so only .raw or - go to a\n"
    "FIFO; a device of another name gets a WAV file); a regular file appears only when complete.\n"
    "OUT.mid writes the notes instead, as a Standard MIDI File (format 1, 480 ticks a beat of\n"
    "four rows): a track per playing channel with notes in the range, each note from the row\n"
    "--trace shows it on to the channel's next note or stop or its sample's end.\n"
    "\n"
    "  --song FILE       play a song file instead of the song built into the show\n"
    "  --from ROW        start at this row of the song's tempo (the engine mixes silently up to\n"
    "                    it, so the sound is what a play from the start gives there)\n"
    "  --to ROW          stop before this row (default: the show's 5762048 frames)\n"
    "  --from-time S     start at S seconds; --to-time S stops at S seconds (the start is given\n"
    "                    once, by --from or --from-time; the end by --to, --to-time or --frames)\n"
    "  --frames N        write exactly N frames from the start\n"
    "  --mute LIST       silence channels, e.g. 2,5-7 (their voices and echoes run on)\n"
    "  --solo LIST       hear only these channels; a channel in both lists is muted\n"
    "  --stems DIR       also write DIR/channel_NN.wav per playing channel, that channel alone\n"
    "                    (.flac, .ogg or .mp3 when OUT is one)\n"
    "  --trace FILE      one line per row tick: ROW then per channel K:ENTRY:pPATTERN:ROW:EVENT\n"
    "                    (EVENT a note, a keyword, vol=N, sld=N, . a rest, - none), or K:end\n"
    "  --stats           print peak, RMS, clipping, LUFS, loudness range and true peak per 64\n"
    "                    rows and for the whole render\n"
    "  --check FILE      list the warnings of a song file with their lines; status 0 unless the\n"
    "                    parser rejects it\n"
    "  --help            print this text\n"
    "  --version         print the name and version\n"
    "\n"
    "OUT may be left out with --stats, --stems or --trace.\n"
    "Exit status: 0 when done, 1 when something failed, 2 on a usage error.\n";

namespace {

int fail(std::FILE* err, const std::string& message, int status = render_failed) {
  std::fprintf(err, "kelvorinsaa-render: %s\n", message.c_str());
  return status;
}

bool parse_whole(const char* text, int64_t low, int64_t& value) {
  char* end = nullptr;
  errno = 0;
  const long long read = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || read < low || read > INT32_MAX) return false;
  value = read;
  return true;
}

bool parse_seconds(const char* text, double& seconds) {
  char* end = nullptr;
  errno = 0;
  seconds = std::strtod(text, &end);
  return errno == 0 && end != text && *end == '\0' && seconds >= 0.0 &&
         seconds <= max_render_seconds;
}

std::string position_error(const char* option, bool seconds, const char* text) {
  const std::string bounds =
      seconds ? "-time needs seconds from 0 to " + std::to_string(max_render_seconds)
              : " needs a row from 0 to " + std::to_string(INT32_MAX);
  return option + bounds + ", not \"" + text + "\"";
}

// "" when a --from or --to value reads as its kind: a row or seconds.
std::string check_position(const char* option, bool seconds, const char* text) {
  if (text == nullptr) return "";
  double time = 0.0;
  int64_t row = 0;
  if (seconds ? parse_seconds(text, time) : parse_whole(text, 0, row)) return "";
  return position_error(option, seconds, text);
}

bool is_special_file(const std::string& name) {
  if (name.rfind("/dev/", 0) == 0 || name.rfind("/proc/", 0) == 0) return true;
  struct stat info = {};
  return stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// The kind OUT's name asks for. A device, a FIFO or a folder of another name keeps the WAV file
// it always got (a folder then fails when written, with its reason).
bool is_midi_name(const std::string& name) {
  for (const char* extension : {".mid", ".midi"}) {
    const size_t length = std::strlen(extension);
    if (name.size() > length && strcasecmp(name.c_str() + name.size() - length, extension) == 0)
      return true;
  }
  return false;
}

std::string choose_kind(RenderOptions& options) {
  if (options.out_path == nullptr) return "";
  options.midi_out = is_midi_name(options.out_path);
  if (options.midi_out || sound_kind_of(options.out_path, options.out_kind)) return "";
  if (is_special_file(options.out_path)) {
    options.out_kind = SoundKind::wav;
    return "";
  }
  return std::string(options.out_path) +
         ": give a name ending in .wav, .flac, .ogg, .mp3, .raw or .mid, or - for standard output";
}

}  // namespace

std::string parse_render_options(int argc, char** argv, RenderOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    std::string error;
    auto value = [&](const char* what) -> const char* {
      if (!has_value) error = arg + " needs " + what;
      return has_value ? argv[++i] : nullptr;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--stats") {
      options.stats = true;
    } else if (arg == "--song") {
      options.song_path = value("a file name");
    } else if (arg == "--stems") {
      options.stems_dir = value("a folder");
    } else if (arg == "--trace") {
      options.trace_path = value("a file name");
    } else if (arg == "--check") {
      options.check_path = value("a song file");
    } else if (arg == "--from" || arg == "--from-time") {
      if (options.from_text != nullptr && options.from_seconds != (arg == "--from-time"))
        return "--from and --from-time both give the start";
      options.from_text = value(arg == "--from" ? "a row" : "seconds");
      options.from_seconds = arg == "--from-time";
    } else if (arg == "--to" || arg == "--to-time") {
      if (options.to_text != nullptr && options.to_seconds != (arg == "--to-time"))
        return "--to and --to-time both give the end";
      options.to_text = value(arg == "--to" ? "a row" : "seconds");
      options.to_seconds = arg == "--to-time";
    } else if (arg == "--frames") {
      const char* text = value("a number");
      if (text != nullptr && !parse_whole(text, 1, options.frames)) {
        error = "--frames needs a whole number from 1 to 2147483647";
      }
    } else if (arg == "--mute" || arg == "--solo") {
      const char* text = value("a channel list such as 1,3,5-7");
      if (text != nullptr) {
        parse_channel_list(text, arg == "--mute" ? options.muted : options.soloed, error);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option " + arg + " (see --help)";
    } else if (options.out_path != nullptr) {
      return "more than one output file given";
    } else {
      options.out_path = argv[i];
    }
    if (!error.empty()) return error;
  }
  if (options.frames != 0 && options.to_text != nullptr)
    return std::string("--frames and ") + (options.to_seconds ? "--to-time" : "--to") +
           " both give the end";
  if (options.help || options.version) return "";
  if (options.check_path == nullptr && options.out_path == nullptr && !options.stats &&
      options.stems_dir == nullptr && options.trace_path == nullptr) {
    return "no output file given (see --help)";
  }
  std::string problem = check_position("--from", options.from_seconds, options.from_text);
  if (problem.empty()) problem = check_position("--to", options.to_seconds, options.to_text);
  if (problem.empty()) problem = choose_kind(options);
  return problem;
}

namespace {

// A row or a time as a frame of the song's tempo.
bool position_frame(const char* text, bool seconds, int64_t& frame) {
  if (seconds) {
    double value = 0.0;
    if (!parse_seconds(text, value)) return false;
    frame = std::llround(value * show_sample_rate);
    return true;
  }
  int64_t row = 0;
  if (!parse_whole(text, 0, row)) return false;
  frame = row * samples_per_row;
  return true;
}

struct Range {
  int64_t start = 0;
  int64_t end = show_frames;
};

// "--from 12" or "--from-time 1.5", as the user wrote it.
std::string option_text(const char* option, bool seconds, const char* text) {
  return std::string(option) + (seconds ? "-time " : " ") + text;
}

std::string find_range(const RenderOptions& options, Range& range) {
  if (options.from_text != nullptr &&
      !position_frame(options.from_text, options.from_seconds, range.start)) {
    return position_error("--from", options.from_seconds, options.from_text);
  }
  if (options.to_text != nullptr &&
      !position_frame(options.to_text, options.to_seconds, range.end)) {
    return position_error("--to", options.to_seconds, options.to_text);
  }
  if (options.to_text != nullptr && !options.to_seconds) {
    const std::string problem = check_end_row(range.end / samples_per_row);
    if (!problem.empty()) return problem;
  }
  if (options.frames != 0) range.end = range.start + options.frames;
  const std::string from = options.from_text == nullptr
                               ? "the start"
                               : option_text("--from", options.from_seconds, options.from_text);
  if (range.end > longest_play_frames) {
    return "--frames " + std::to_string(options.frames) + " from " + from + " ends past " +
           std::to_string(longest_play_seconds) + " s, the longest render";
  }
  if (range.end > range.start) return "";
  if (options.to_text != nullptr) {
    return option_text("--to", options.to_seconds, options.to_text) + " does not come after " +
           from;
  }
  char length[128];
  std::snprintf(length, sizeof length,
                "the show's length, %lld frames (%.2f s), ends in row %lld of this song",
                static_cast<long long>(show_frames),
                static_cast<double>(show_frames) / show_sample_rate,
                static_cast<long long>((show_frames - 1) / samples_per_row));
  return from + " is past the end of the render: " + length;
}

struct Pass {
  OutputFile* output = nullptr;
  RenderStats* stats = nullptr;
  std::FILE* trace = nullptr;
  std::vector<uint8_t>* midi = nullptr;  // the notes as a MIDI file, when asked for
  uint32_t mute_mask = 0;
};

// A percentage on a terminal, redrawn in place and wiped when done.
void show_progress(int64_t done, int64_t total) {
  static const bool on_terminal = isatty(STDERR_FILENO) != 0;
  if (!on_terminal || total < 4 * show_sample_rate) return;
  if (done >= total) {
    std::fputs("\r\x1b[K", stderr);
  } else if (done / callback_frames % 256 == 0) {
    std::fprintf(stderr, "\rrendering %3d%%", static_cast<int>(100 * done / total));
  }
}

// Runs the callback buffer by buffer from the range's start; the last buffer is cut.
bool render(const SongSource& song, const Range& range, const Pass& pass, std::string& error,
            bool engine_fresh = false) {
  // An engine just started at frame 0 is where a render from 0 begins: the song's instruments
  // are not made a second time.
  if (!(engine_fresh && range.start == 0) &&
      !engine_start(song, range.start, error, &interrupt_signal))
    return false;
  channel_mute_mask.store(pass.mute_mask, std::memory_order_relaxed);
  const auto rows_before = [](int64_t frame) {
    return (frame + samples_per_row - 1) / samples_per_row;
  };
  if (pass.trace != nullptr)
    trace_start(pass.trace, rows_before(range.start), rows_before(range.end));
  if (pass.midi != nullptr) midi_capture_begin(range.start, range.end, pass.mute_mask);
  std::vector<uint8_t> bytes(buffer_bytes);
  std::vector<int16_t> values(2 * callback_frames);
  bool written = true;
  for (int64_t done = range.start; done < range.end && written && interrupt_signal == 0;
       done += callback_frames) {
    audio_callback(nullptr, bytes.data(), buffer_bytes);
    for (int32_t i = 0; i < 2 * callback_frames; ++i) {
      values[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    const int64_t left = range.end - done;
    const int32_t frames = left < callback_frames ? static_cast<int32_t>(left) : callback_frames;
    if (pass.stats != nullptr) stats_add(*pass.stats, values.data(), frames);
    if (pass.output != nullptr)
      written = output_write(*pass.output, values.data(), bytes.data(), frames);
    show_progress(done + frames - range.start, range.end - range.start);
  }
  if (pass.midi != nullptr && !midi_capture_end(*pass.midi, error)) written = false;
  trace_stop();  // after the capture, which hands the hook back to the trace
  channel_mute_mask.store(0, std::memory_order_relaxed);
  if (!written && error.empty()) error = pass.output->error;
  if (interrupt_signal == 0) return written;
  show_progress(range.end - range.start, range.end - range.start);  // wiped
  return false;
}

int check_song(const char* path, std::FILE* out, std::FILE* err) {
  SongSource song;
  std::string error;
  if (!read_song(path, song, error)) return fail(err, error);
  const SongLint lint = song_lint(song.text, true);
  if (lint.rejected) return fail(err, song.name + ": " + lint.error);
  for (const LintWarning& warning : lint.warnings) {
    std::fprintf(out, "%s: %s\n", song.name.c_str(), lint_line(warning).c_str());
  }
  std::fprintf(out, "%s: %zu warning%s\n", song.name.c_str(), lint.warnings.size(),
               lint.warnings.size() == 1 ? "" : "s");
  return 0;
}

// The stems take OUT's kind of sound file; beside the raw stream, or alone, they are WAV files.
SoundKind stem_kind(const RenderOptions& options) {
  return options.out_path == nullptr || options.out_kind == SoundKind::raw ? SoundKind::wav
                                                                           : options.out_kind;
}

std::string stem_path(const RenderOptions& options, int32_t k, SoundKind kind) {
  char name[32];
  std::snprintf(name, sizeof name, "/channel_%02d%s", k, sound_extension(kind));
  return options.stems_dir + std::string(name);
}

// Stems an earlier render left behind (of a song with more channels, or of another kind) go, so
// that the folder holds this render's alone; files of other names, and links, are never touched.
std::string remove_stale_stems(const RenderOptions& options, int32_t last_channel) {
  for (const SoundKind kind : {SoundKind::wav, SoundKind::flac, SoundKind::ogg, SoundKind::mp3}) {
    const int32_t first_stale = kind == stem_kind(options) ? last_channel + 1 : 1;
    for (int32_t k = first_stale; k < channel_count; ++k) {
      const std::string path = stem_path(options, k, kind);
      struct stat info = {};
      if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
      if (unlink(path.c_str()) != 0) {
        return "cannot remove the earlier stem " + path + ": " + std::strerror(errno);
      }
    }
  }
  return "";
}

// One sound file per playing channel, each that channel alone (silent when the options mute it).
std::string write_stems(const RenderOptions& options, const SongSource& song, const Range& range) {
  const int32_t last_channel = walk_end();
  const uint32_t user_mask = mute_mask_for(options.muted, options.soloed);
  const SoundKind kind = stem_kind(options);
  for (int32_t k = 1; k <= last_channel; ++k) {
    OutputFile stem;
    if (!output_open(stem, stem_path(options, k, kind), kind, range.end - range.start))
      return stem.error;
    Pass pass;
    pass.output = &stem;
    pass.mute_mask = ~(1u << k) | user_mask;
    std::string error;
    const bool rendered = render(song, range, pass, error);
    if (!output_finish(stem, rendered)) return rendered ? stem.error : error;
  }
  return remove_stale_stems(options, last_channel);
}

}  // namespace

int run_render(const RenderOptions& options, std::FILE* out, std::FILE* err) {
  if (options.help) {
    std::fputs(render_usage_text, out);
    return 0;
  }
  if (options.version) {
    print_tool_version(out, "kelvorinsaa-render");
    return 0;
  }
  if (options.check_path != nullptr) return check_song(options.check_path, out, err);
  interrupt_signal = 0;
  SongSource song;
  std::string error;
  if (!read_song(options.song_path, song, error)) return fail(err, error);
  if (!engine_start(song, 0, error)) return fail(err, error);
  Range range;
  error = find_range(options, range);
  if (!error.empty()) return fail(err, error);
  if (options.stems_dir != nullptr) {
    error = prepare_folder(options.stems_dir);
    if (!error.empty()) return fail(err, error);
  }
  // Every output is opened before the long work, so a wrong name fails at once.
  OutputFile output, trace;
  const SoundKind out_kind = options.midi_out ? SoundKind::raw : options.out_kind;
  if (options.out_path != nullptr &&
      !output_open(output, options.out_path, out_kind, range.end - range.start)) {
    return fail(err, output.error);
  }
  if (options.trace_path != nullptr && !output_open(trace, options.trace_path, SoundKind::raw)) {
    output_finish(output, false);
    return fail(err, trace.error);
  }
  RenderStats stats = stats_start(samples_per_row, range.start / samples_per_row);
  Pass pass;
  std::vector<uint8_t> midi;
  pass.output = options.out_path != nullptr && !options.midi_out ? &output : nullptr;
  pass.midi = options.midi_out ? &midi : nullptr;
  pass.stats = options.stats ? &stats : nullptr;
  pass.trace = trace.stream;
  pass.mute_mask = mute_mask_for(options.muted, options.soloed);
  bool rendered = render(song, range, pass, error, true);
  if (rendered && options.midi_out) {
    rendered = output_write_bytes(output, midi.data(), midi.size());
    if (!rendered) error = output.error;
  }
  const bool trace_kept = options.trace_path == nullptr || output_finish(trace, rendered);
  const bool out_kept = options.out_path == nullptr || output_finish(output, rendered);
  if (interrupt_signal != 0) return 128 + interrupt_signal;  // as shells report a signal
  if (!rendered) return fail(err, error);
  if (!out_kept) return fail(err, output.error);
  if (!trace_kept) return fail(err, trace.error);
  if (options.stems_dir != nullptr) {
    error = write_stems(options, song, range);
    if (interrupt_signal != 0) return 128 + interrupt_signal;
    if (!error.empty()) return fail(err, error);
  }
  if (options.stats) stats_print(stats, samples_per_row, show_sample_rate, out);
  return 0;
}

int render_tool_run(int argc, char** argv, std::FILE* out, std::FILE* err) {
  RenderOptions options;
  const std::string problem = parse_render_options(argc, argv, options);
  if (!problem.empty()) return fail(err, problem, render_usage_error);
  return run_render(options, out, err);
}
