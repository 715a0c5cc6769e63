// The screen quad and the two feedback passes.
#include "visuals/post_process.h"
#include "visuals_fixture.h"

using PostProcess = VisualsTest;

TEST_F(PostProcess, ScreenQuadMirrorsAButTakesTheLastXFromD) {
  draw_screen_quad(0.0f, -0.1f, 0.0f, -0.1f, -0.59f);  // a fan blade: first corner repeated
  ASSERT_EQ(gl_calls.size(), 10u);
  const float b = -0.1f, z = -0.59f, top = 0.9355f;
  expect_calls(0, {{"glBegin", {GL_POLYGON}},
                   {"glTexCoord2f", {0, 0}},
                   {"glVertex3f", {0, b, z}},
                   {"glTexCoord2f", {0.625, 0}},
                   {"glVertex3f", {0, b, z}},
                   {"glTexCoord2f", {0.625, top}},
                   {"glVertex3f", {0, 0, z}},
                   {"glTexCoord2f", {0, top}},
                   {"glVertex3f", {b, 0, z}},
                   {"glEnd", {}}});
}

TEST_F(PostProcess, FadeBlendsTheShrunkOldPictureAndKeepsTheResult) {
  fade_pass(0.5f);
  ASSERT_EQ(gl_calls.size(), 17u);
  expect_calls(0, {{"glBindTexture", {GL_TEXTURE_2D, 1}},
                   {"glLoadIdentity", {}},
                   {"glEnable", {GL_BLEND}},
                   {"glEnable", {GL_TEXTURE_2D}},
                   {"glBlendFunc", {GL_ONE_MINUS_DST_COLOR, GL_DST_COLOR}},
                   {"glColor3f", {float(0.992 * 0.5f), float(0.98 * 0.5f), float(0.94 * 0.5f)}}});
  EXPECT_EQ(gl_calls[8].args, (Args{-1, -0.75, -1.02f}));
  expect_calls(16, {{"glCopyTexSubImage2D", {GL_TEXTURE_2D, 0, 0, 0, 0, 0, 640, 480}}});
}

TEST_F(PostProcess, GlowCopiesFirstThenAddsTwentyReceding) {
  glow_pass(11.0f, -0.05f);
  expect_calls(0, {{"glBindTexture", {GL_TEXTURE_2D, 2}},
                   {"glCopyTexSubImage2D", {GL_TEXTURE_2D, 0, 0, 0, 0, 0, 640, 480}},
                   {"glBlendFunc", {GL_ONE, GL_ONE}},
                   {"glColor3f", {0.25f * 11.0f, float(0.2 * 11.0f), float(0.2 * 11.0f)}}});
  EXPECT_EQ(count_calls("glLoadIdentity"), 0);
  EXPECT_EQ(count_calls("glBegin"), 20);
  EXPECT_EQ(count_calls("glTranslatef"), 20);
  EXPECT_EQ(gl_calls.back().args, (Args{0, 0, -0.05f}));
  // Copy k lies at -0.99 + k s.
  const std::vector<GlCall> corners = calls_named("glVertex3f");
  EXPECT_NEAR(corners.front().eye[2], -0.99, 1e-6);
  EXPECT_NEAR(corners.back().eye[2], -0.99 - 19 * 0.05, 1e-5);
}
