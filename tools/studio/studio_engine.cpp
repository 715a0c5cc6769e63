// The studio's entry points into the engine (studio.js and the export worker call them): the
// player started, restarted, muted and looped through the player's own session, the mixing of one
// buffer at a time for the page's sound, each row's places in the tracks for the text's
// highlights, the show's picture at the clock the page hears, the song check, the render and
// the stems (every channel from one mix) for the worker, MIDI files out of the song and into song
// text, and the table of the song's fields.
// Each instance (the page's, the worker's) has one thread.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "midi/midi_export.h"
#include "midi/midi_import.h"
#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_fields.h"
#include "music/song_view.h"
#include "play_session.h"
#include "play_state.h"
#include "shared/shared_values.h"
#include "songcheck_tool.h"
#include "tool_engine.h"
#include "visuals/frame_driver.h"
#include "visuals/textures.h"
#include "web/gl_layer.h"

namespace {

constexpr int32_t buffer_bytes = callback_frames * 4;
// Rows of places kept: far more than the page mixes ahead.
constexpr int32_t remembered_rows = 4096;
constexpr int32_t place_fields = 4;  // entry, pattern, row, finished
constexpr int32_t places_per_row = channel_count * place_fields;

Player player;
std::string text_space;  // the song text the page hands in
std::string last_error;
std::string report;  // what studio_check returns
alignas(4) uint8_t sound_buffer[buffer_bytes];
std::array<int16_t, channel_count * 2 * callback_frames> stem_buffer{};
std::string fields_json;
std::vector<uint8_t> midi_bytes;  // the last export, or the file handed in for an import
std::string imported_text;
std::string import_warnings;
float mixer_level = 0;  // audio_level as the mixer left it, apart from what the picture is shown
std::array<float, channel_count> buffer_channel_peaks{};

// Each row's places, by row as a ring; a row's tag says which row a slot holds.
std::array<int64_t, remembered_rows> place_row_tag{};
std::array<std::array<int32_t, places_per_row>, remembered_rows> places{};
// A tick's row: the first row at or after the frame the mixing call began at (frames_mixed
// moves only at the end of a call), plus the ticks the call has had. Counting every tick would
// go wrong at the loop's end, where the callback mixes past it before it goes back.
int64_t call_base_frame = -1;
int32_t ticks_in_call = 0;

int64_t first_row_at_or_after(int64_t frame) {
  return samples_per_row > 0 ? (frame + samples_per_row - 1) / samples_per_row : 0;
}

void forget_places() {
  place_row_tag.fill(-1);
  call_base_frame = -1;
}

// Row tick hook: the player's own figures, then this row's places for the highlights.
void studio_row_hook(int32_t last_channel) {
  player_row_hook(last_channel);
  const int64_t base = frames_mixed.load(std::memory_order_relaxed);
  if (base != call_base_frame) {
    call_base_frame = base;
    ticks_in_call = 0;
  }
  const int64_t tick_row = first_row_at_or_after(base) + ticks_in_call++;
  const int32_t slot = static_cast<int32_t>(tick_row % remembered_rows);
  place_row_tag[slot] = tick_row;
  std::array<int32_t, places_per_row>& row = places[slot];
  row.fill(-1);
  for (int32_t k = 1; k <= last_channel; ++k) {
    const ChannelView view = channel_view(k);
    row[k * place_fields] = view.entry;
    row[k * place_fields + 1] = view.pattern;
    row[k * place_fields + 2] = view.row;
    row[k * place_fields + 3] = view.finished ? 1 : 0;
  }
}

void hook_places() {
  forget_places();
  row_tick_hook = studio_row_hook;
}

SongSource studio_song() {
  return {"song", "", text_space};
}

}  // namespace

