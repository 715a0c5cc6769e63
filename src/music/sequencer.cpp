// The row tick: moves every channel of the walk one row on through its track and patterns and
// applies the events it meets. Audio thread, called by the mixer at every multiple of a row.
//
// Songs that break the table rules are played without leaving the tables: an entry that is not
// a pattern number finishes the track, a row past the last entry counts as the end marker, and
// an empty pattern takes one silent row.
#include "music/sequencer.h"

#include "music/mixer.h"
#include "music/song_model.h"

namespace {

bool is_pattern_number(int32_t value) {
  return value >= 0 && value < pattern_count;
}

// Moves onto the argument of "vol" or "sld"; false when the pattern has no room for one.
bool take_argument(int32_t k, int32_t p, int32_t& argument) {
  if (row_in_pattern[k] + 1 >= pattern_width) return false;
  argument = patterns[p][++row_in_pattern[k]];
  return true;
}

void dispatch(int32_t k, int32_t p) {
  const int32_t code = patterns[p][row_in_pattern[k]];
  int32_t argument = 0;
  switch (code) {
    case 0:
      return;
    case code_echo_on:
      echo_on[k] = 1;
      return;
    case code_echo_off:
      echo_on[k] = 0;
      return;
    case code_stop:
      position[k] = -1.0f;
      return;
    case code_volume:
      if (take_argument(k, p, argument)) volume[k] = static_cast<float>(argument / 100.0);
      return;
    case code_slide:
      if (take_argument(k, p, argument)) slide[k] = static_cast<float>(argument / 100000.0);
      return;
    default:
      rate[k] = static_cast<float>(code) / static_cast<float>(base_pitch_hz);
      position[k] = 0.0f;
  }
}

// An empty pattern is never dispatched: row -1 makes the next tick meet its end marker.
void enter_pattern(int32_t k, int32_t entry) {
  const int32_t p = tracks[k][entry];
  track_pos[k] = entry;
  row_in_pattern[k] = 0;
  if (patterns[p][0] == end_marker) {
    row_in_pattern[k] = -1;
    return;
  }
  dispatch(k, p);
}

void enter_next_entry(int32_t k) {
  const int32_t next = track_pos[k] < 0 ? 0 : track_pos[k] + 1;
  const int32_t entry = next < track_width ? tracks[k][next] : end_marker;
  if (entry == loop_marker && is_pattern_number(tracks[k][0])) {
    enter_pattern(k, 0);
  } else if (is_pattern_number(entry)) {
    enter_pattern(k, next);
  } else {
    track_pos[k] = track_finished;
    row_in_pattern[k] = 0;
  }
}

void tick_channel(int32_t k) {
  if (track_pos[k] == track_finished) return;
  const int32_t row = ++row_in_pattern[k];
  const int32_t entry = track_pos[k];
  if (entry >= 0 && entry < track_width) {
    const int32_t p = tracks[k][entry];
    if (is_pattern_number(p) && row >= 0 && row < pattern_width && patterns[p][row] != end_marker) {
      dispatch(k, p);
      return;
    }
  }
  enter_next_entry(k);
}

}  // namespace

int32_t walk_end() {
  if (tracks[1][0] == end_marker) return 0;
  int32_t last = 1;
  while (last + 1 < track_count && tracks[last + 1][0] != end_marker) ++last;
  return last;
}

RowTickHook row_tick_hook = nullptr;

#if !defined(KELVORINSAA_PARTY)
void row_tick_channel(int32_t k) {
  if (k >= 1 && k < track_count) tick_channel(k);
}
#endif

void row_tick(int32_t last_channel) {
  for (int32_t k = 1; k <= last_channel; ++k) tick_channel(k);
  if (row_tick_hook != nullptr) row_tick_hook(last_channel);
}
