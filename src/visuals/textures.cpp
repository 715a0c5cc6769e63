// Texture set-up: the feedback and glow textures, and the disc that every text-ring dot shows.
// Runs once on the main thread at start-up, with the OpenGL context current.
#include "visuals/textures.h"

#include <GL/gl.h>

#include "shared/show_constants.h"

std::array<uint8_t, texture_width * texture_height * 3> disc_image;

namespace {

constexpr int disc_centre_x = 320;
constexpr int disc_centre_y = 240;
constexpr int disc_radius = 220;

// With data == nullptr the texture gets storage only.
void create_texture(uint32_t name, const void* data) {
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texture_width, texture_height, 0, GL_RGB,
               GL_UNSIGNED_BYTE, data);
}

// Integer test only: a pixel is white when it lies within the radius, with no soft edge.
void fill_disc() {
  for (int row = 0; row < picture_height; ++row) {
    for (int column = 0; column < picture_width; ++column) {
      const int dx = column - disc_centre_x;
      const int dy = row - disc_centre_y;
      const uint8_t value = dx * dx + dy * dy <= disc_radius * disc_radius ? 255 : 0;
      uint8_t* pixel = &disc_image[(row * texture_width + column) * 3];
      pixel[0] = pixel[1] = pixel[2] = value;
    }
  }
}

}  // namespace

void textures_init() {
  // The first fade pass reads the feedback texture before anything was copied into it, so
  // textures 1 and 2 start black: they are uploaded from the still all-black disc buffer.
  disc_image.fill(0);
  create_texture(feedback_texture, disc_image.data());
  create_texture(glow_texture, disc_image.data());
  create_texture(disc_texture, nullptr);
  fill_disc();
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texture_width, texture_height, 0, GL_RGB,
               GL_UNSIGNED_BYTE, disc_image.data());
}
