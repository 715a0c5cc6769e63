// Texture set-up: the feedback and glow textures and the disc image, once at start-up.
// Main thread, with the OpenGL context current.
#pragma once

#include <array>
#include <cstdint>

constexpr uint32_t feedback_texture = 1;
constexpr uint32_t glow_texture = 2;
constexpr uint32_t disc_texture = 3;
constexpr int texture_width = 1024;
constexpr int texture_height = 512;

extern std::array<uint8_t, texture_width * texture_height * 3> disc_image;

// Creates textures 1, 2 and 3 and uploads the disc into 3, which stays bound.
void textures_init();
