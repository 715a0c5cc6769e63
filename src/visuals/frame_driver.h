// The frame driver: turns the song clock into a row and a scene, paces drawing to one frame
// per 9 ms, draws the scene's layers and the feedback passes, ends the show. Main thread.
//
// Usage (the main loop):
//   if (render_frame(elapsed_ms)) SDL_GL_SwapBuffers();
#pragma once

#include <array>
#include <cstdint>

#include "shared/show_constants.h"

// One scene of the script; six packed bytes.
struct __attribute__((packed)) SceneEntry {
  int8_t bright;   // target brightness in percent
  int8_t glow;     // glow strength in tenths
  int8_t zoom;     // glow zoom step in hundredths
  uint8_t param;   // effect parameter, read by each layer in its own way
  uint8_t layers;  // 1 text ring, 2 ring sphere, 4 spirals, 8 fan
  uint8_t start;   // first row, in units of 8 rows
};
static_assert(sizeof(SceneEntry) == 6);

constexpr int scene_count = 21;
constexpr int32_t frame_interval_ms = 9;

constexpr uint8_t layer_text_ring = 1;
constexpr uint8_t layer_ring_sphere = 2;
constexpr uint8_t layer_spirals = 4;
constexpr uint8_t layer_fan = 8;

extern const std::array<SceneEntry, scene_count> scene_table;

// Draws a frame when at least 9 ms have passed since the last one; returns 1 then, else 0.
int32_t render_frame(int32_t ms);

// The pieces of render_frame, open to the tests and the frame timing tool.
struct GlowParams {
  float strength;
  float step;
};
int32_t visual_row(int32_t frames);  // the row the picture shows for a mixed-frame count
int scene_for_row(int32_t row);      // index into scene_table
GlowParams glow_params(const SceneEntry& scene);  // reads audio_level only for steep zooms
int32_t frame_driver_last_frame_ms();
float frame_driver_brightness();
void frame_driver_reset();  // back to the state at program start
