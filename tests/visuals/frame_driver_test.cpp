// The frame driver: row clock, scene choice, pacing, brightness, frame set-up and the end.
#include <GL/gl.h>

#include "visuals_fixture.h"

using FrameDriver = VisualsTest;

TEST_F(FrameDriver, RowClockLagsTheMixerAndNeverGoesNegative) {
  EXPECT_EQ(visual_row(0), 0);
  EXPECT_EQ(visual_row(-1000000), 0);
  EXPECT_EQ(visual_row(INT32_MIN), 0);
  EXPECT_EQ(visual_row(9387), 0);
  EXPECT_EQ(visual_row(9388), 1);
  EXPECT_EQ(visual_row(4096 + 1088 * 5292), 1088);
  EXPECT_EQ(visual_row(4096 + 1088 * 5292 - 1), 1087);
}

TEST_F(FrameDriver, SceneIsTheLastEntryStartedByTheRow) {
  EXPECT_EQ(scene_for_row(0), 0);
  EXPECT_EQ(scene_for_row(55), 0);
  EXPECT_EQ(scene_for_row(56), 1);
  EXPECT_EQ(scene_for_row(783), 10);
  EXPECT_EQ(scene_for_row(784), 11);
  EXPECT_EQ(scene_for_row(1055), 19);
  EXPECT_EQ(scene_for_row(1056), 20);
  EXPECT_EQ(scene_for_row(INT32_MAX), 20);
  for (int i = 1; i < scene_count; ++i) EXPECT_LT(scene_table[i - 1].start, scene_table[i].start);
  EXPECT_EQ(static_cast<int8_t>(scene_table[19].param), -32);
}

TEST_F(FrameDriver, DrawsAtMostOneFramePerNineMilliseconds) {
  for (int ms = 1; ms <= 8; ++ms) EXPECT_EQ(render_frame(ms), 0) << ms;
  EXPECT_EQ(frame_driver_last_frame_ms(), 0);
  EXPECT_TRUE(gl_calls.empty());
  EXPECT_EQ(render_frame(9), 1);
  EXPECT_EQ(render_frame(100), 1);
  gl_recorder_reset();
  for (int ms = 101; ms <= 108; ++ms) EXPECT_EQ(render_frame(ms), 0) << ms;
  EXPECT_TRUE(gl_calls.empty());
  EXPECT_EQ(frame_driver_last_frame_ms(), 100);
  EXPECT_EQ(render_frame(109), 1);
  EXPECT_EQ(frame_driver_last_frame_ms(), 109);
  EXPECT_EQ(render_frame(50), 0);  // a clock that steps back waits until it catches up
}

TEST_F(FrameDriver, BrightnessStepsOnEveryCallAndSettlesAtTheTarget) {
  render_frame(0);  // declined, yet a step of 1% towards 0.95
  EXPECT_FLOAT_EQ(frame_driver_brightness(), 0.0095f);
  render_frame(0);
  EXPECT_FLOAT_EQ(frame_driver_brightness(), static_cast<float>(0.0095 + 0.0095f * 0.99));
  for (int i = 0; i < 5000; ++i) render_frame(0);
  // Stored as a float, the 1% step stalls a few millionths short of the target.
  EXPECT_NEAR(frame_driver_brightness(), 0.95f, 1e-5);
  show_row(768);  // scene 10 aims at 0.45
  for (int i = 0; i < 5000; ++i) render_frame(0);
  EXPECT_NEAR(frame_driver_brightness(), 0.45f, 1e-5);
  render_frame(9);
  const size_t fade = find_call("glBindTexture", find_call("glDisable"));
  ASSERT_EQ(gl_calls[fade].args[1], 1);
  const GlCall fade_colour = gl_calls.at(find_call("glColor3f", fade));
  EXPECT_NEAR(fade_colour.args[0], 0.992 * 0.45, 1e-5);
  EXPECT_NEAR(fade_colour.args[2], 0.94 * 0.45, 1e-5);
}

