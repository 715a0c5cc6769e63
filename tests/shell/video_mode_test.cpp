// The command line's choice between window and full screen.
#include "shell/video_mode.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t windowed = video_flag_opengl;
constexpr uint32_t fullscreen = video_flag_opengl | video_flag_fullscreen;

uint32_t flags_for(std::initializer_list<const char*> args) {
  std::vector<const char*> argv(args);
  return choose_video_flags(static_cast<int>(argv.size()), argv.data());
}

TEST(VideoMode, OnlyAnExactDashWAsFirstArgumentGivesAWindow) {
  EXPECT_EQ(flags_for({"kelvorinsaa"}), fullscreen);
  EXPECT_EQ(flags_for({"kelvorinsaa", "-w"}), windowed);
  EXPECT_EQ(flags_for({"kelvorinsaa", "-w", "extra"}), windowed);
  EXPECT_EQ(flags_for({"kelvorinsaa", "-W"}), fullscreen);
  EXPECT_EQ(flags_for({"kelvorinsaa", "-ww"}), fullscreen);
  EXPECT_EQ(flags_for({"kelvorinsaa", "--w"}), fullscreen);
  EXPECT_EQ(flags_for({"kelvorinsaa", "x", "-w"}), fullscreen);
}

TEST(VideoMode, ProgramNameEndingInLowerCaseWFlipsTheChoice) {
  EXPECT_EQ(flags_for({"./build/kelvorinsaaw"}), windowed);
  EXPECT_EQ(flags_for({"kelvorinsaaw", "-w"}), fullscreen);
  EXPECT_EQ(flags_for({"kelvorinsaaW"}), fullscreen);
  EXPECT_EQ(flags_for({"w"}), windowed);
}

TEST(VideoMode, EmptyOrMissingProgramNameChangesNothing) {
  EXPECT_EQ(flags_for({""}), fullscreen);
  EXPECT_EQ(flags_for({"", "-w"}), windowed);
  EXPECT_EQ(choose_video_flags(0, nullptr), fullscreen);
}

}  // namespace
