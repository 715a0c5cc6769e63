// The frame driver and the show's script: row clock, scene choice, brightness, pacing and the
// order of one frame's drawing. Runs on the main thread, which owns the OpenGL context.
#include "visuals/frame_driver.h"

#include <GL/gl.h>

#include "shared/shared_values.h"
#include "visuals/layers.h"
#include "visuals/post_process.h"
#include "visuals/textures.h"

// bright, glow, zoom, param, layers, start (in units of 8 rows)
const std::array<SceneEntry, scene_count> scene_table = {{
    {95, 11, -2, 0, 2, 0},
    {99, 11, -2, 80, 2, 7},
    {65, 21, -15, 0, 5, 16},
    {95, 21, -15, 0, 5, 20},
    {95, 11, 1, 0, 9, 24},
    {95, 11, 1, 0, 8, 36},
    {95, 11, 1, 0, 12, 38},
    {90, 11, 1, 0, 8, 56},
    {99, 10, -4, 1, 8, 64},
    {92, 11, -2, 33, 3, 80},
    {45, 11, -2, 33, 3, 96},
    {80, 11, 1, 0, 6, 98},
    {90, 11, -4, 65, 3, 100},
    {90, 11, 1, 0, 6, 102},
    {95, 11, -4, 65, 3, 104},
    {95, 11, 1, 0, 6, 106},
    {95, 11, -4, 65, 3, 108},
    {95, 11, 1, 0, 6, 110},
    {95, 11, 1, 0, 2, 112},
    {95, 110, -5, static_cast<uint8_t>(-32), 2, 120},
    {95, 110, -5, static_cast<uint8_t>(-32), 0, 132},
}};

namespace {

int32_t last_frame_ms = 0;
float brightness = 0.0f;

// Each call closes 1% of the distance to the scene's target, drawn or not.
void smooth_brightness(const SceneEntry& scene) {
  brightness = static_cast<float>(scene.bright * 0.01 / 100 + brightness * 0.99);
}

// Clear, projection, modelview and the text ring's texture state; colour and blend function
// are left as the previous frame's glow pass set them.
void begin_frame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-0.01, 0.01, -0.0075, 0.0075, 0.01, 1135);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glBindTexture(GL_TEXTURE_2D, disc_texture);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
}

void draw_layers(const SceneEntry& scene, int32_t ms) {
  if (scene.layers & layer_text_ring) draw_text_ring(ms, scene.param);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  if (scene.layers & layer_ring_sphere) draw_ring_sphere(ms, scene.param);
  if (scene.layers & layer_spirals) draw_spirals(ms);
  if (scene.layers & layer_fan) draw_fan(ms, scene.param);
}

// Saturating, so that a caller that keeps drawing past the end cannot wrap the flag to zero.
void request_end() {
  if (quit_requested < UINT8_MAX) ++quit_requested;
}

}  // namespace

int32_t visual_row(int32_t frames) {
  // 64-bit so that a count near the bottom of the range cannot overflow the subtraction.
  const int64_t row = (int64_t{frames} - visual_lag_frames) / show_row_frames;
  return row < 0 ? 0 : static_cast<int32_t>(row);
}

int scene_for_row(int32_t row) {
  const uint32_t block = static_cast<uint32_t>(row) >> 3;
  int found = 0;
  for (int i = 0; i < scene_count; ++i) {
    if (scene_table[i].start <= block) found = i;
  }
  return found;
}

GlowParams glow_params(const SceneEntry& scene) {
  GlowParams glow;
  glow.step = scene.zoom / 100.0f;
  if (static_cast<double>(glow.step) >= 0.099) {
    glow.step = static_cast<float>(audio_level.load(std::memory_order_relaxed) * 0.05 + glow.step);
  }
  glow.strength = scene.glow / 10.0f;
  return glow;
}

int32_t render_frame(int32_t ms) {
  const int32_t row = visual_row(frames_mixed.load(std::memory_order_relaxed));
  const SceneEntry& scene = scene_table[scene_for_row(row)];
  smooth_brightness(scene);
  if (int64_t{ms} <= int64_t{last_frame_ms} + (frame_interval_ms - 1)) return 0;
  last_frame_ms = ms;

  begin_frame();
  draw_layers(scene, ms);
  fade_pass(brightness);
  const GlowParams glow = glow_params(scene);
  glow_pass(glow.strength, glow.step);
  if (row >= show_end_row) request_end();
  return 1;
}

int32_t frame_driver_last_frame_ms() {
  return last_frame_ms;
}
float frame_driver_brightness() {
  return brightness;
}

void frame_driver_reset() {
  last_frame_ms = 0;
  brightness = 0.0f;
}
