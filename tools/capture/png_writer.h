// Writes video frames as numbered PNG files on a thread of its own, so that compressing one
// frame overlaps drawing the next. Filled from the main thread, written on the writer thread.
//
// Usage:
//   PngWriter writer;
//   png_writer_start(writer, "/tmp/frames");
//   png_writer_add(writer, rgb_bottom_up);   // frame_000001.png, frame_000002.png, ...
//   bool ok = png_writer_finish(writer);     // joins the thread
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

constexpr int png_queue_length = 6;  // frames waiting for the writer

struct PngWriter {
  std::string folder;
  std::array<std::unique_ptr<uint8_t[]>, png_queue_length> slots;
  int64_t added = 0;    // frames handed in; frame n waits in slot n % png_queue_length
  int64_t written = 0;  // frames on disk
  bool closing = false;
  std::string failure;  // set by the writer thread; stops it
  std::mutex lock;
  std::condition_variable changed;
  std::thread thread;
};

void png_writer_start(PngWriter& writer, const std::string& folder);
// Queues a 640 x 480 RGB picture (bottom row first); false once writing has failed.
bool png_writer_add(PngWriter& writer, const uint8_t* rgb);
// Writes what is queued, stops the thread; returns false (with writer.failure) on a failure.
bool png_writer_finish(PngWriter& writer);

// One picture as a PNG file, top row first. Returns "" or the reason it failed.
std::string write_png(const std::string& path, const uint8_t* rgb_bottom_up);
