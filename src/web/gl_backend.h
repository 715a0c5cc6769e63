// What the web's OpenGL layer hands to the page's WebGL 1 context: triangles ready to draw and
// texture work. Implemented in JavaScript (webgl_bridge.js); the native tests record the calls.
// Main thread.
#pragma once

#include <cstdint>

// One vertex as the page draws it: clip-space position, colour, texture coordinate.
constexpr int gl_vertex_floats = 9;
constexpr int32_t gl_blend_off = -1;  // blend_source when blending is disabled

extern "C" {
// Triangles (three vertices each) with the texture's texels times the colour when texture is
// nonzero, the colour alone otherwise; blended with the given OpenGL factors unless blend_source
// is gl_blend_off.
void webgl_draw_triangles(const float* vertices, int32_t vertex_count, uint32_t texture,
                          int32_t blend_source, int32_t blend_destination);
void webgl_clear();  // to black
// Storage of width x height texels; rgb (tightly packed rows, bottom row first) or null for
// black.
void webgl_texture_image(uint32_t texture, int32_t width, int32_t height, const uint8_t* rgb);
void webgl_texture_parameter(uint32_t texture, int32_t name, int32_t value);
void webgl_copy_to_texture(uint32_t texture, int32_t x_offset, int32_t y_offset, int32_t x,
                           int32_t y, int32_t width, int32_t height);
}
