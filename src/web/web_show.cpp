// The show's entry points for the web page (page.js calls them): start-up in the shell's order,
// the mixer run through the show's own audio callback ahead of the sound the page plays, one
// main-loop pass per animation frame, input, and the exact frame-by-frame mode on the capture's
// clock. The page has one thread: everything here runs on it.
#include <emscripten/emscripten.h>

#include <string>
#include <vector>

#include "music/embedded_song.h"
#include "music/mixer.h"
#include "music/song_lint.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"
#include "shared/frame_clock.h"
#include "shared/messages.h"
#include "shared/shared_values.h"
#include "visuals/frame_driver.h"
#include "visuals/textures.h"
#include "web/gl_layer.h"
#include "web/heard_clock.h"

namespace {

constexpr int32_t buffer_bytes = callback_frames * 4;
constexpr int32_t pass_show_over = 2;

alignas(4) uint8_t sound_buffer[buffer_bytes];
std::vector<char> song_copy;  // the parser edits its text: each play parses a fresh copy
std::string given_song;       // a song the page was given (a link's)
bool plays_given_song = false;
std::string song_problem;  // why the song was refused
float mixer_level = 0;     // audio_level as the mixer left it, apart from what is shown

int32_t pass_result(int32_t drawn) {
  return drawn | (quit_requested ? pass_show_over : 0);
}

// One buffer through the show's callback; the shown values are the picture's, not the mixer's.
void mix_one_buffer() {
  audio_level.store(mixer_level, std::memory_order_relaxed);
  audio_callback(nullptr, sound_buffer, buffer_bytes);
  mixer_level = audio_level.load(std::memory_order_relaxed);
}

void mix_for_frame(const CaptureSpan& span, int64_t k) {
  while (frames_mixed.load(std::memory_order_relaxed) < mixed_before_frame(span, k)) {
    const int32_t before = frames_mixed.load(std::memory_order_relaxed);
    mix_one_buffer();
    if (frames_mixed.load(std::memory_order_relaxed) == before) return;
  }
}

// The frames before the span as the capture has them: from the show's start each one's call
// moves the brightness, and the last few are drawn, unseen, so that the trails are there.
void warm_up_before_span(const CaptureSpan& span) {
  const int64_t first_drawn = first_warm_up_frame(span);
  for (int64_t k = first_show_frame(span); k < 0; ++k) {
    mix_for_frame(span, k);
    if (k < first_drawn) {
      render_frame(frame_driver_last_frame_ms());  // declined by the pacing
    } else {
      render_frame(ms_at(span, frame_ticks(span, k)));
      gl_layer_flush();
    }
  }
}

}  // namespace