extern "C" {

// Room for a song text of length bytes, which the page writes before the calls that take it.
EMSCRIPTEN_KEEPALIVE char* studio_text_space(int32_t length) {
  text_space.assign(static_cast<size_t>(length), '\0');
  return text_space.data();
}

EMSCRIPTEN_KEEPALIVE const char* studio_error() {
  return last_error.c_str();
}

// Starts the player with the text from its start, with the meters on. 0, or 1 with
// studio_error.
EMSCRIPTEN_KEEPALIVE int32_t studio_start() {
  player = Player{};
  last_error = player_start_song(player, studio_song());
  hook_places();
  return last_error.empty() ? 0 : 1;
}

// The text as the new song from frame on (in its tempo, at the same place of the same row), as
// the player's --watch reloads: a song that cannot play leaves the one before playing there.
// 0, or 1 with studio_error.
EMSCRIPTEN_KEEPALIVE int32_t studio_reload(double frame) {
  reload_song_at(player, studio_song(), static_cast<int64_t>(frame));
  hook_places();
  const std::string reloaded = "reloaded ";
  if (player.message.compare(0, reloaded.size(), reloaded) == 0) return 0;
  last_error = player.message.substr(player.message.find(':') + 2);  // after "not reloaded: "
  return 1;
}

// The song that plays, from frame on (after a change the mixer has run ahead of).
EMSCRIPTEN_KEEPALIVE void studio_restart(double frame) {
  std::string error;
  restart_at(player, player.song, static_cast<int64_t>(frame), error);
  hook_places();
}

EMSCRIPTEN_KEEPALIVE void studio_seek(int32_t row) {
  seek_to_row(player, row);
  hook_places();
}

// Mute and solo as bit masks of channels (1 << N), from frame on.
EMSCRIPTEN_KEEPALIVE void studio_set_mutes(uint32_t muted, uint32_t soloed, double frame) {
  studio_restart(frame);
  set_mutes(player, muted, soloed);
}

// Plays rows from_row to to_row (exclusive) over and over, seamlessly, going on at frame when it
// lies in the loop and from the loop's start otherwise; to_row 0 ends the loop and plays on from
// frame to the show's length.
EMSCRIPTEN_KEEPALIVE void studio_set_loop(int32_t from_row, int32_t to_row, double frame) {
  studio_restart(frame);
  if (to_row > from_row) {
    set_loop(player, from_row, to_row);
  } else {
    stop_loop(player);
  }
  hook_places();
}

// Keeps channel states ahead of the play, for the idle moments of the page: later seeks and
// reloads as quick as early ones.
EMSCRIPTEN_KEEPALIVE int32_t studio_keep_states_ahead(int32_t most) {
  return player_keep_states_ahead(player, most);
}

// Mixes the next buffer through the player's callback; returns it, 1024 stereo frames of 16-bit
// values. The song frame after it is studio_frame().
EMSCRIPTEN_KEEPALIVE const int16_t* studio_mix_buffer() {
  audio_level.store(mixer_level, std::memory_order_relaxed);
  player_callback(nullptr, sound_buffer, buffer_bytes);
  mixer_level = audio_level.load(std::memory_order_relaxed);
  for (int32_t k = 0; k < channel_count; ++k) buffer_channel_peaks[k] = channel_facts(k).level;
  return reinterpret_cast<const int16_t*>(sound_buffer);
}

// The next buffer while the song is paused: the audition voice alone, the song where it stands.
EMSCRIPTEN_KEEPALIVE const int16_t* studio_mix_held_buffer() {
  mix_audition_alone(reinterpret_cast<int16_t*>(sound_buffer), callback_frames);
  return reinterpret_cast<const int16_t*>(sound_buffer);
}

EMSCRIPTEN_KEEPALIVE double studio_frame() {
  return frames_mixed.load(std::memory_order_relaxed);
}

EMSCRIPTEN_KEEPALIVE float studio_level() {
  return mixer_level;
}

EMSCRIPTEN_KEEPALIVE int32_t studio_buffer_peak() {
  return player_status.buffer_peak.load(std::memory_order_relaxed);
}

EMSCRIPTEN_KEEPALIVE double studio_clipped_frames() {
  return static_cast<double>(player_status.clipped_frames.load(std::memory_order_relaxed));
}

// Each channel's peak in the last buffer, 3.0 full scale, by channel number.
EMSCRIPTEN_KEEPALIVE const float* studio_channel_peaks() {
  return buffer_channel_peaks.data();
}

EMSCRIPTEN_KEEPALIVE int32_t studio_samples_per_row() {
  return samples_per_row;
}

EMSCRIPTEN_KEEPALIVE int32_t studio_last_channel() {
  return walk_end();
}

EMSCRIPTEN_KEEPALIVE double studio_end_frame() {
  return static_cast<double>(player_end_frame(player.options));
}

EMSCRIPTEN_KEEPALIVE int32_t studio_at_end() {
  return player_status.at_end.load(std::memory_order_relaxed) ? 1 : 0;
}

// The places of row's tick: per channel number, entry, pattern, row and finished (1), -1 for a
// channel the walk did not reach; nullptr when that row is not remembered.
EMSCRIPTEN_KEEPALIVE const int32_t* studio_row_places(double row) {
  const int64_t wanted = static_cast<int64_t>(row);
  if (wanted < 0) return nullptr;
  const int32_t slot = static_cast<int32_t>(wanted % remembered_rows);
  return place_row_tag[slot] == wanted ? places[slot].data() : nullptr;
}

// The show's picture from the start, on the page's WebGL context.
EMSCRIPTEN_KEEPALIVE void studio_picture_start() {
  frame_driver_reset();
  gl_layer_reset();
  textures_init();
  gl_layer_flush();
}

// One pass of the show's frame driver at ms with the clock and level the picture is shown; 1
// when a frame was drawn. The show's end is no end here: the picture stays with its last scene.
EMSCRIPTEN_KEEPALIVE int32_t studio_draw(int32_t ms, double shown_frames, float level) {
  const int32_t mixer_frames = frames_mixed.load(std::memory_order_relaxed);
  frames_mixed.store(static_cast<int32_t>(shown_frames), std::memory_order_relaxed);
  audio_level.store(level, std::memory_order_relaxed);
  const int32_t drawn = render_frame(ms);
  gl_layer_flush();
  quit_requested = 0;
  frames_mixed.store(mixer_frames, std::memory_order_relaxed);
  audio_level.store(mixer_level, std::memory_order_relaxed);
  return drawn;
}

// The song check of the text, as kelvorinsaa-songcheck words it (with_clipping: and the
// stretches that clip, as --check adds them): one line per finding, LINE TAB KIND TAB TEXT,
// KIND "fault" or "warning", LINE 0 for the whole song. Replaces the engine's song: the worker's
// instance only.
EMSCRIPTEN_KEEPALIVE const char* studio_check(int32_t with_clipping) {
  report.clear();
  for (const SongFinding& finding : song_findings(text_space, with_clipping != 0)) {
    report += std::to_string(finding.line) + '\t' + (finding.fault ? "fault" : "warning") + '\t' +
              finding.text + '\n';
  }
  return report.c_str();
}

// A render of the text from frame from to frame to with the mute mask, as kelvorinsaa-render
// runs it; then studio_render_next mixes it buffer by buffer. 0, or 1 with studio_error.
EMSCRIPTEN_KEEPALIVE int32_t studio_render_start(double from, uint32_t mute_mask) {
  last_error.clear();
  row_tick_hook = nullptr;
  if (!engine_start(studio_song(), static_cast<int64_t>(from), last_error)) return 1;
  channel_mute_mask.store(mute_mask, std::memory_order_relaxed);
  return 0;
}

EMSCRIPTEN_KEEPALIVE const int16_t* studio_render_next() {
  audio_callback(nullptr, sound_buffer, buffer_bytes);
  return reinterpret_cast<const int16_t*>(sound_buffer);
}

// The next buffer of a render as every channel alone, each muted one silent: channel N's 1024
// stereo frames at N * 2048 values. The sum is mixed as well, so the engine goes on exactly as
// studio_render_next takes it.
EMSCRIPTEN_KEEPALIVE const int16_t* studio_render_stems_next() {
  const int32_t stem_values = 2 * callback_frames;
  std::fill_n(stem_buffer.begin(), (walk_end() + 1) * stem_values, int16_t{0});  // the playing ones
  mixer_set_stems(stem_buffer.data());
  audio_callback(nullptr, sound_buffer, buffer_bytes);
  mixer_set_stems(nullptr);
  return stem_buffer.data();
}

// The text's notes from frame from to frame to (exclusive) as a MIDI file, with the channels of
// mute_mask (1 << N) left out: the bytes kelvorinsaa-render writes to OUT.mid for the same range
// and --mute/--solo. nullptr with studio_error; the length is studio_midi_length(). Replaces the
// engine's song: the worker's instance only.
EMSCRIPTEN_KEEPALIVE const uint8_t* studio_export_midi(double from, double to, uint32_t mute_mask) {
  last_error.clear();
  midi_bytes.clear();
  row_tick_hook = nullptr;
  const int64_t first = static_cast<int64_t>(from);
  if (!engine_start(studio_song(), first, last_error)) return nullptr;
  if (!midi_export(first, static_cast<int64_t>(to), mute_mask, midi_bytes, last_error))
    return nullptr;
  return midi_bytes.data();
}

EMSCRIPTEN_KEEPALIVE int32_t studio_midi_length() {
  return static_cast<int32_t>(midi_bytes.size());
}

// Room for a MIDI file of length bytes, which the page writes before studio_import_midi.
EMSCRIPTEN_KEEPALIVE uint8_t* studio_midi_space(int32_t length) {
  midi_bytes.assign(static_cast<size_t>(length > 0 ? length : 0), 0);
  return midi_bytes.data();
}

// The MIDI file in studio_midi_space as song text, as kelvorinsaa-import writes it (name stands
// for the file's name in its first comment line); nullptr with studio_error naming what is
// wrong. What had to change to fit is in studio_import_warnings(), a line each.
EMSCRIPTEN_KEEPALIVE const char* studio_import_midi(const char* name) {
  last_error.clear();
  import_warnings.clear();
  MidiImport song;
  const std::string file_name = name != nullptr && name[0] != '\0' ? name : "MIDI file";
  if (!midi_import_bytes(midi_bytes.data(), midi_bytes.size(), file_name, song, last_error))
    return nullptr;
  for (const std::string& warning : song.warnings) import_warnings += warning + '\n';
  imported_text = std::move(song.text);
  return imported_text.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* studio_import_warnings() {
  return import_warnings.c_str();
}

// The song's fields and keywords (the lint's table) as JSON, for the hover and the reference.
EMSCRIPTEN_KEEPALIVE const char* studio_fields() {
  // The notes below the top octave are derived at the model's start, which a page that has not
  // played yet has not had; without a song that start changes nothing else.
  if (note_table[0].value == 0) song_model_init(show_sample_rate);
  if (fields_json.empty()) fields_json = song_fields_json();
  return fields_json.c_str();
}

}  // extern "C"
