// The player's terminal: raw key input with the settings put back on every exit, and the status
// display redrawn in place. Main thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "play_display.h"

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

// Draws the lines over the previous drawing.
void display_draw(const std::vector<std::string>& lines);
