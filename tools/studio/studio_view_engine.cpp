// The studio's view of the song and its instruments (studio.js calls these on the page's
// instance, which has one thread): where each channel's track entries play, row by row, as the
// sequencer walks them; an instrument's rendered sample; and the audition voice that plays an
// instrument at a note over the song from the frame heard.
#include <emscripten/emscripten.h>

#include <array>
#include <cstdint>
#include <vector>

#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_model.h"
#include "music/song_view.h"

extern "C" void studio_restart(double frame);  // studio_engine.cpp

namespace {

constexpr int32_t arrangement_fields = 4;  // entry, pattern, row, note hertz (0: no note)
std::vector<int32_t> arrangement;

// The channel state a row tick may change, kept aside while the arrangement is walked.
struct TickState {
  std::array<int32_t, channel_count> track_pos, row_in_pattern;
  std::array<float, channel_count> position, rate, slide, volume;
  std::array<uint8_t, channel_count> echo_on;
};

TickState saved_tick_state() {
  return {track_pos, row_in_pattern, position, rate, slide, volume, echo_on};
}

void put_back(const TickState& state) {
  track_pos = state.track_pos;
  row_in_pattern = state.row_in_pattern;
  position = state.position;
  rate = state.rate;
  slide = state.slide;
  volume = state.volume;
  echo_on = state.echo_on;
}

}  // namespace

extern "C" {

// The song's rows 0 ... rows - 1 as the sequencer walks them from the start: per row and per
// channel number (0 ... 29), the track entry, the pattern, its row and the note the row's tick
// started (its hertz, 0 for none); entry -1 for a channel not reached or finished. The song that
// plays goes on undisturbed: its channel state is put back.
EMSCRIPTEN_KEEPALIVE const int32_t* studio_arrangement(int32_t rows) {
  const int32_t width = channel_count * arrangement_fields;
  arrangement.assign(static_cast<size_t>(rows > 0 ? rows : 0) * width, -1);
  const TickState playing = saved_tick_state();
  track_pos.fill(track_not_started);
  row_in_pattern.fill(0);
  const int32_t last = walk_end();
  for (int32_t row = 0; row < rows; ++row) {
    int32_t* out = arrangement.data() + static_cast<size_t>(row) * width;
    for (int32_t k = 1; k <= last; ++k) {
      row_tick_channel(k);
      const ChannelView view = channel_view(k);
      if (view.finished || view.entry < 0) continue;
      out[k * arrangement_fields] = view.entry;
      out[k * arrangement_fields + 1] = view.pattern;
      const bool started = view.has_event && view.event > 0 && position[k] == 0.0f;
      out[k * arrangement_fields + 2] = view.row;
      out[k * arrangement_fields + 3] = started ? view.event : 0;
      position[k] = -1.0f;  // so that the next note is told from this one
    }
  }
  put_back(playing);
  return arrangement.data();
}

// Instrument n's rendered sample (studio_sample_length floats), nullptr when it has none.
EMSCRIPTEN_KEEPALIVE const float* studio_sample(int32_t n) {
  return n >= 0 && n < instrument_count ? sample[n].get() : nullptr;
}

EMSCRIPTEN_KEEPALIVE int32_t studio_sample_length(int32_t n) {
  return n >= 0 && n < instrument_count && sample[n] ? sample_length[n] : 0;
}

// The note names of the song language and their hertz, as the parser reads them: entry i of
// the engine's note table, "" and 0 past its notes.
EMSCRIPTEN_KEEPALIVE const char* studio_note_name(int32_t i) {
  return i >= 0 && i < note_table_size && note_table[i].value > 0 ? note_table[i].name : "";
}

EMSCRIPTEN_KEEPALIVE int32_t studio_note_hertz(int32_t i) {
  return i >= 0 && i < note_table_size && note_table[i].value > 0 ? note_table[i].value : 0;
}

// Instrument n at hertz from frame on, over the song (what was mixed ahead is mixed again).
EMSCRIPTEN_KEEPALIVE void studio_audition(int32_t n, int32_t hertz, double frame) {
  studio_restart(frame);
  audition_start(n, hertz);
}

// Instrument n at hertz over a paused song: the song stands still, so only the voice begins.
EMSCRIPTEN_KEEPALIVE void studio_audition_held(int32_t n, int32_t hertz) {
  audition_start(n, hertz);
}

}  // extern "C"
