// The fade and glow passes over the whole picture, and the screen quad they are built on.
// Main thread, once per drawn frame.
#include "visuals/post_process.h"

#include <GL/gl.h>

#include "shared/show_constants.h"
#include "visuals/textures.h"

namespace {

// The picture's right edge in the texture is 640 / 1024; the top edge stops just under texel
// row 479.
constexpr float picture_right = 0.625f;
constexpr float picture_top = 0.9355f;
constexpr int glow_copies = 20;

void copy_picture_into_bound_texture() {
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, picture_width, picture_height);
}

// A 2 x 1.5 rectangle centred on the axis: at depth 1 it exactly fills the frustum.
void draw_picture_at(float z) {
  draw_screen_quad(-1.0f, -0.75f, 0.75f, -1.0f, z);
}

}  // namespace

void draw_screen_quad(float a, float b, float c, float d, float z) {
  glBegin(GL_POLYGON);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(a, b, z);
  glTexCoord2f(picture_right, 0.0f);
  glVertex3f(-a, b, z);
  glTexCoord2f(picture_right, picture_top);
  glVertex3f(-a, c, z);
  glTexCoord2f(0.0f, picture_top);
  glVertex3f(d, c, z);
  glEnd();
}

void fade_pass(float brightness) {
  glBindTexture(GL_TEXTURE_2D, feedback_texture);
  glLoadIdentity();
  glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  // old picture weighted by (1 - new), new picture squared: dark parts keep the trail
  glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_DST_COLOR);
  glColor3f(static_cast<float>(0.992 * brightness), static_cast<float>(0.98 * brightness),
            static_cast<float>(0.94 * brightness));
  // Slightly farther than the frustum's unit plane, so the trail shrinks towards the centre.
  draw_picture_at(-1.02f);
  copy_picture_into_bound_texture();
}

void glow_pass(float strength, float zoom_step) {
  glBindTexture(GL_TEXTURE_2D, glow_texture);
  copy_picture_into_bound_texture();
  glBlendFunc(GL_ONE, GL_ONE);
  glColor3f(0.25f * strength, static_cast<float>(0.2 * strength),
            static_cast<float>(0.2 * strength));
  for (int copy = 0; copy < glow_copies; ++copy) {
    draw_picture_at(-0.99f);
    glTranslatef(0.0f, 0.0f, zoom_step);
  }
}
