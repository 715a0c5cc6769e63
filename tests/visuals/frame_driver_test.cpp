// The frame driver: row clock, scene choice, pacing, brightness, frame set-up and the end.
#include "visuals_fixture.h"

using FrameDriver = VisualsTest;

TEST_F(FrameDriver, RowClockLagsTheMixerAndPicksTheLastStartedScene) {
  for (auto [frames, row] :
       {std::pair{INT32_MIN, 0}, {9387, 0}, {9388, 1}, {4096 + 1088 * 5292 - 1, 1087}}) {
    EXPECT_EQ(visual_row(frames), row) << frames;
  }
  const std::pair<int, int> row_scene[] = {{0, 0},    {55, 0},    {56, 1},    {783, 10},
                                           {784, 11}, {1055, 19}, {1056, 20}, {INT32_MAX, 20}};
  for (auto [row, scene] : row_scene) EXPECT_EQ(scene_for_row(row), scene) << row;
}

TEST_F(FrameDriver, DrawsAtMostOneFramePerNineMilliseconds) {
  for (int ms = 1; ms <= 8; ++ms) EXPECT_EQ(render_frame(ms), 0) << ms;
  EXPECT_EQ(frame_driver_last_frame_ms(), 0);
  EXPECT_TRUE(gl_calls.empty());
  EXPECT_EQ(render_frame(9), 1);
  EXPECT_EQ(render_frame(100), 1);
  for (int ms = 101; ms <= 108; ++ms) EXPECT_EQ(render_frame(ms), 0) << ms;
  EXPECT_EQ(frame_driver_last_frame_ms(), 100);
  EXPECT_EQ(render_frame(109), 1);
  EXPECT_EQ(render_frame(50), 0);  // a clock that steps back waits until it catches up
  EXPECT_EQ(count_calls("glClear"), 3);
}

TEST_F(FrameDriver, BrightnessStepsOnEveryCallAndSettlesAtTheTarget) {
  render_frame(0);  // declined, yet a step of 1% towards 0.95
  EXPECT_FLOAT_EQ(frame_driver_brightness(), 0.0095f);
  for (int i = 0; i < 5000; ++i) render_frame(0);
  // Stored as a float, the 1% step stalls a few millionths short of the target.
  EXPECT_NEAR(frame_driver_brightness(), 0.95f, 1e-5);
  show_row(768);  // scene 10 aims at 0.45
  for (int i = 0; i < 5000; ++i) render_frame(0);
  render_frame(9);
  const GlCall& fade_colour = gl_calls.at(find_call("glColor3f", find_call("glBlendFunc")));
  EXPECT_NEAR(fade_colour.args[0], 0.992 * 0.45, 1e-5);
}

TEST_F(FrameDriver, FrameStartsFromAFreshProjectionAndTheDiscTexture) {
  show_row(128);  // text ring and spirals
  ASSERT_EQ(render_frame(9), 1);
  expect_calls(0, {{"glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}},
                   {"glMatrixMode", {GL_PROJECTION}},
                   {"glLoadIdentity", {}},
                   {"glFrustum", {-0.01, 0.01, -0.0075, 0.0075, 0.01, 1135}},
                   {"glMatrixMode", {GL_MODELVIEW}},
                   {"glLoadIdentity", {}},
                   {"glBindTexture", {GL_TEXTURE_2D, 3}},
                   {"glEnable", {GL_TEXTURE_2D}},
                   {"glEnable", {GL_BLEND}}});
  // The text ring draws with the colour and blend function that the last glow pass left.
  const size_t text_end = find_call("glDisable");
  EXPECT_GT(text_end, find_call("glBegin"));
  EXPECT_GT(find_call("glColor3f"), text_end);
  EXPECT_GT(find_call("glBlendFunc"), text_end);
  expect_calls(text_end, {{"glDisable", {GL_BLEND}}, {"glDisable", {GL_TEXTURE_2D}}});

  gl_recorder_reset();
  show_row(1056);  // no layers: still cleared, and both passes run
  ASSERT_EQ(render_frame(18), 1);
  EXPECT_EQ(count_calls("glClear"), 1);
  EXPECT_EQ(count_calls("glBegin"), 21);
  EXPECT_EQ(count_calls("glCopyTexSubImage2D"), 2);
}

TEST_F(FrameDriver, OnlyASteepZoomFollowsTheAudio) {
  audio_level = 0.5f;
  const GlowParams steep = glow_params(SceneEntry{95, 11, 10, 0, 0, 0});
  EXPECT_FLOAT_EQ(steep.step, static_cast<float>(0.5 * 0.05 + 0.1f));
  EXPECT_FLOAT_EQ(steep.strength, 1.1f);
  EXPECT_FLOAT_EQ(glow_params(SceneEntry{95, 11, 9, 0, 0, 0}).step, 0.09f);
  show_row(960);  // scene 19: each glow copy moves by -0.05
  render_frame(9);
  EXPECT_FLOAT_EQ(calls_named("glTranslatef").back().args[2], -0.05f);
}

TEST_F(FrameDriver, ShowEndsAfterTheFirstFrameDrawnAtRow1088) {
  show_row(1087);
  EXPECT_EQ(render_frame(9), 1);
  EXPECT_EQ(quit_requested, 0);
  show_row(1088);
  EXPECT_EQ(render_frame(12), 0);  // declined calls never end the show
  EXPECT_EQ(quit_requested, 0);
  EXPECT_EQ(render_frame(18), 1);
  EXPECT_EQ(quit_requested, 1);
  quit_requested = 255;
  render_frame(27);
  EXPECT_EQ(quit_requested, 255);  // never wraps back to "keep running"
}
