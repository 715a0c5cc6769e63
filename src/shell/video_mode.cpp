// Turns the command line into the video-mode flags; knows nothing of SDL beyond two bit values.
#include "shell/video_mode.h"

#include <cstring>

uint32_t choose_video_flags(int argc, const char* const* argv) {
  uint32_t flags = video_flag_opengl | video_flag_fullscreen;
  if (argc > 1 && std::strcmp(argv[1], "-w") == 0) flags = video_flag_opengl;

  // Adding the bit in wrap-around arithmetic flips it, so "kelvorinsaaw -w" goes full screen.
  const char* name = argc > 0 ? argv[0] : nullptr;
  const size_t name_length = name ? std::strlen(name) : 0;
  if (name_length > 0 && name[name_length - 1] == 'w') flags += video_flag_fullscreen;
  return flags;
}
