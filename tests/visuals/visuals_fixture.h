// Common set-up for the visuals tests: a fresh recorder, driver state and shared values.
#pragma once

#include <gtest/gtest.h>

#include "gl_recorder.h"
#include "shared/shared_values.h"
#include "visuals/frame_driver.h"

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
  static void show_row(int32_t row) { frames_mixed = visual_lag_frames + show_row_frames * row; }
};
