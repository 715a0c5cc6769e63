// The effect layers: a ring of dot-matrix letters, a sphere of wobbling rings, audio-driven
// spirals and two curling fans. Main thread. Angles are worked out in double and handed to
// OpenGL as float; audio_level is read afresh wherever the shape follows it.
#include "visuals/layers.h"

#include <GL/gl.h>

#include <cmath>

#include "shared/shared_values.h"
#include "visuals/glyphs.h"
#include "visuals/post_process.h"

namespace {

float level() {
  return audio_level.load(std::memory_order_relaxed);
}

void rotate(double degrees, float x, float y, float z) {
  glRotatef(static_cast<float>(degrees), x, y, z);
}

// --- text ring ---

constexpr float dot_pitch = 0.14f;
constexpr float glyph_row_width = 0.56f;  // four pitches: back to the row's first column
constexpr float glyph_height = 0.7f;      // five pitches: back up to the top row
constexpr double cell_degrees = 30.0;

void draw_dot() {
  draw_screen_quad(-0.1f, -0.075f, 0.075f, -0.1f, 1.2f);
}

// Steps dot by dot through the glyph and ends where it began.
void draw_glyph(int glyph) {
  for (int row = 0; row < glyph_rows; ++row) {
    for (int column = 0; column < glyph_columns; ++column) {
      if (glyph_cell_lit(glyph, row, column)) draw_dot();
      glTranslatef(dot_pitch, 0.0f, 0.0f);
    }
    glTranslatef(-glyph_row_width, -dot_pitch, 0.0f);
  }
}

// --- spirals ---

void draw_spiral(double t) {
  glBegin(GL_LINE_STRIP);
  for (int j = 0; j < 100; ++j) {
    const double l = level();
    const double a = std::sin(0.001 * t + 0.1 * j);
    const double b = std::sin(0.003 * t + 0.1 * j);
    const double c = std::sin(0.01 * j + l + 0.005 * t);
    const double phi = 0.0005 * j * (10 * l + 1);
    const float x_reach = static_cast<float>(0.4 * a * j * 0.4);
    const float y_reach = static_cast<float>(0.2 * b * j * 0.1);
    glVertex3f(static_cast<float>(x_reach * std::sin(phi)),
               static_cast<float>(y_reach * std::cos(phi)), static_cast<float>(1.2 * c));
  }
  glEnd();
}

// --- fan ---

constexpr int fan_steps = 30;

// Every step turns and moves the chain; a blade follows every step but the last.
void draw_fan_arm(int arm, double t, int8_t tilt) {
  glLoadIdentity();
  rotate(arm * 360 * 0.5 + t / 10, 0.0f, 0.0f, 1.0f);
  rotate(tilt * 45, 1.0f, 0.0f, 0.0f);
  for (int step = 0; step < fan_steps; ++step) {
    rotate(550 * static_cast<double>(level()) + 40 * arm, 0.0f, 0.0f, 1.0f);
    glTranslatef(-0.15f, 0.0f, -0.01f);
    if (step == fan_steps - 1) break;
    draw_screen_quad(0.0f, -0.1f, 0.0f, -0.1f, static_cast<float>(0.5 * level() - 0.59));
  }
}

}  // namespace

void draw_text_ring(int32_t ms, uint8_t param) {
  const double t = ms;
  const int tilt = param & 15;
  glLoadIdentity();
  glTranslatef(0.0f, 0.28f, -2.0f);
  glRotatef(-30.0f, 0.0f, static_cast<float>(tilt + 1), static_cast<float>(tilt));
  rotate(-t / 20, 0.0f, 1.0f, 0.0f);
  for (int8_t glyph : message_glyphs) {
    draw_glyph(glyph);
    rotate(cell_degrees, 0.0f, 1.0f, 0.0f);
    glTranslatef(0.0f, glyph_height, 0.0f);
  }
}

void draw_ring_sphere(int32_t ms, uint8_t param) {
  const double t = ms;
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, static_cast<float>(static_cast<int8_t>(param) * 0.0625 - 4));
  rotate(t / 30, 0.0f, 0.0f, 1.0f);
  rotate(t / 81, 1.0f, 0.2f, 0.0f);
  glLineWidth(8.0f);
  const float fade_in = static_cast<float>(t / 3000);
  if (fade_in > 1) {
    glColor3f(0.26f, 0.10f, 0.11f);
  } else {
    glColor3f(static_cast<float>(0.26 * fade_in), static_cast<float>(0.10 * fade_in),
              static_cast<float>(0.11 * fade_in));
  }
  float y = -2.9f;
  for (int ring = 0; ring < 13; ++ring) {
    const float across = 9.0f - y * y;
    const float radius =
        static_cast<float>(std::sqrt(static_cast<double>(across)) + 0.3 * std::sin(t / 500 + y));
    glBegin(GL_LINE_STRIP);
    float theta = 0.0f;
    for (int vertex = 0; vertex < 65; ++vertex) {
      glVertex3f(static_cast<float>(radius * std::sin(static_cast<double>(theta))), y,
                 static_cast<float>(radius * std::cos(static_cast<double>(theta))));
      theta = static_cast<float>(theta + 0.1);
    }
    glEnd();
    y = static_cast<float>(y + 0.485);
  }
}

void draw_spirals(int32_t ms) {
  const double t = ms;
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -1.5f);
  rotate(-t / 10, 0.0f, 0.0f, 1.0f);
  glLineWidth(2.0f);
  for (int i = 0; 4 * level() > static_cast<float>(i); ++i) {
    glColor3f(static_cast<float>(0.5 + 0.05 * i), static_cast<float>(0.4 + 0.05 * i),
              static_cast<float>(0.4 + 0.05 * i));
    draw_spiral(t);
    glRotatef(33.0f, 1.0f, 1.0f, 1.0f);
  }
}

void draw_fan(int32_t ms, uint8_t param) {
  const double t = ms;
  const double l = level();
  glColor3f(static_cast<float>(0.24 * l + 0.08), static_cast<float>(0.26 * l + 0.06),
            static_cast<float>(0.25 * l + 0.05));
  for (int arm = 0; arm < 2; ++arm) draw_fan_arm(arm, t, static_cast<int8_t>(param));
}
