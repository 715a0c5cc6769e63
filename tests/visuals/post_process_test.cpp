// The screen quad and the two feedback passes.
#include <GL/gl.h>

#include "visuals/post_process.h"
#include "visuals_fixture.h"

using PostProcess = VisualsTest;

TEST_F(PostProcess, ScreenQuadMirrorsAButTakesTheLastXFromD) {
  draw_screen_quad(0.0f, -0.1f, 0.0f, -0.1f, -0.59f);
  const std::vector<std::string> expected = {
      "glBegin",      "glTexCoord2f", "glVertex3f",   "glTexCoord2f", "glVertex3f",
      "glTexCoord2f", "glVertex3f",   "glTexCoord2f", "glVertex3f",   "glEnd"};
  ASSERT_EQ(call_names(), expected);
  EXPECT_EQ(gl_calls[0].args[0], GL_POLYGON);
  const float top = 0.9355f;
  EXPECT_EQ(gl_calls[1].args, (std::vector<double>{0, 0}));
  EXPECT_EQ(gl_calls[3].args, (std::vector<double>{0.625, 0}));
  EXPECT_EQ(gl_calls[5].args, (std::vector<double>{0.625, top}));
  EXPECT_EQ(gl_calls[7].args, (std::vector<double>{0, top}));
  // a = 0 and d = -0.1: a triangle with its first corner repeated
  const float z = -0.59f, b = -0.1f;
  EXPECT_EQ(gl_calls[2].args, (std::vector<double>{0, b, z}));
  EXPECT_EQ(gl_calls[4].args, (std::vector<double>{0, b, z}));
  EXPECT_EQ(gl_calls[6].args, (std::vector<double>{0, 0, z}));
  EXPECT_EQ(gl_calls[8].args, (std::vector<double>{b, 0, z}));

  gl_recorder_reset();
  draw_screen_quad(-1.0f, -0.75f, 0.75f, -1.0f, -0.99f);
  const std::vector<GlCall> corners = calls_named("glVertex3f");
  EXPECT_EQ(corners[1].args[0], 1.0);
  EXPECT_EQ(corners[2].args[0], 1.0);
  EXPECT_EQ(corners[2].args[1], 0.75);
  EXPECT_EQ(corners[3].args[0], -1.0);
}

TEST_F(PostProcess, FadeBlendsTheShrunkOldPictureAndKeepsTheResult) {
  fade_pass(0.5f);
  const std::vector<std::string> expected = {"glBindTexture", "glLoadIdentity", "glEnable",
                                             "glEnable",      "glBlendFunc",    "glColor3f"};
  const std::vector<std::string> names = call_names();
  ASSERT_EQ(names.size(), 17u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 6), expected);
  EXPECT_EQ(gl_calls[0].args[1], 1);
  EXPECT_EQ(gl_calls[2].args[0], GL_BLEND);
  EXPECT_EQ(gl_calls[3].args[0], GL_TEXTURE_2D);
  EXPECT_EQ(gl_calls[4].args, (std::vector<double>{GL_ONE_MINUS_DST_COLOR, GL_DST_COLOR}));
  EXPECT_EQ(gl_calls[5].args,
            (std::vector<double>{float(0.992 * 0.5f), float(0.98 * 0.5f), float(0.94 * 0.5f)}));
  EXPECT_EQ(gl_calls[8].args.at(2), -1.02f);
  EXPECT_EQ(names.back(), "glCopyTexSubImage2D");
  EXPECT_EQ(gl_calls.back().args, (std::vector<double>{GL_TEXTURE_2D, 0, 0, 0, 0, 0, 640, 480}));
}

TEST_F(PostProcess, GlowCopiesFirstThenAddsTwentyReceding) {
  glow_pass(11.0f, -0.05f);
  ASSERT_GE(gl_calls.size(), 4u);
  EXPECT_EQ(gl_calls[0].name, "glBindTexture");
  EXPECT_EQ(gl_calls[0].args[1], 2);
  EXPECT_EQ(gl_calls[1].name, "glCopyTexSubImage2D");
  EXPECT_EQ(gl_calls[1].args, (std::vector<double>{GL_TEXTURE_2D, 0, 0, 0, 0, 0, 640, 480}));
  EXPECT_EQ(gl_calls[2].args, (std::vector<double>{GL_ONE, GL_ONE}));
  EXPECT_EQ(gl_calls[3].args,
            (std::vector<double>{0.25f * 11.0f, float(0.2 * 11.0f), float(0.2 * 11.0f)}));
  EXPECT_EQ(count_calls("glLoadIdentity"), 0);
  EXPECT_EQ(count_calls("glBegin"), 20);
  const std::vector<GlCall> moves = calls_named("glTranslatef");
  ASSERT_EQ(moves.size(), 20u);
  for (const GlCall& move : moves) EXPECT_EQ(move.args, (std::vector<double>{0, 0, -0.05f}));
  // Copy k lies at -0.99 + k s: check the first and the last through the tracked matrix.
  const std::vector<GlCall> corners = calls_named("glVertex3f");
  EXPECT_NEAR(corners.front().eye[2], -0.99, 1e-6);
  EXPECT_NEAR(corners.back().eye[2], -0.99 - 19 * 0.05, 1e-5);
  EXPECT_EQ(gl_calls.back().name, "glTranslatef");
}
