// Frame timing under a real OpenGL context: draws every scene of the script for a while and
// reports what a drawn frame costs, then how fast a main-loop pass spins when no frame is due.
// Single-threaded: no audio runs, the tool sets the song clock and the level itself.
//
// Usage: kelvorinsaa-framebench [--frames N] [--level L] [--shots DIR]
#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "shared/shared_values.h"
#include "visuals/frame_driver.h"
#include "visuals/textures.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int warm_up_frames = 20;

struct Options {
  int frames = 300;
  float level = 0.5f;
  std::string shots_dir;  // empty: no pictures
};

struct Timing {
  double draw_mean = 0, draw_worst = 0;    // render_frame and glFinish
  double total_mean = 0, total_worst = 0;  // with the buffer swap
};

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool parse_options(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (!std::strcmp(argv[i], "--frames") && has_value) {
      options.frames = std::max(1, std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--level") && has_value) {
      options.level = std::clamp(static_cast<float>(std::atof(argv[++i])), 0.0f, 1.0f);
    } else if (!std::strcmp(argv[i], "--shots") && has_value) {
      options.shots_dir = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--frames N] [--level L] [--shots DIR]\n", argv[0]);
      return false;
    }
  }
  return true;
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

// The back buffer as a binary PPM, top row first.
bool write_shot(const std::string& path) {
  auto pixels = std::make_unique<uint8_t[]>(picture_width * picture_height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, picture_width, picture_height, GL_RGB, GL_UNSIGNED_BYTE, pixels.get());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::fprintf(file, "P6\n%d %d\n255\n", picture_width, picture_height);
  for (int row = picture_height - 1; row >= 0; --row) {
    std::fwrite(&pixels[row * picture_width * 3], 1, picture_width * 3, file);
  }
  return std::fclose(file) == 0;
}

// Draws frames of one scene with a clock that advances 9 ms per call, so every call draws.
Timing time_scene(int scene, const Options& options, int32_t& ms) {
  frames_mixed = visual_lag_frames + show_row_frames * (scene_table[scene].start * 8);
  Timing timing;
  for (int frame = -warm_up_frames; frame < options.frames; ++frame) {
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
      if (!write_shot(options.shots_dir + name)) std::perror(name);
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
    while (ms_since(start) < 1000.0) {
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

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, options)) return 2;
  if (SDL_Init(SDL_INIT_VIDEO) < 0) {
    std::fprintf(stderr, "framebench: %s\n", SDL_GetError());
    return 1;
  }
  if (!SDL_SetVideoMode(picture_width, picture_height, 32, SDL_OPENGL)) {
    std::fprintf(stderr, "framebench: no OpenGL window: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  SDL_WM_SetCaption("Kelvorinsaa framebench", nullptr);
  textures_init();
  std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  std::printf("%d frames per scene, audio level %.2f\n", options.frames, options.level);
  std::printf("%-5s %-20s %9s %9s %10s %10s %8s\n", "scene", "layers", "draw ms", "worst",
              "+swap ms", "worst", "fps");
  int32_t ms = 0;
  for (int scene = 0; scene < scene_count; ++scene) {
    const Timing t = time_scene(scene, options, ms);
    std::printf("%-5d %-20s %9.2f %9.2f %10.2f %10.2f %8.0f\n", scene,
                layer_names(scene_table[scene].layers).c_str(), t.draw_mean, t.draw_worst,
                t.total_mean, t.total_worst, 1000.0 / t.total_mean);
  }
  time_declined_calls(ms);
  SDL_Quit();
  return 0;
}