TEST_F(FrameDriver, FrameStartsFromAFreshProjectionAndTheDiscTexture) {
  show_row(128);  // text ring and spirals
  audio_level = 0.1f;
  ASSERT_EQ(render_frame(9), 1);
  const std::vector<std::string> expected = {"glClear",       "glMatrixMode", "glLoadIdentity",
                                             "glFrustum",     "glMatrixMode", "glLoadIdentity",
                                             "glBindTexture", "glEnable",     "glEnable"};
  const std::vector<std::string> names = call_names();
  ASSERT_GT(names.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 9), expected);
  EXPECT_EQ(gl_calls[0].args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  EXPECT_EQ(gl_calls[1].args[0], GL_PROJECTION);
  EXPECT_EQ(gl_calls[3].args, (std::vector<double>{-0.01, 0.01, -0.0075, 0.0075, 0.01, 1135}));
  EXPECT_EQ(gl_calls[4].args[0], GL_MODELVIEW);
  EXPECT_EQ(gl_calls[6].args, (std::vector<double>{GL_TEXTURE_2D, 3}));
  EXPECT_EQ(gl_calls[7].args[0], GL_TEXTURE_2D);
  EXPECT_EQ(gl_calls[8].args[0], GL_BLEND);

  // The text ring draws with the colour and blend function the last glow pass left.
  size_t i = 9;
  for (; gl_calls[i].name != "glDisable"; ++i) {
    EXPECT_NE(gl_calls[i].name, "glColor3f");
    EXPECT_NE(gl_calls[i].name, "glBlendFunc");
  }
  EXPECT_EQ(gl_calls[i].args[0], GL_BLEND);
  EXPECT_EQ(gl_calls[i + 1].args[0], GL_TEXTURE_2D);
  EXPECT_GT(count_calls("glBegin"), 21);
}

TEST_F(FrameDriver, EmptySceneStillClearsAndRunsBothPasses) {
  show_row(1056);
  ASSERT_EQ(render_frame(9), 1);
  EXPECT_EQ(count_calls("glClear"), 1);
  EXPECT_EQ(count_calls("glBegin"), 21);
  EXPECT_EQ(count_calls("glCopyTexSubImage2D"), 2);
  EXPECT_EQ(count_calls("glLineWidth"), 0);
}

TEST_F(FrameDriver, OnlyASteepZoomFollowsTheAudio) {
  audio_level = 0.5f;
  const GlowParams steep = glow_params(SceneEntry{95, 11, 10, 0, 0, 0});
  EXPECT_FLOAT_EQ(steep.step, static_cast<float>(0.5 * 0.05 + 0.1f));
  EXPECT_FLOAT_EQ(steep.strength, 1.1f);
  EXPECT_FLOAT_EQ(glow_params(SceneEntry{95, 11, 9, 0, 0, 0}).step, 0.09f);
  EXPECT_FLOAT_EQ(glow_params(SceneEntry{95, 110, -5, 0, 0, 0}).step, -0.05f);
  EXPECT_FLOAT_EQ(glow_params(SceneEntry{95, 110, -5, 0, 0, 0}).strength, 11.0f);

  show_row(960);  // scene 19: the glow pass moves each copy by -0.05
  render_frame(9);
  const std::vector<GlCall> moves = calls_named("glTranslatef");
  ASSERT_GE(moves.size(), 20u);
  EXPECT_FLOAT_EQ(moves.back().args[2], -0.05f);
}

TEST_F(FrameDriver, ShowEndsAfterTheFirstFrameDrawnAtRow1088) {
  show_row(1087);
  EXPECT_EQ(render_frame(9), 1);
  EXPECT_EQ(quit_requested, 0);
  show_row(1088);
  EXPECT_EQ(render_frame(12), 0);  // declined frames never end the show
  EXPECT_EQ(quit_requested, 0);
  EXPECT_EQ(render_frame(18), 1);
  EXPECT_EQ(quit_requested, 1);
  quit_requested = 1;  // a key pressed in the same pass
  render_frame(27);
  EXPECT_EQ(quit_requested, 2);
}
