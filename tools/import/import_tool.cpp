// kelvorinsaa-import's pipeline: reads a MIDI file whole, imports it (src/midi) and writes the
// song beside OUT under a temporary name, renamed over OUT only when complete. One thread.
#include "import_tool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "midi/midi_import.h"
#include "shared/tool_version.h"

namespace {

constexpr size_t largest_input = size_t{64} << 20;

volatile std::sig_atomic_t interrupt_signal = 0;

const char* const usage_text =
    "usage: kelvorinsaa-import [--help | --version] IN.mid OUT.txt\n"
    "\n"
    "Reads IN, a Standard MIDI File of format 0 or 1 (- for standard input), and writes OUT, a\n"
    "song in the show's language (- for standard output) that kelvorinsaa-songcheck passes and\n"
    "kelvorinsaa-render plays. A row is a sixteenth note: the tempo is the one whose row is\n"
    "nearest a sixteenth of the file's first tempo, and each note goes to its nearest row. Each\n"
    "MIDI channel becomes as few one-voice channels as its chords need, the drums of MIDI\n"
    "channel 10 a noise channel per key, the most used first; at most 28 channels in all. A note\n"
    "that ends a row or more before the next of its channel gets a stop, a change of velocity a\n"
    "vol (velocity 127 is the channel's full volume). Rows are cut into patterns of one bar, and\n"
    "each pattern is written once. What had to change to fit (notes outside c1...b6 moved by\n"
    "octaves, later tempos ignored, ...) is counted in warnings on standard error.\n"
    "\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Exit status: 0 when written, 1 when IN is no MIDI file a song can hold or OUT cannot be\n"
    "written (one line says why; OUT is left as it was), 2 on a usage error.\n";

int fail(std::FILE* err, const std::string& message, int status = import_failed) {
  std::fprintf(err, "kelvorinsaa-import: %s\n", message.c_str());
  return status;
}

bool read_input(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  const bool standard = path == "-";
  std::FILE* file = standard ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  uint8_t chunk[65536];
  size_t got = 0;
  errno = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && bytes.size() <= largest_input) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  const int read_error = errno;
  const bool failed = std::ferror(file) != 0;
  if (!standard) std::fclose(file);
  if (failed) {
    error = "cannot read " + path + ": " + std::strerror(read_error);
    return false;
  }
  if (bytes.size() > largest_input) {
    error = path + ": larger than " + std::to_string(largest_input >> 20) +
            " MiB, far beyond any MIDI file a song can hold";
    return false;
  }
  return true;
}

bool write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR && interrupt_signal == 0) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

// A regular file (or a new name) gets the text under a temporary name beside it, renamed over
// it when whole; standard output, a device or a FIFO is written in place.
bool write_output(const std::string& path, const std::string& text, std::FILE* out,
                  std::string& error) {
  const auto failure = [&](int code) {
    error = "cannot write " + path + ": " + std::strerror(code);
    return false;
  };
  if (path == "-") {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0)
      return failure(errno);
    return true;
  }
  struct stat info = {};
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    if (S_ISDIR(info.st_mode)) return failure(EISDIR);
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return failure(errno);
    const bool written = write_all(fd, text);
    const int code = errno;
    close(fd);
    return written || interrupt_signal != 0 ? true : failure(code);
  }
  std::string temp = path + ".tmp-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return failure(errno);
  const mode_t mask = umask(0);  // the permissions a new file normally gets
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  bool written = write_all(fd, text);
  int code = errno;
  if (close(fd) != 0 && written) {
    written = false;
    code = errno;
  }
  if (written && interrupt_signal == 0 && std::rename(temp.c_str(), path.c_str()) == 0) return true;
  code = written ? errno : code;
  std::remove(temp.c_str());
  return interrupt_signal != 0 ? false : failure(code);
}

}  // namespace

void import_tool_interrupt(int signal_number) {
  interrupt_signal = signal_number;
}

int import_tool_run(int argc, char** argv, std::FILE* out, std::FILE* err) {
  interrupt_signal = 0;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(usage_text, out);
      return 0;
    }
    if (arg == "--version") {
      print_tool_version(out, "kelvorinsaa-import");
      return 0;
    }
    if (arg == "--") {
      for (++i; i < argc; ++i) files.emplace_back(argv[i]);
      break;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      return fail(err, "unknown option " + arg + " (see --help)", import_usage_error);
    }
    files.push_back(arg);
  }
  if (files.size() != 2) {
    return fail(err,
                files.empty()       ? "no MIDI file given (see --help)"
                : files.size() == 1 ? "no output file given (see --help)"
                                    : "more than one output file given",
                import_usage_error);
  }
  std::vector<uint8_t> bytes;
  std::string error;
  if (!read_input(files[0], bytes, error)) return fail(err, error);
  MidiImport song;
  const std::string name = files[0] == "-" ? "standard input" : files[0];
  if (!midi_import_bytes(bytes.data(), bytes.size(), name, song, error)) {
    return fail(err, name + ": " + error);
  }
  if (interrupt_signal != 0) return 128 + interrupt_signal;
  const bool written = write_output(files[1], song.text, out, error);
  if (interrupt_signal != 0) return 128 + interrupt_signal;
  if (!written) return fail(err, error);
  for (const std::string& warning : song.warnings) {
    std::fprintf(err, "kelvorinsaa-import: %s: warning: %s\n", name.c_str(), warning.c_str());
  }
  return 0;
}
