// Where kelvorinsaa-render writes: a regular file is written beside its name and renamed over it
// only when complete (through a symbolic link, beside the link's target); a FIFO, a device,
// /dev/stdout or "-" is written in place. Failures carry the system's reason. One thread.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "sound_file.h"

struct OutputFile {
  std::string name;        // as the user gave it
  std::string final_path;  // of a regular file: where the complete file goes
  std::string temp_path;
  SoundKind kind = SoundKind::raw;  // raw: the bare stream (or text)
  std::FILE* stream = nullptr;
  SNDFILE* sound = nullptr;
  std::string error;  // "cannot write NAME: reason"
};

// A raw output takes the bytes as they are (or text, through stream); the others are sound
// files of frames_planned frames.
bool output_open(OutputFile& output, const std::string& name, SoundKind kind,
                 int64_t frames_planned = 0);
bool output_write(OutputFile& output, const int16_t* values, const uint8_t* bytes, int32_t frames);
// Bytes as they are, to a raw output (a MIDI file).
bool output_write_bytes(OutputFile& output, const uint8_t* bytes, size_t count);
// Closes; a regular file takes its name only when keep is true and everything was written.
bool output_finish(OutputFile& output, bool keep);

// What is wrong with a folder the stems go to, or "" (it is made when missing).
std::string prepare_folder(const std::string& path);