extern "C" {

void webgl_forget_context();  // webgl_bridge.js

// Room for a song text of length bytes that the show plays instead of the built-in one from the
// next start-up on; the page writes it there.
EMSCRIPTEN_KEEPALIVE char* web_song_space(int32_t length) {
  given_song.assign(static_cast<size_t>(length), '\0');
  plays_given_song = true;
  return given_song.data();
}

// Why the last start-up refused its song.
EMSCRIPTEN_KEEPALIVE const char* web_song_problem() {
  return song_problem.c_str();
}

// The shell's start-up from synth_init on; the page has made its WebGL context (the video mode)
// before, or has none (with_picture 0: the music alone, no textures). Also brings everything
// back to program start for a show played again. 0, or 1 when the song is refused
// (web_song_problem says why).
EMSCRIPTEN_KEEPALIVE int32_t web_start_up(int32_t with_picture) {
  quit_requested = 0;
  frame_driver_reset();
  gl_layer_reset();
  heard_clock_reset();
  mixer_level = 0;
  audio_level.store(0, std::memory_order_relaxed);
  synth_init(show_sample_rate);
  if (plays_given_song) {
    song_model_clear();
    song_copy.assign(given_song.begin(), given_song.end());
    song_copy.push_back('\0');
  } else {
    song_copy.assign(embedded_song_text, embedded_song_text + embedded_song_length + 1);
  }
  if (song_parse(song_copy.data()) < 0) {
    song_problem = song_error();
    if (!plays_given_song) say("kelvorinsaa: the built-in song is broken: %s\n", song_error());
    return 1;
  }
  // A song without rows cannot be played: its mixer would divide by their length.
  if (const char* reason = song_unplayable_reason()) {
    song_problem = reason;
    return 1;
  }
  if (with_picture) {
    textures_init();
    gl_layer_flush();
  }
  return 0;
}

// Mixes the next buffer for the page to play; returns it: 1024 stereo frames of 16-bit values.
EMSCRIPTEN_KEEPALIVE const int16_t* web_mix_buffer() {
  mix_one_buffer();
  heard_clock_mixed(mixer_level);
  return reinterpret_cast<const int16_t*>(sound_buffer);
}

// A lost WebGL context is back, empty: the textures are made again as at start-up (their
// trails start from black), and the show's own GL state, kept in the layer, goes on.
EMSCRIPTEN_KEEPALIVE void web_picture_restored() {
  webgl_forget_context();
  textures_init();
  gl_layer_flush();
}

// Where the show ends, in seconds of sound.
EMSCRIPTEN_KEEPALIVE double web_show_seconds() {
  return static_cast<double>(show_end_sound_frame) / show_sample_rate;
}

EMSCRIPTEN_KEEPALIVE double web_buffers_mixed() {
  return static_cast<double>(heard_clock_buffers_mixed());
}

// One pass of the show's main loop, for the sound frame heard now: 1 when a frame was drawn,
// plus 2 once the show is over (then nothing is drawn any more).
EMSCRIPTEN_KEEPALIVE int32_t web_main_pass(int32_t elapsed_ms, double heard_frame) {
  if (quit_requested) return pass_show_over;
  const ShownClock shown = heard_clock_shown(heard_frame);
  frames_mixed.store(shown.frames, std::memory_order_relaxed);
  audio_level.store(shown.level, std::memory_order_relaxed);
  const int32_t drawn = render_frame(elapsed_ms);
  gl_layer_flush();
  return pass_result(drawn);
}

// frames_mixed as the last pass showed it to the picture.
EMSCRIPTEN_KEEPALIVE int32_t web_shown_frames() {
  return frames_mixed.load(std::memory_order_relaxed);
}

// A key, a click or a touch: as the shell's event loop does.
EMSCRIPTEN_KEEPALIVE void web_input() {
  quit_requested = 1;
}

// Exact mode: video frame k of the span from from_us at fps, with the mixer as far ahead as the
// capture has it, and before frame 0 the capture's warm-up (warm_up frames drawn unseen, or
// warm_up_all). Results as for web_main_pass.
EMSCRIPTEN_KEEPALIVE int32_t web_exact_frame(int32_t fps, double from_us, int32_t warm_up,
                                             double k) {
  if (quit_requested) return pass_show_over;
  CaptureSpan span;
  span.fps = fps;
  span.from_us = static_cast<int64_t>(from_us);
  span.warm_up = warm_up;
  const int64_t frame = static_cast<int64_t>(k);
  if (frame == 0) warm_up_before_span(span);
  mix_for_frame(span, frame);
  const int32_t drawn = render_frame(ms_at(span, frame_ticks(span, frame)));
  gl_layer_flush();
  return pass_result(drawn);
}

// Frame timing, as kelvorinsaa-framebench does it: a frame of scene at ms with the song clock at
// the scene's first row and the level held at level. Results as for web_main_pass.
EMSCRIPTEN_KEEPALIVE int32_t web_bench_frame(int32_t scene, int32_t ms, float level) {
  frames_mixed.store(visual_lag_frames + show_row_frames * (scene_table[scene].start * 8),
                     std::memory_order_relaxed);
  audio_level.store(level, std::memory_order_relaxed);
  const int32_t drawn = render_frame(ms);
  gl_layer_flush();
  return drawn;
}

EMSCRIPTEN_KEEPALIVE int32_t web_bench_layers(int32_t scene) {
  return scene_table[scene].layers;
}

}  // extern "C"
