// The show's command line: full screen by default, a window with "-w", and the opposite choice
// for a program whose name ends in "w".
#pragma once

#include <cstdint>

constexpr uint32_t video_flag_opengl = 0x00000002;      // SDL_OPENGL
constexpr uint32_t video_flag_fullscreen = 0x80000000;  // SDL_FULLSCREEN

// Returns the SDL_SetVideoMode flags for this command line.
uint32_t choose_video_flags(int argc, const char* const* argv);
