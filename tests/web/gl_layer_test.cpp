// The web's OpenGL layer without a browser: the WebGL end is replaced by a recorder, and the
// triangles it receives are checked against what OpenGL would draw. Also the clock the page
// shows the picture.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "shared/shared_values.h"
#include "visuals/frame_driver.h"
#include "visuals/post_process.h"
#include "visuals/textures.h"
#include "web/gl_backend.h"
#include "web/gl_layer.h"
#include "web/gl_matrix.h"
#include "web/heard_clock.h"

namespace {

struct Draw {
  std::vector<float> vertices;
  uint32_t texture;
  int32_t blend_source, blend_destination;
};

std::vector<Draw> draws;
std::vector<std::string> calls;  // every backend call in order

struct Window {
  float x, y;
};

// Vertex i of a draw in window pixels.
Window window_of(const Draw& draw, int i) {
  const float* v = &draw.vertices[i * gl_vertex_floats];
  return {(v[0] / v[3] + 1) * 320, (v[1] / v[3] + 1) * 240};
}

class GlLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    gl_layer_reset();
    draws.clear();
    calls.clear();
    glMatrixMode(GL_PROJECTION);
    glFrustum(-0.01, 0.01, -0.0075, 0.0075, 0.01, 1135);  // the show's projection
    glMatrixMode(GL_MODELVIEW);
  }
};

void line(float x0, float y0, float x1, float y1, float z) {
  glBegin(GL_LINE_STRIP);
  glVertex3f(x0, y0, z);
  glVertex3f(x1, y1, z);
  glEnd();
  gl_layer_flush();
}

}  // namespace

extern "C" {
void webgl_draw_triangles(const float* vertices, int32_t count, uint32_t texture, int32_t source,
                          int32_t destination) {
  draws.push_back({std::vector<float>(vertices, vertices + count * gl_vertex_floats), texture,
                   source, destination});
  calls.push_back("draw");
}
void webgl_clear() {
  calls.push_back("clear");
}
void webgl_texture_image(uint32_t texture, int32_t width, int32_t height, const uint8_t*) {
  calls.push_back("image " + std::to_string(texture) + " " + std::to_string(width) + "x" +
                  std::to_string(height));
}
void webgl_texture_parameter(uint32_t texture, int32_t, int32_t) {
  calls.push_back("parameter " + std::to_string(texture));
}
void webgl_copy_to_texture(uint32_t texture, int32_t, int32_t, int32_t, int32_t, int32_t width,
                           int32_t height) {
  calls.push_back("copy " + std::to_string(texture) + " " + std::to_string(width) + "x" +
                  std::to_string(height));
}
}

TEST_F(GlLayer, ScreenQuadAtUnitDepthFillsThePictureAsATextureModulatedFan) {
  glBindTexture(GL_TEXTURE_2D, 1);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_DST_COLOR);
  glColor3f(0.5f, 2.75f, -1.0f);  // clamped as OpenGL clamps vertex colours
  draw_screen_quad(-1, -0.75f, 0.75f, -1, -1);
  gl_layer_flush();
  ASSERT_EQ(draws.size(), 1u);
  const Draw& draw = draws[0];
  EXPECT_EQ(draw.texture, 1u);
  EXPECT_EQ(draw.blend_source, GL_ONE_MINUS_DST_COLOR);
  EXPECT_EQ(draw.blend_destination, GL_DST_COLOR);
  ASSERT_EQ(draw.vertices.size(), 6u * gl_vertex_floats);  // two triangles from the first corner
  const Window corners[6] = {{0, 0}, {640, 0}, {640, 480}, {0, 0}, {640, 480}, {0, 480}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_NEAR(window_of(draw, i).x, corners[i].x, 1e-3) << i;
    EXPECT_NEAR(window_of(draw, i).y, corners[i].y, 1e-3) << i;
    EXPECT_FLOAT_EQ(draw.vertices[i * gl_vertex_floats + 4], 0.5f);
    EXPECT_FLOAT_EQ(draw.vertices[i * gl_vertex_floats + 5], 1.0f);
    EXPECT_FLOAT_EQ(draw.vertices[i * gl_vertex_floats + 6], 0.0f);
  }
  EXPECT_FLOAT_EQ(draw.vertices[2 * gl_vertex_floats + 7], 0.625f);  // texture corner (s, t)
  EXPECT_FLOAT_EQ(draw.vertices[2 * gl_vertex_floats + 8], 0.9355f);
}

TEST_F(GlLayer, SameStateGathersIntoOneDrawAndAnyChangeOrCopyEndsIt) {
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  draw_screen_quad(0, -0.1f, 0, -0.1f, -1);  // a fan blade: a triangle with a repeated corner
  draw_screen_quad(0, -0.1f, 0, -0.1f, -1);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  draw_screen_quad(-1, -0.75f, 0.75f, -1, -1);
  glBindTexture(GL_TEXTURE_2D, 2);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, 640, 480);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  EXPECT_EQ(calls, (std::vector<std::string>{"draw", "draw", "copy 2 640x480", "clear"}));
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].vertices.size(), 12u * gl_vertex_floats);
  EXPECT_EQ(draws[0].texture, 0u);
  EXPECT_EQ(draws[0].blend_source, gl_blend_off);
  EXPECT_EQ(draws[1].blend_source, GL_ONE);
}

