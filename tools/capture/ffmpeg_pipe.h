// The ffmpeg program as the capture's encoder: raw frames go down a pipe into one ffmpeg
// process, and a second run puts the finished video and the sound into the container.
// Main thread; the encoders are processes of their own.
//
// Usage:
//   FfmpegPipe pipe;
//   if (!ffmpeg_start(pipe, args, log_path, problem)) ...;
//   ffmpeg_write(pipe, bytes, size, problem);
//   ffmpeg_finish(pipe, problem);             // closes the pipe, waits for ffmpeg's status
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct FfmpegPipe {
  pid_t pid = -1;
  int input = -1;        // the write end of ffmpeg's standard input
  std::string log_path;  // ffmpeg's standard error
};

// The ffmpeg program on PATH, or "" when there is none.
std::string find_ffmpeg();

// Starts ffmpeg with args (without the program name); its standard error goes to log_path.
bool ffmpeg_start(FfmpegPipe& pipe, const std::vector<std::string>& args,
                  const std::string& log_path, std::string& problem);
bool ffmpeg_write(FfmpegPipe& pipe, const void* bytes, size_t size, std::string& problem);
// Ends the input and waits; false when ffmpeg failed (problem quotes its last line).
bool ffmpeg_finish(FfmpegPipe& pipe, std::string& problem);
// Stops ffmpeg without waiting for its output to be complete (an interrupt or a failure).
void ffmpeg_abandon(FfmpegPipe& pipe);
// Runs ffmpeg with no input to feed and waits for it.
bool ffmpeg_run(const std::vector<std::string>& args, const std::string& log_path,
                std::string& problem);
