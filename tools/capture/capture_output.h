// Where a capture goes: PNG frames and audio.wav in a folder, or a video file made by ffmpeg.
// Everything is made in a temporary folder beside OUT (inside it when OUT is an existing
// folder) and takes OUT's name only when complete. Main thread (PNG files on a writer thread).
//
// Usage:
//   CaptureOutput output;
//   if (!output_open(output, options, problem)) ...;
//   output_sound(output, bytes, frames); output_picture(output, rgb);   // as the capture runs
//   output_finish(output, problem) or output_discard(output);
#pragma once

#include <sndfile.h>

#include <memory>
#include <string>

#include "capture_options.h"
#include "ffmpeg_pipe.h"
#include "png_writer.h"
#include "sound_file.h"

struct CaptureOutput {
  const CaptureOptions* options = nullptr;
  std::string temp_dir;  // removed by output_discard
  bool into_existing_folder = false;
  SNDFILE* wav = nullptr;
  std::unique_ptr<PngWriter> png;  // frames in a folder at the native size
  FfmpegPipe encoder;              // every other case
  std::string problem;             // the first failure while capturing
};

// False with a reason when OUT cannot be made or the encoder cannot start.
bool output_open(CaptureOutput& output, const CaptureOptions& options, std::string& problem);
bool output_sound(CaptureOutput& output, const uint8_t* bytes, int32_t frames);
bool output_picture(CaptureOutput& output, const uint8_t* rgb);
// Completes the files and gives them OUT's name.
bool output_finish(CaptureOutput& output, std::string& problem);
// Stops the encoders and removes everything made so far.
void output_discard(CaptureOutput& output);

// Whether a video (not PNG frames by libpng) is made by ffmpeg for these options.
bool output_needs_ffmpeg(const CaptureOptions& options);
