// Where kelvorinsaa-render writes: a regular file is written beside its name and renamed over it
// only when complete (through a symbolic link, beside the link's target); a FIFO, a device,
// /dev/stdout or "-" is written in place. Failures carry the system's reason. One thread.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <string>

struct OutputFile {
  std::string name;        // as the user gave it
  std::string final_path;  // of a regular file: where the complete file goes
  std::string temp_path;
  bool raw = false;  // the bare stream, not a WAV file
  std::FILE* stream = nullptr;
  SNDFILE* wav = nullptr;
  std::string error;  // "cannot write NAME: reason"
};

// raw: write the bytes as they are (or text, through stream), not a WAV file.
bool output_open(OutputFile& output, const std::string& name, bool raw);
bool output_write(OutputFile& output, const int16_t* values, const uint8_t* bytes, int32_t frames);
// Closes; a regular file takes its name only when keep is true and everything was written.
bool output_finish(OutputFile& output, bool keep);

// What is wrong with a folder the stems go to, or "" (it is made when missing).
std::string prepare_folder(const std::string& path);
