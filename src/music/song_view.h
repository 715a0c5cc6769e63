// What a channel of the sequencer is doing, in the song language's words: track entry, pattern,
// row and the event its last row tick dispatched. Read on the thread that mixes (a row tick hook)
// or while nothing mixes.
//
// Usage:
//   const ChannelView view = channel_view(3);
//   char word[16]; event_text(view, word, sizeof word);  // "g3", "echo1", "vol=50", "." ...
#pragma once

#include <cstddef>
#include <cstdint>

struct ChannelView {
  bool finished = false;   // the track ended; nothing more is dispatched
  bool has_event = false;  // the last tick dispatched an entry (a rest included)
  int32_t entry = -1;      // index in the track, -1 before the first tick
  int32_t pattern = -1;
  int32_t row = 0;       // row of the pattern, an argument's row counting as its event's
  int32_t event = 0;     // the code dispatched: a note's hertz, a keyword's code, 0 for a rest
  int32_t argument = 0;  // of "vol" and "sld"
};

ChannelView channel_view(int32_t k);

// The name of a note ("C4") or a keyword ("echo1"), "" for anything else.
const char* event_word(int32_t code);

// A view's event as the trace and the player show it: "g3", "stop", "vol=50", "." for a rest,
// "-" when nothing was dispatched. Returns out.
char* event_text(const ChannelView& view, char* out, size_t size);
