// The player's terminal: raw key input with the settings put back on every exit, and the status
// display redrawn in place. Main thread.
#pragma once

#include <sys/types.h>

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

// Reads what standard input holds (a terminal in raw mode, or a pipe) without waiting longer
// than timeout_ms; false at the end of the input.
bool read_keys(int timeout_ms, std::vector<KeyPress>& keys);

// The keys in count bytes of terminal input: arrows are escape sequences, Escape alone quits.
void decode_keys(const unsigned char* bytes, ssize_t count, std::vector<KeyPress>& keys);

// Raw, unechoed terminal input and a hidden cursor, restored on every way out: terminal_restore
// at the end and at exit; SIGINT, SIGTERM and SIGHUP ask the player to end (stop_requested);
// SIGSEGV, SIGFPE, SIGABRT, SIGBUS and SIGILL restore the terminal, then end it as they would;
// Ctrl-Z (SIGTSTP) gives the terminal back while the player is stopped and takes it again after.
void terminal_take();
void terminal_restore();
bool stop_requested();     // a signal asked the player to end
int stop_signal_number();  // which one, 0 for none

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

// Draws the lines over the previous drawing.
void display_draw(const std::vector<std::string>& lines);