TEST_F(GlLayer, WideLinesAreParallelogramsWidenedAcrossTheirMainDirection) {
  glLineWidth(8);
  line(-0.5f, 0, 0.5f, 0.1f, -1);  // mostly across: widened up and down
  ASSERT_EQ(draws.size(), 1u);
  ASSERT_EQ(draws[0].vertices.size(), 6u * gl_vertex_floats);
  EXPECT_NEAR(window_of(draws[0], 0).x, 160, 1e-3);
  EXPECT_NEAR(window_of(draws[0], 0).y, 236, 1e-3);
  EXPECT_NEAR(window_of(draws[0], 5).x, 160, 1e-3);
  EXPECT_NEAR(window_of(draws[0], 5).y, 244, 1e-3);
  glLineWidth(2);
  line(0, -0.5f, 0.1f, 0.5f, -1);  // mostly up: widened sideways
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_NEAR(window_of(draws[1], 0).x, 319, 1e-3);
  EXPECT_NEAR(window_of(draws[1], 5).x, 321, 1e-3);
  EXPECT_NEAR(window_of(draws[1], 0).y, 80, 1e-3);
}

TEST_F(GlLayer, LinesAreCutAtTheNearPlaneAndDroppedBehindTheEye) {
  glLineWidth(8);
  line(0.5f, 0, 0.5f, 0, 1);  // wholly behind the eye
  line(0, 0, 0, 0, 0);        // on the eye
  EXPECT_TRUE(draws.empty());
  line(0.5f, 0.2f, 0.5f, 0.2f, -2);  // no length: a square of the line's width
  line(0.1f, 0, 0.1f, 0, -5);
  glBegin(GL_LINE_STRIP);  // from in front of the eye to behind it
  glVertex3f(0.1f, 0.1f, -1);
  glVertex3f(0.1f, 0.1f, 1);
  glEnd();
  gl_layer_flush();
  ASSERT_EQ(draws.size(), 3u);
  for (const Draw& draw : draws) {
    ASSERT_EQ(draw.vertices.size(), 6u * gl_vertex_floats);
    for (float value : draw.vertices) EXPECT_TRUE(std::isfinite(value));
  }
  // The cut end lies on the near plane, where x = 0.1 is 10 times the half-width of the view.
  EXPECT_GT(std::fabs(window_of(draws[2], 1).x), 3000);
}

TEST_F(GlLayer, MatricesActInOpenGLOrder) {
  glTranslatef(0, 0, -2);
  glRotatef(90, 0, 0, 3);  // about z: x turns into y; the axis need not be a unit vector
  glBegin(GL_POLYGON);
  glVertex3f(1, 0, 0);
  glVertex3f(1, 0, 0);
  glVertex3f(1, 0, 0);
  glEnd();
  gl_layer_flush();
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_NEAR(window_of(draws[0], 0).x, 320, 1e-3);
  EXPECT_NEAR(window_of(draws[0], 0).y, 240 + 240 / 0.75f / 2, 1e-3);
  const Matrix turned = rotation_matrix(30, 0, 1, 0);
  const Vec4 v = transform(turned, {0, 0, 1, 1});
  EXPECT_NEAR(v.x, 0.5f, 1e-6);
  EXPECT_NEAR(v.z, std::sqrt(0.75f), 1e-6);
}

TEST_F(GlLayer, AWholeFrameOfTheShowDrawsAndCopiesBothFeedbackTextures) {
  textures_init();
  EXPECT_EQ(calls[0], "parameter 1");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "image 3 1024x512"), 2);
  calls.clear();
  frames_mixed.store(4096 + 5292 * 170, std::memory_order_relaxed);  // text ring and spirals
  audio_level.store(0.8f, std::memory_order_relaxed);
  frame_driver_reset();
  ASSERT_EQ(render_frame(20), 1);
  gl_layer_flush();
  EXPECT_EQ(calls.front(), "clear");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "copy 1 640x480"), 1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "copy 2 640x480"), 1);
  size_t triangles = 0;
  for (const Draw& draw : draws) triangles += draw.vertices.size() / (3 * gl_vertex_floats);
  // 22 lit dots of "Kelvorinsaa" and more, four spirals of 99 segments, 21 screen quads
  EXPECT_GT(triangles, 4u * 99 * 2 + 21 * 2);
  EXPECT_EQ(draws.back().blend_source, GL_ONE);  // the glow is added
  EXPECT_EQ(draws.back().texture, 2u);
}

TEST(HeardClock, ShowsTheValuesTheCallbackSetWhenTheHeardSoundWasThatFarBehind) {
  heard_clock_reset();
  EXPECT_EQ(heard_clock_shown(-5000).frames, 0);  // nothing mixed yet
  for (int b = 1; b <= 100; ++b) heard_clock_mixed(b / 1000.0f);
  const ShownClock at_start = heard_clock_shown(0);  // the mixer is the picture's lag ahead
  EXPECT_EQ(at_start.frames, 4096);
  EXPECT_FLOAT_EQ(at_start.level, 0.004f);
  const ShownClock later = heard_clock_shown(20000.5);
  EXPECT_EQ(later.frames, (20000 + 4096) / 1024 * 1024);
  EXPECT_FLOAT_EQ(later.level, (20000 + 4096) / 1024 / 1000.0f);
  EXPECT_EQ(heard_clock_shown(10000).frames, later.frames);  // never back
  EXPECT_EQ(heard_clock_shown(1e9).frames, 100 * 1024);      // never past the mixer
}
