// The sequencer's state read back in the song language's words. Only reads the tables and the
// channel state; used by the tools' traces and displays.
#include "music/song_view.h"

#include <cstdio>

#include "music/mixer.h"
#include "music/song_model.h"

namespace {

// The row tick leaves row_in_pattern on the dispatched code, or on the argument of a "vol" or
// "sld": walking the pattern from its start tells which.
int32_t event_row(const std::array<int32_t, pattern_width>& entries, int32_t row) {
  int32_t at = 0;
  while (at < row) {
    const bool takes_argument = entries[at] == code_volume || entries[at] == code_slide;
    const int32_t next = at + (takes_argument ? 2 : 1);
    if (next > row) return at;  // row holds at's argument
    at = next;
  }
  return at;
}

}  // namespace

ChannelView channel_view(int32_t k) {
  ChannelView view;
  if (k < 1 || k >= channel_count) return view;
  view.finished = track_pos[k] == track_finished;
  view.entry = track_pos[k];
  if (view.entry < 0 || view.entry >= track_width) return view;
  view.pattern = tracks[k][view.entry];
  const int32_t row = row_in_pattern[k];
  if (view.pattern < 0 || view.pattern >= pattern_count || row < 0 || row >= pattern_width) {
    return view;
  }
  const auto& entries = patterns[view.pattern];
  const int32_t at = event_row(entries, row);
  view.has_event = true;
  view.event = entries[at];
  if ((view.event == code_volume || view.event == code_slide) && at + 1 < pattern_width) {
    view.argument = entries[at + 1];
  }
  // Rows as the author counts them: an argument shares its event's row.
  view.row = 0;
  for (int32_t i = 0; i < at; i += entries[i] == code_volume || entries[i] == code_slide ? 2 : 1) {
    ++view.row;
  }
  return view;
}

const char* event_word(int32_t code) {
  if (code == 0) return "";
  for (const NoteName& note : note_table) {
    if (note.value == code) return note.name;
  }
  return "";
}

char* event_text(const ChannelView& view, char* out, size_t size) {
  if (!view.has_event) {
    std::snprintf(out, size, "-");
  } else if (view.event == 0) {
    std::snprintf(out, size, ".");
  } else if (view.event == code_volume || view.event == code_slide) {
    std::snprintf(out, size, "%s=%d", event_word(view.event), view.argument);
  } else if (event_word(view.event)[0] != '\0') {
    std::snprintf(out, size, "%s", event_word(view.event));
  } else {
    std::snprintf(out, size, "#%d", view.event);
  }
  return out;
}
