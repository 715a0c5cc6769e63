// The screen quad and the two feedback passes.
#include <GL/gl.h>

#include "visuals/post_process.h"
#include "visuals_fixture.h"

using PostProcess = VisualsTest;
using Args = std::vector<double>;

TEST_F(PostProcess, ScreenQuadMirrorsAButTakesTheLastXFromD) {
  draw_screen_quad(0.0f, -0.1f, 0.0f, -0.1f, -0.59f);  // a fan blade: first corner repeated
  ASSERT_EQ(gl_calls.size(), 10u);
  EXPECT_EQ(gl_calls[0].args[0], GL_POLYGON);
  EXPECT_EQ(gl_calls.back().name, "glEnd");
  const float b = -0.1f, z = -0.59f, top = 0.9355f;
  const Args expected[] = {{0, 0},       {0, b, z}, {0.625, 0}, {0, b, z},
                           {0.625, top}, {0, 0, z}, {0, top},   {b, 0, z}};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(gl_calls[i + 1].args, expected[i]) << i;
  EXPECT_EQ(gl_calls[1].name, "glTexCoord2f");
}

TEST_F(PostProcess, FadeBlendsTheShrunkOldPictureAndKeepsTheResult) {
  fade_pass(0.5f);
  const std::vector<std::string> names = call_names();
  ASSERT_EQ(names.size(), 17u);
  EXPECT_EQ(names[1], "glLoadIdentity");
  EXPECT_EQ(gl_calls[0].args, (Args{GL_TEXTURE_2D, 1}));
  EXPECT_EQ(gl_calls[2].args[0], GL_BLEND);
  EXPECT_EQ(gl_calls[3].args[0], GL_TEXTURE_2D);
  EXPECT_EQ(gl_calls[4].args, (Args{GL_ONE_MINUS_DST_COLOR, GL_DST_COLOR}));
  EXPECT_EQ(gl_calls[5].args, (Args{float(0.992 * 0.5f), float(0.98 * 0.5f), float(0.94 * 0.5f)}));
  EXPECT_EQ(gl_calls[8].args, (Args{-1, -0.75, -1.02f}));
  EXPECT_EQ(gl_calls.back().args, (Args{GL_TEXTURE_2D, 0, 0, 0, 0, 0, 640, 480}));
}

TEST_F(PostProcess, GlowCopiesFirstThenAddsTwentyReceding) {
  glow_pass(11.0f, -0.05f);
  EXPECT_EQ(gl_calls[0].args, (Args{GL_TEXTURE_2D, 2}));
  EXPECT_EQ(gl_calls[1].args, (Args{GL_TEXTURE_2D, 0, 0, 0, 0, 0, 640, 480}));
  EXPECT_EQ(gl_calls[2].args, (Args{GL_ONE, GL_ONE}));
  EXPECT_EQ(gl_calls[3].args, (Args{0.25f * 11.0f, float(0.2 * 11.0f), float(0.2 * 11.0f)}));
  EXPECT_EQ(count_calls("glLoadIdentity"), 0);
  EXPECT_EQ(count_calls("glBegin"), 20);
  EXPECT_EQ(count_calls("glTranslatef"), 20);
  EXPECT_EQ(gl_calls.back().args, (Args{0, 0, -0.05f}));
  // Copy k lies at -0.99 + k s.
  const std::vector<GlCall> corners = calls_named("glVertex3f");
  EXPECT_NEAR(corners.front().eye[2], -0.99, 1e-6);
  EXPECT_NEAR(corners.back().eye[2], -0.99 - 19 * 0.05, 1e-5);
}
