// The show's 640x480 OpenGL window for the tools that draw (the capture, the frame timer), under
// an X display only: SDL 1.2 would otherwise fall back to drivers that take over the console.
// Main thread. Header only, for the programs that link SDL.
#pragma once

#include <SDL.h>

#include <cstdlib>
#include <string>

#include "shared/show_constants.h"

// "" once the window is open, or one line on why not (SDL_Quit is then the caller's).
inline std::string open_x_window(const char* caption) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0')
    return "no X display: DISPLAY is not set (start one, such as Xvfb :1 & DISPLAY=:1)";
  setenv("SDL_VIDEODRIVER", "x11", 0);
  if (SDL_Init(SDL_INIT_VIDEO) < 0)
    return std::string("cannot open the X display ") + display + ": " + SDL_GetError();
  constexpr int window_depth = 32;
  if (!SDL_SetVideoMode(picture_width, picture_height, window_depth, SDL_OPENGL))
    return std::string("cannot open a 640x480 OpenGL window on ") + display + ": " + SDL_GetError();
  SDL_WM_SetCaption(caption, nullptr);
  return "";
}
