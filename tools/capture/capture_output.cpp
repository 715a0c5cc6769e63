// Temporary folder, sound file, PNG writer or ffmpeg encoder, and the final rename.
#include "capture_output.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const video_stream_name = "/video.mkv";  // what the first ffmpeg run makes
const char* const sound_name = "/audio.wav";

std::string without_trailing_slashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool native_size(const CaptureOptions& options) {
  return options.width == picture_width && options.height == picture_height;
}

std::string extension(OutputKind kind) {
  switch (kind) {
    case OutputKind::mp4:
      return ".mp4";
    case OutputKind::mkv:
      return ".mkv";
    case OutputKind::webm:
      return ".webm";
    case OutputKind::folder:
      break;
  }
  return "";
}

bool make_temp_dir(CaptureOutput& output, const CaptureOptions& options, std::string& problem) {
  const std::string out = without_trailing_slashes(options.out_path);
  struct stat info;
  output.into_existing_folder =
      options.kind == OutputKind::folder && stat(out.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  std::string pattern =
      output.into_existing_folder ? out + "/.capture-XXXXXX" : out + ".tmp-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    problem = "cannot write " + options.out_path + ": " + std::strerror(errno);
    return false;
  }
  output.temp_dir = pattern;
  chmod(pattern.c_str(), 0755);
  return true;
}

std::string scale_filter(const CaptureOptions& options) {
  std::string filter = "vflip";  // OpenGL's rows come bottom first
  if (native_size(options)) return filter;
  const ScaledSize fit = fit_picture(options.width, options.height);
  filter += ",scale=" + std::to_string(fit.width) + ":" + std::to_string(fit.height) +
            ":flags=lanczos,pad=" + std::to_string(options.width) + ":" +
            std::to_string(options.height) + ":(ow-iw)/2:(oh-ih)/2:black";
  return filter;
}

std::vector<std::string> encode_args(const CaptureOptions& options, const std::string& dir) {
  std::vector<std::string> args = {
      "-hide_banner",
      "-loglevel",
      "error",
      "-nostdin",
      "-y",
      "-f",
      "rawvideo",
      "-pix_fmt",
      "rgb24",
      "-video_size",
      std::to_string(picture_width) + "x" + std::to_string(picture_height),
      "-framerate",
      std::to_string(options.span.fps),
      "-i",
      "pipe:0",
      "-vf",
      scale_filter(options)};
  switch (options.kind) {
    case OutputKind::mp4:
      args.insert(args.end(), {"-c:v", "libx264", "-preset", "fast", "-crf", "18", "-pix_fmt",
                               "yuv420p", dir + video_stream_name});
      break;
    case OutputKind::mkv:
      args.insert(args.end(), {"-c:v", "ffv1", "-level", "3", dir + video_stream_name});
      break;
    case OutputKind::webm:
      args.insert(args.end(), {"-c:v", "libvpx-vp9", "-crf", "30", "-b:v", "0", "-deadline", "good",
                               "-cpu-used", "4", "-row-mt", "1", "-pix_fmt", "yuv420p",
                               dir + video_stream_name});
      break;
    case OutputKind::folder:
      args.insert(args.end(), {"-f", "image2", "-start_number", "1", dir + "/frame_%06d.png"});
      break;
  }
  return args;
}

std::vector<std::string> mux_args(const CaptureOptions& options, const std::string& dir) {
  std::vector<std::string> args = {
      "-hide_banner", "-loglevel",      "error", "-nostdin", "-y",   "-i",  dir + video_stream_name,
      "-i",           dir + sound_name, "-map",  "0:v",      "-map", "1:a", "-c:v",
      "copy"};
  switch (options.kind) {
    case OutputKind::mp4:
      args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart"});
      break;
    case OutputKind::mkv:
      args.insert(args.end(), {"-c:a", "flac"});
      break;
    case OutputKind::webm:
      args.insert(args.end(), {"-c:a", "libopus", "-b:a", "160k"});
      break;
    case OutputKind::folder:
      break;
  }
  args.push_back(dir + "/out" + extension(options.kind));
  return args;
}

bool open_sound(CaptureOutput& output, std::string& problem) {
  const std::string path = output.temp_dir + sound_name;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  std::string reason = fd < 0 ? std::strerror(errno) : "";
  if (fd >= 0) {
    const CaptureSpan& span = output.options->span;
    const int64_t frames = span_sound_frames(span, planned_frame_count(span));
    output.wav = sound_file_open(fd, SoundKind::wav, frames, reason);
    if (output.wav != nullptr) return true;
  }
  problem = "cannot write " + path + ": " + reason;
  return false;
}

