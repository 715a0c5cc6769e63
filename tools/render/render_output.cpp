// Opening, writing and finishing kelvorinsaa-render's outputs. One thread.
#include "render_output.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr int max_link_depth = 40;

bool starts_with(const std::string& text, const char* head) {
  return text.compare(0, std::strlen(head), head) == 0;
}

bool fail(OutputFile& output, const std::string& reason) {
  output.error = "cannot write " + output.name + ": " + reason;
  return false;
}

// Follows symbolic links to the file they name, even when it does not exist yet.
std::string follow_links(std::string path) {
  for (int depth = 0; depth < max_link_depth; ++depth) {
    struct stat info = {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::vector<char> target(PATH_MAX + 1);
    const ssize_t length = readlink(path.c_str(), target.data(), PATH_MAX);
    if (length < 0) return path;
    std::string next(target.data(), static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    path = next;
  }
  return path;
}

// Streams and devices: the standard ones by their descriptors, others opened as they are.
int open_in_place(const std::string& path) {
  if (path == "-" || path == "/dev/stdout") return dup(STDOUT_FILENO);
  if (path == "/dev/stderr") return dup(STDERR_FILENO);
  if (starts_with(path, "/dev/fd/")) return dup(std::atoi(path.c_str() + 8));
  return open(path.c_str(), O_WRONLY | O_CLOEXEC);
}

int open_temporary(OutputFile& output) {
  std::string pattern = output.final_path + ".tmp-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return fd;
  output.temp_path = pattern;
  // mkstemp makes the file private; give it the permissions a new file normally gets.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  return fd;
}

int open_target(OutputFile& output) {
  const std::string& name = output.name;
  if (name == "-" || starts_with(name, "/dev/") || starts_with(name, "/proc/")) {
    return open_in_place(name);
  }
  output.final_path = follow_links(name);
  struct stat info = {};
  if (stat(output.final_path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      return -1;
    }
    if (!S_ISREG(info.st_mode)) {
      const std::string stream_path = output.final_path;
      output.final_path.clear();
      return open_in_place(stream_path);
    }
  }
  return open_temporary(output);
}

}  // namespace

bool output_open(OutputFile& output, const std::string& name, SoundKind kind,
                 int64_t frames_planned) {
  output.name = name;
  output.kind = kind;
  const int fd = open_target(output);
  if (fd < 0) return fail(output, std::strerror(errno));
  if (kind == SoundKind::raw) {
    output.stream = fdopen(fd, "wb");
    if (output.stream == nullptr) {
      close(fd);
      return fail(output, std::strerror(errno));
    }
    return true;
  }
  const bool seekable = lseek(fd, 0, SEEK_CUR) >= 0;
  std::string reason;
  output.sound = sound_file_open(fd, kind, frames_planned, reason);
  if (output.sound != nullptr) return true;
  if (!seekable) {
    return fail(output, std::string("a ") + sound_extension(kind) +
                            " file needs a seekable file (use .raw or -)");
  }
  return fail(output, reason);
}

bool output_write(OutputFile& output, const int16_t* values, const uint8_t* bytes, int32_t frames) {
  if (output.stream != nullptr) {
    if (std::fwrite(bytes, 4, frames, output.stream) == static_cast<size_t>(frames)) return true;
    return fail(output, std::strerror(errno));
  }
  if (sf_writef_short(output.sound, values, frames) == frames) return true;
  return fail(output, sound_file_reason(output.sound));
}

bool output_write_bytes(OutputFile& output, const uint8_t* bytes, size_t count) {
  if (std::fwrite(bytes, 1, count, output.stream) == count) return true;
  return fail(output, std::strerror(errno));
}

bool output_finish(OutputFile& output, bool keep) {
  bool closed = true;
  if (output.stream != nullptr) {
    closed = std::fclose(output.stream) == 0;
    if (!closed && keep) fail(output, std::strerror(errno));
  } else if (output.sound != nullptr) {
    const int code = sf_close(output.sound);
    closed = code == 0;
    if (!closed && keep) fail(output, sound_file_reason(code));
  }
  output.stream = nullptr;
  output.sound = nullptr;
  if (output.temp_path.empty()) return keep && closed;
  if (keep && closed) {
    if (std::rename(output.temp_path.c_str(), output.final_path.c_str()) == 0) return true;
    fail(output, std::strerror(errno));
  }
  std::remove(output.temp_path.c_str());
  return false;
}

std::string prepare_folder(const std::string& path) {
  struct stat info = {};
  if (stat(path.c_str(), &info) == 0) {
    return S_ISDIR(info.st_mode) ? "" : "cannot write stems to " + path + ": not a folder";
  }
  if (mkdir(path.c_str(), 0777) == 0) return "";
  return "cannot make the folder " + path + ": " + std::strerror(errno);
}
