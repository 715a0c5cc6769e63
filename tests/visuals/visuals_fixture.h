// Common set-up for the visuals tests: a fresh recorder, driver state and shared values.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "gl_recorder.h"
#include "shared/shared_values.h"
#include "visuals/frame_driver.h"

using Args = std::vector<double>;
using Call = std::pair<std::string, Args>;

class VisualsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gl_recorder_reset();
    frame_driver_reset();
    frames_mixed = 0;
    audio_level = 0.0f;
    quit_requested = 0;
  }
  // Index of the first call named name at or after from; gl_calls.size() if there is none.
  static size_t find_call(const std::string& name, size_t from = 0) {
    while (from < gl_calls.size() && gl_calls[from].name != name) ++from;
    return from;
  }
  // The recorded calls from index from on begin with expected, names and arguments alike.
  static void expect_calls(size_t from, const std::vector<Call>& expected) {
    ASSERT_LE(from + expected.size(), gl_calls.size());
    for (size_t i = from; i < from + expected.size(); ++i)
      EXPECT_EQ(Call(gl_calls[i].name, gl_calls[i].args), expected[i - from]) << "call " << i;
  }
  static void show_row(int32_t row) { frames_mixed = visual_lag_frames + show_row_frames * row; }
};