// frame_000001.png and on, as the frames are named (seven digits and more past 999999).
bool is_frame_name(const std::string& name) {
  const std::string head = "frame_", tail = ".png";
  if (name.size() < head.size() + 6 + tail.size() || name.rfind(head, 0) != 0 ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string number = name.substr(head.size(), name.size() - head.size() - tail.size());
  return number.find_first_not_of("0123456789") == std::string::npos;
}

// The frames of an earlier, longer capture into the folder that this one does not replace go
// first, so that the folder holds one capture's frames; links and other files stay.
bool remove_stale_frames(const std::string& out, const std::string& fresh_dir,
                         std::error_code& error) {
  std::vector<fs::path> stale;
  for (const auto& entry : fs::directory_iterator(out, error)) {
    const std::string name = entry.path().filename().string();
    if (is_frame_name(name) && entry.symlink_status().type() == fs::file_type::regular &&
        !fs::exists(fs::path(fresh_dir) / name)) {
      stale.push_back(entry.path());
    }
  }
  for (const fs::path& path : stale) {
    if (!error) fs::remove(path, error);
  }
  return !error;
}

// Moves the finished files to OUT's name.
bool publish(CaptureOutput& output, std::string& problem) {
  const CaptureOptions& options = *output.options;
  const std::string out = without_trailing_slashes(options.out_path);
  std::error_code error;
  if (options.kind != OutputKind::folder) {
    fs::rename(output.temp_dir + "/out" + extension(options.kind), out, error);
  } else if (!output.into_existing_folder) {
    fs::rename(output.temp_dir, out, error);
    if (!error) output.temp_dir.clear();
  } else if (remove_stale_frames(out, output.temp_dir, error)) {
    for (const auto& entry : fs::directory_iterator(output.temp_dir, error)) {
      fs::rename(entry.path(), fs::path(out) / entry.path().filename(), error);
      if (error) break;
    }
  }
  if (!error) return true;
  problem = "cannot write " + options.out_path + ": " + error.message();
  return false;
}

}  // namespace

bool output_needs_ffmpeg(const CaptureOptions& options) {
  return options.kind != OutputKind::folder || !native_size(options);
}

bool output_open(CaptureOutput& output, const CaptureOptions& options, std::string& problem) {
  output.options = &options;
  if (!make_temp_dir(output, options, problem)) return false;
  if (!open_sound(output, problem)) return false;
  if (!output_needs_ffmpeg(options)) {
    output.png = std::make_unique<PngWriter>();
    png_writer_start(*output.png, output.temp_dir);
    return true;
  }
  return ffmpeg_start(output.encoder, encode_args(options, output.temp_dir),
                      output.temp_dir + "/ffmpeg.log", problem);
}

bool output_sound(CaptureOutput& output, const uint8_t* bytes, int32_t frames) {
  std::vector<int16_t> values(2 * static_cast<size_t>(frames));
  for (size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  if (sf_writef_short(output.wav, values.data(), frames) == frames) return true;
  output.problem =
      "cannot write " + output.temp_dir + sound_name + ": " + sound_file_reason(output.wav);
  return false;
}

bool output_picture(CaptureOutput& output, const uint8_t* rgb) {
  if (output.png) {
    if (png_writer_add(*output.png, rgb)) return true;
    output.problem = output.png->failure;
    return false;
  }
  return ffmpeg_write(output.encoder, rgb, picture_bytes, output.problem);
}

bool output_finish(CaptureOutput& output, std::string& problem) {
  const bool sound_closed = sf_close(output.wav) == 0;
  output.wav = nullptr;
  if (!sound_closed) {
    problem = "cannot write " + output.temp_dir + sound_name;
    return false;
  }
  if (output.png) {
    if (!png_writer_finish(*output.png)) {
      problem = output.png->failure;
      return false;
    }
  } else if (!ffmpeg_finish(output.encoder, problem)) {
    return false;
  }
  const CaptureOptions& options = *output.options;
  if (options.kind != OutputKind::folder) {
    const std::string dir = output.temp_dir;
    if (!ffmpeg_run(mux_args(options, dir), dir + "/mux.log", problem)) return false;
  }
  if (options.kind == OutputKind::folder) fs::remove(output.temp_dir + "/ffmpeg.log");
  return publish(output, problem);
}

void output_discard(CaptureOutput& output) {
  if (output.wav != nullptr) sf_close(output.wav);
  output.wav = nullptr;
  if (output.png) png_writer_finish(*output.png);
  ffmpeg_abandon(output.encoder);
  if (output.temp_dir.empty()) return;
  std::error_code ignored;
  fs::remove_all(output.temp_dir, ignored);
  output.temp_dir.clear();
}
