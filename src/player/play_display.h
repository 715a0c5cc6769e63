// What the player's display shows, as lines of text, and the keys the player knows: the terminal
// player draws the lines and decodes its keys, a page shows the same facts its own way. Main
// thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Keys the player knows; anything else is ignored.
enum class Key {
  none,
  pause,
  back_bar,
  forward_bar,
  back_long,
  forward_long,
  reload,
  quit,
  solo,
  digit
};

struct KeyPress {
  Key key = Key::none;
  int32_t digit = 0;  // for Key::digit
};

struct DisplayFacts {
  std::string song, state, message;
  std::vector<std::string> warnings;
  double seconds = 0.0;
  int64_t row = 0, end_row = 0;
  int32_t last_channel = 0;
  uint32_t muted = 0, soloed = 0, mute_mask = 0;
  double peak_dbfs = 0.0;
  int64_t clipped = 0;
  double load = 0.0, worst_load = 0.0;  // shares of the buffer's time
};

// The lines of the display, each at most 80 columns.
std::vector<std::string> display_lines(const DisplayFacts& facts);
