// The real-time half of the music engine: sequencer, mixer and level meter. Runs on SDL's
// audio thread once sound is unpaused; allocates nothing, locks nothing, calls no library.
//
// Usage:
//   request.callback = audio_callback;       // SDL hands it 4096-byte buffers
//   mix_frames(out, 1024); measure_level(out);  // what the callback does, usable offline
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "music/song_model.h"
#include "shared/show_constants.h"

constexpr int channel_count = 30;  // channel N plays track N with instrument N
constexpr int32_t track_not_started = -1;
constexpr int32_t track_finished = -2;

// Channel state, by channel number.
extern std::array<int32_t, channel_count> track_pos;
extern std::array<int32_t, channel_count> row_in_pattern;
extern std::array<float, channel_count> position;  // in sample frames; -1 is silent
extern std::array<float, channel_count> rate;
extern std::array<float, channel_count> slide;
extern std::array<float, channel_count> volume;
extern std::array<float, channel_count> filter_coef;
extern std::array<float, channel_count> filter_state;
extern std::array<float, channel_count> pan;  // share sent to the left output
extern std::array<uint8_t, channel_count> echo_on;

// Set by a successful song_parse once every table, sample and channel is in place, with a
// release store; the callback reads it with an acquire load, so the audio thread sees the song
// whole. Cleared by mixer_init.
extern std::atomic<bool> song_published;

// Channel defaults, the clock at 0 and no song published (part of synth_init).
void mixer_init();

// Hands the song tables to the audio thread: for code that fills them without song_parse.
void publish_song();

// Puts the mixer's 64-bit frame count at frames (frames_mixed shows its low 32 bits), as if
// that much had been mixed: lets a test start just before a wrap instead of mixing for hours.
void mixer_set_clock(int64_t frames);

// Fills out with frames stereo frames of signed 16-bit values and adds frames to frames_mixed.
void mix_frames(int16_t* out, int32_t frames);

// Updates audio_level from the 2048 values of one mixed buffer.
void measure_level(const int16_t* buffer);

// For tools; the show sets neither. A channel whose bit (1 << N) is set in the mute mask runs its
// voice, echo and filter on but adds nothing to the output, so unmuting is seamless. With the
// meters on, channel_peak[N] keeps the largest |value| channel N sent toward the sums (after its
// volume, muted or not) until the reader, also on the audio thread, sets it back to 0.
extern std::atomic<uint32_t> channel_mute_mask;
extern std::atomic<bool> channel_meters_on;
extern std::array<float, channel_count> channel_peak;

// For tools that bring the engine to a frame without mixing every channel into the sums; the
// show calls none of them. mixer_run_channel runs channel j alone over frames n ... n + frames - 1
// (no row tick falls inside them): its voice, echo and filter exactly as the mix runs them, with
// nothing added to any sum or meter. A channel without an instrument is left as it is.
void mixer_run_channel(int32_t j, int64_t n, int32_t frames);
// For tools that want every channel alone from one mix (stems): with stems set, each mix of up to
// callback_frames frames also writes channel j's own 16-bit stereo frames, as a mix of that
// channel alone would give them, at stems + j * 2 * callback_frames. Frames where a channel is at
// rest, muted or without an instrument are left as they were: the caller clears the buffer
// before each mix. nullptr (the default) writes nothing.
void mixer_set_stems(int16_t* stems);
// The studio's audition voice, beside the channels: instrument's sample at hertz, as a channel of
// that instrument plays a note with its defaults (volume 1, no slide, echo off), through the
// instrument's filter and pan, added to the sums after the song's channels and never muted. It
// begins at the next frame mixed and sounds until its sample ends, the next start, audition_stop
// or mixer_init. A song whose track 1 is empty mixes no voice at all.
void audition_start(int32_t instrument, int32_t hertz);
void audition_stop();
// The audition voice alone for frames frames into out (16-bit stereo, as the mixer converts),
// the song's channels and clock untouched: what the studio plays while the song is held still.
void mix_audition_alone(int16_t* out, int32_t frames);
// Forgets what the mixer knows of silent echo lines, for channel states put back from a copy.
void mixer_forget_silent_lines();
// The frame of the latest row tick: what the row tick hook reads to know where it is.
int64_t mixer_tick_frame();
// How many times mixer_init has run: a new count means a new song in the engine.
int64_t mixer_init_count();

// On by default: echo values and filter states below the smallest normal float are stored as
// 0, which keeps long runs fast and changes no output value. Off keeps every subnormal, as a
// reference for the tests and benchmarks that prove and measure the difference. Not for the
// audio thread.
void mixer_settle_tiny_values(bool settle);

// SDL 1.2 audio callback: len bytes of signed 16-bit little-endian stereo; silence until the
// song is published.
void audio_callback(void* userdata, uint8_t* stream, int len);
