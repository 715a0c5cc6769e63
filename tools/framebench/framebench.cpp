// Frame timing under a real OpenGL context: draws every scene of the script for a while and
// reports what a drawn frame costs, then how fast a main-loop pass spins when no frame is due.
// Single-threaded: no audio runs, the tool sets the song clock and the level itself.
//
// Usage: kelvorinsaa-framebench [--frames N] [--level L] [--shots DIR]
#include <GL/gl.h>
#include <SDL.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "framebench_options.h"
#include "shared/shared_values.h"
#include "shared/stop_signals.h"
#include "visuals/frame_driver.h"
#include "visuals/textures.h"
#include "x_window.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int warm_up_frames = 20;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

volatile sig_atomic_t stop_signal = 0;  // the signal that asked the run to end

void on_stop_signal(int signal_number) {
  stop_signal = signal_number;
}

int fail(const std::string& message, int status = exit_failed) {
  std::fprintf(stderr, "kelvorinsaa-framebench: %s\n", message.c_str());
  return status;
}

struct Timing {
  double draw_mean = 0, draw_worst = 0;    // render_frame and glFinish
  double total_mean = 0, total_worst = 0;  // with the buffer swap
};

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void drain_events() {
  SDL_Event event;
  while (SDL_PollEvent(&event) > 0) {
  }
}

std::string layer_names(uint8_t layers) {
  if (!layers) return "none";
  std::string names;
  const char* labels[] = {"text", "rings", "spirals", "fan"};
  for (int bit = 0; bit < 4; ++bit) {
    if (!(layers & (1 << bit))) continue;
    if (!names.empty()) names += "+";
    names += labels[bit];
  }
  return names;
}

// The back buffer as a binary PPM, top row first; "" or what went wrong. A file that cannot be
// completed is removed.
std::string write_shot(const std::string& path) {
  auto pixels = std::make_unique<uint8_t[]>(picture_width * picture_height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, picture_width, picture_height, GL_RGB, GL_UNSIGNED_BYTE, pixels.get());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return "cannot write " + path + ": " + std::strerror(errno);
  std::fprintf(file, "P6\n%d %d\n255\n", picture_width, picture_height);
  for (int row = picture_height - 1; row >= 0; --row) {
    std::fwrite(&pixels[row * picture_width * 3], 1, picture_width * 3, file);
  }
  const bool written = std::ferror(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return "";
  const int error = errno;
  std::remove(path.c_str());
  return "cannot write " + path + ": " + std::strerror(error);
}

// Makes the folder for --shots when it is missing; "" or what is wrong with it.
std::string prepare_shots_dir(const std::string& dir) {
  std::error_code error;
  if (std::filesystem::exists(dir, error) && !std::filesystem::is_directory(dir, error))
    return dir + " is not a folder";
  std::filesystem::create_directories(dir, error);
  if (error) return "cannot make the folder " + dir + ": " + error.message();
  if (access(dir.c_str(), W_OK) != 0)
    return "cannot write into " + dir + ": " + std::strerror(errno);
  return "";
}

// Draws frames of one scene with a clock that advances 9 ms per call, so every call draws.
// Stops early, with problem set, when a shot cannot be written or a signal asks to end.
Timing time_scene(int scene, const FramebenchOptions& options, int32_t& ms, std::string& problem) {
  frames_mixed = visual_lag_frames + show_row_frames * (scene_table[scene].start * 8);
  Timing timing;
  for (int frame = -warm_up_frames; frame < options.frames; ++frame) {
    if (stop_signal) {
      problem = "interrupted";
      return timing;
    }
    audio_level = options.level;
    ms += frame_interval_ms;
    const Clock::time_point start = Clock::now();
    render_frame(ms);
    glFinish();
    const double draw = ms_since(start);
    const bool last = frame == options.frames - 1;
    if (last && !options.shots_dir.empty()) {
      char name[32];
      std::snprintf(name, sizeof name, "/scene_%02d.ppm", scene);
      problem = write_shot(options.shots_dir + name);
      if (!problem.empty()) return timing;
    }
    const Clock::time_point swap_start = Clock::now();
    SDL_GL_SwapBuffers();
    const double total = draw + ms_since(swap_start);
    drain_events();
    if (frame < 0) continue;
    timing.draw_mean += draw / options.frames;
    timing.total_mean += total / options.frames;
    timing.draw_worst = std::max(timing.draw_worst, draw);
    timing.total_worst = std::max(timing.total_worst, total);
  }
  return timing;
}

// Passes per second of calls that the pacing declines: render_frame alone, and a whole main
// loop pass (clock, render_frame, event drain) without the swap.
void time_declined_calls(int32_t ms) {
  for (int with_loop = 0; with_loop < 2; ++with_loop) {
    long passes = 0;
    const Clock::time_point start = Clock::now();
    while (ms_since(start) < 1000.0 && !stop_signal) {
      for (int i = 0; i < 1024; ++i) {
        if (with_loop) {
          SDL_GetTicks();  // the loop reads the clock every pass; ms stays put, so no frame
          render_frame(ms);
          drain_events();
        } else {
          render_frame(ms);
        }
      }
      passes += 1024;
    }
    std::printf("declined %-28s %12.0f passes/s\n",
                with_loop ? "main-loop pass (+events):" : "render_frame call:",
                passes * 1000.0 / ms_since(start));
  }
}

int run(const FramebenchOptions& options) {
  std::string problem = open_x_window("Kelvorinsaa framebench");
  if (problem.empty() && !options.shots_dir.empty()) problem = prepare_shots_dir(options.shots_dir);
  if (!problem.empty()) {
    SDL_Quit();
    return fail(problem);
  }
  textures_init();
  std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  std::printf("%d frames per scene, audio level %.2f\n", options.frames, options.level);
  std::printf("%-5s %-20s %9s %9s %10s %10s %8s\n", "scene", "layers", "draw ms", "worst",
              "+swap ms", "worst", "fps");
  std::fflush(stdout);  // each line as soon as it is known, into a pipe too
  int32_t ms = 0;
  for (int scene = 0; scene < scene_count && problem.empty(); ++scene) {
    const Timing t = time_scene(scene, options, ms, problem);
    if (!problem.empty()) break;
    std::printf("%-5d %-20s %9.2f %9.2f %10.2f %10.2f %8.0f\n", scene,
                layer_names(scene_table[scene].layers).c_str(), t.draw_mean, t.draw_worst,
                t.total_mean, t.total_worst, 1000.0 / t.total_mean);
    std::fflush(stdout);
  }
  if (problem.empty()) time_declined_calls(ms);
  SDL_Quit();
  // As a shell reports a program killed by the signal: 130 for Ctrl-C, 143 for TERM.
  if (stop_signal) return fail("interrupted", 128 + stop_signal);
  return problem.empty() ? 0 : fail(problem);
}

}  // namespace

int main(int argc, char** argv) {
  FramebenchOptions options;
  const std::string problem = parse_framebench_options(argc, argv, options);
  if (!problem.empty()) return fail(problem, exit_usage);
  if (options.help) {
    std::fputs(framebench_usage_text, stdout);
    return 0;
  }
  catch_stop_signals(on_stop_signal);  // a run ends between two frames: no half-written shot
  return run(options);
}
