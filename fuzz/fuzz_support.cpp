// Input reading, command lines and the scratch folder of the fuzz targets.
#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#if defined(KELVORINSAA_FUZZ_LIMITS)
// ASan keeps freed memory out of use for a while to catch late uses; its default 256 MB means
// fresh pages, and page faults, for every sample a song renders. A few MB still catch a use of
// what the same input freed.
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=8";
}
#endif

uint8_t FuzzInput::byte() {
  return at_ < size_ ? data_[at_++] : 0;
}

int64_t FuzzInput::number(int64_t low, int64_t high) {
  const uint64_t span = static_cast<uint64_t>(high - low) + 1;
  uint64_t value = byte();
  if (span > 256) value = value << 8 | byte();
  return low + static_cast<int64_t>(value % span);
}

std::string FuzzInput::word() {
  std::string text;
  while (at_ < size_ && data_[at_] != '\0') text.push_back(static_cast<char>(data_[at_++]));
  if (at_ < size_) ++at_;  // the NUL
  return text;
}

std::string FuzzInput::rest() {
  const size_t from = at_ < size_ ? at_ : size_;
  at_ = size_;
  return std::string(reinterpret_cast<const char*>(data_) + from, size_ - from);
}

char** CommandLine::argv() {
  pointers_.clear();
  for (std::string& argument : arguments_) pointers_.push_back(argument.data());
  pointers_.push_back(nullptr);
  return pointers_.data();
}

const std::string& scratch_folder() {
  static const std::string folder = [] {
    // Memory when the system has a folder of it: the tools write files for every input.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = base / "kelvorinsaa-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("cannot make a scratch folder");
      std::abort();
    }
    // Removed when the process ends normally; a crash leaves it for the look afterwards.
    static const std::string made = pattern;
    std::atexit([] { std::filesystem::remove_all(made); });
    return pattern;
  }();
  return folder;
}

void clear_scratch_folder() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(scratch_folder(), error)) {
    std::filesystem::remove_all(entry.path(), error);
  }
}

bool write_file(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}
