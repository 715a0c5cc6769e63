// What the fuzz targets share: reading choices and texts out of the input bytes, and command
// lines made of them. Single-threaded, like libFuzzer's calls.
//
// Usage:
//   FuzzInput input(data, size);
//   const int32_t row = input.number(0, 64);
//   const std::string song = input.rest();
//   CommandLine line("kelvorinsaa-render"); line.add("--from"); line.add(row); line.argv();
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Takes bytes from the front of the input; an exhausted input reads as zeros and empty texts,
// so every input, the empty one included, is a valid sequence of choices.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte();
  bool flag() { return (byte() & 1) != 0; }
  // A number from low to high inclusive, from one byte (or two when the span needs them).
  int64_t number(int64_t low, int64_t high);
  // The bytes up to the next NUL (or the end), without the NUL.
  std::string word();
  // Everything not taken yet.
  std::string rest();
  bool empty() const { return at_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// An argument vector that owns its strings; argv() stays valid until the next add.
class CommandLine {
 public:
  explicit CommandLine(const char* program) { add(program); }
  void add(const std::string& argument) { arguments_.push_back(argument); }
  int argc() const { return static_cast<int>(arguments_.size()); }
  char** argv();

 private:
  std::vector<std::string> arguments_;
  std::vector<char*> pointers_;
};

// A folder of its own under the system's temporary folder, made once per process, for the files
// that tools write; emptied by clear_scratch_folder.
const std::string& scratch_folder();
void clear_scratch_folder();

// Writes text to path whole; false when it cannot.
bool write_file(const std::string& path, const std::string& text);
