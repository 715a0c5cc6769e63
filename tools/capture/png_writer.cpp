// The PNG writer thread and the libpng call sequence for one picture.
#include "png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "capture_clock.h"

namespace {

// Fast zlib settings: the frames are large flat areas, and the writer must keep up with drawing.
constexpr int png_compression_level = 3;

void write_queued(PngWriter& writer) {
  std::unique_lock<std::mutex> guard(writer.lock);
  for (;;) {
    writer.changed.wait(guard, [&] { return writer.closing || writer.written < writer.added; });
    if (writer.written == writer.added) return;  // closing, nothing left
    const int64_t frame = writer.written;
    const uint8_t* rgb = writer.slots[frame % png_queue_length].get();
    guard.unlock();
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%06lld.png", static_cast<long long>(frame + 1));
    const std::string problem = write_png(writer.folder + name, rgb);
    guard.lock();
    if (!problem.empty()) {
      writer.failure = problem;
      writer.changed.notify_all();
      return;
    }
    ++writer.written;
    writer.changed.notify_all();
  }
}

}  // namespace

std::string write_png(const std::string& path, const uint8_t* rgb_bottom_up) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return "cannot write " + path + ": " + std::strerror(errno);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return "cannot write " + path + ": the PNG encoder failed";
  }
  png_init_io(png, file);
  png_set_compression_level(png, png_compression_level);
  png_set_IHDR(png, info, picture_width, picture_height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_bytep rows[picture_height];
  for (int row = 0; row < picture_height; ++row) {
    // OpenGL's first row is the bottom one.
    rows[row] =
        const_cast<png_bytep>(rgb_bottom_up) + (picture_height - 1 - row) * picture_width * 3;
  }
  png_set_rows(png, info, rows);
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  const int saved_errno = errno;
  if (std::fclose(file) != 0 || !flushed)
    return "cannot write " + path + ": " + std::strerror(flushed ? errno : saved_errno);
  return "";
}

void png_writer_start(PngWriter& writer, const std::string& folder) {
  writer.folder = folder;
  for (auto& slot : writer.slots) slot = std::make_unique<uint8_t[]>(picture_bytes);
  writer.thread = std::thread(write_queued, std::ref(writer));
}

bool png_writer_add(PngWriter& writer, const uint8_t* rgb) {
  std::unique_lock<std::mutex> guard(writer.lock);
  writer.changed.wait(guard, [&] {
    return !writer.failure.empty() || writer.added - writer.written < png_queue_length;
  });
  if (!writer.failure.empty()) return false;
  std::memcpy(writer.slots[writer.added % png_queue_length].get(), rgb, picture_bytes);
  ++writer.added;
  writer.changed.notify_all();
  return true;
}

bool png_writer_finish(PngWriter& writer) {
  {
    std::lock_guard<std::mutex> guard(writer.lock);
    writer.closing = true;
    writer.changed.notify_all();
  }
  if (writer.thread.joinable()) writer.thread.join();
  return writer.failure.empty();
}
