// Entry point of the show: brings up SDL, the synthesizer, the song, the window and the
// textures in a fixed order, then runs the main loop on the main thread until the show ends.
// INT, TERM and HUP end it too, through the same shut-down, with 128 + the signal.
#include <SDL.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "music/embedded_song.h"
#include "music/mixer.h"
#include "music/song_parser.h"
#include "music/synth.h"
#include "shared/messages.h"
#include "shared/shared_values.h"
#include "shared/stop_signals.h"
#include "shell/video_mode.h"
#include "visuals/frame_driver.h"
#include "visuals/textures.h"

namespace {

constexpr int window_depth = 32;
constexpr int exit_song_rejected = 1;
constexpr int exit_no_display = 2;
constexpr int exit_signal_base = 128;

// The signal that asked the show to end, 0 while none did. SDL turns INT and TERM into the quit
// event, which is the window's close request the show ignores; a signal is the program's end.
// After SDL_Init, whose own handlers these replace. With SA_RESTART, since the threads of the
// audio and X libraries may not expect an interrupted call, and the main loop looks every frame.
// The party intro, short of bytes, keeps SDL's handlers.
#if defined(KELVORINSAA_PARTY)
constexpr sig_atomic_t stop_signal = 0;
void catch_show_stop_signals() {}
#else
volatile sig_atomic_t stop_signal = 0;

void on_stop_signal(int signal_number) {
  stop_signal = signal_number;
}

void catch_show_stop_signals() {
  catch_stop_signals(on_stop_signal, SA_RESTART);
}
#endif

int exit_status(int status) {
  return stop_signal != 0 ? exit_signal_base + stop_signal : status;
}

// Opens the audio device paused. A show without sound still runs (frozen at its first scene),
// so a missing device is only worth a warning.
void open_audio() {
  if (!SDL_WasInit(SDL_INIT_AUDIO)) {
    say("kelvorinsaa: no sound, the audio system is unavailable: %s\n", SDL_GetError());
    return;
  }
  SDL_AudioSpec request = {};
  request.freq = show_sample_rate;
  request.format = AUDIO_S16LSB;
  request.channels = 2;
  request.samples = callback_frames;
  request.callback = audio_callback;
  request.userdata = nullptr;
  if (SDL_OpenAudio(&request, nullptr) < 0) {
    say("kelvorinsaa: no sound, the audio device cannot be opened: %s\n", SDL_GetError());
  }
}

// Drains the event queue; a key or mouse-button press ends the show, a close request does not.
void poll_input() {
  SDL_Event event;
  while (SDL_PollEvent(&event) > 0) {
    if (event.type == SDL_KEYDOWN || event.type == SDL_MOUSEBUTTONDOWN) quit_requested = 1;
  }
}

// Without a display SDL 1.2 would fall back to a text-mode driver that takes over the terminal
// and wipes any message with it: X11 unless the user chose a driver.
void choose_video_driver() {
  setenv("SDL_VIDEODRIVER", "x11", 0);
}

// Says in one line why no window can come up: no X display, or another driver that failed.
void report_no_video(const char* what) {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && std::strcmp(driver, "x11") == 0) {
    const char* display = std::getenv("DISPLAY");
    if (display != nullptr && display[0] != '\0') {
      say("kelvorinsaa: no display could be opened (DISPLAY=%s): %s\n", display, SDL_GetError());
    } else {
      say("kelvorinsaa: no display could be opened (DISPLAY is not set): %s\n", SDL_GetError());
    }
  } else {
    say("kelvorinsaa: %s with the video driver %s: %s\n", what,
        driver != nullptr ? driver : "(SDL's choice)", SDL_GetError());
  }
}

// Brings up the timer, video and audio; false when there is no display. Classic SDL 1.2 brings
// up video before audio and keeps it when audio fails, but sdl12-compat, like SDL 2, takes back
// every subsystem of a call that failed in one: there audio comes up on its own, so that a broken
// audio driver costs the sound, never the picture. The party build keeps the one call.
bool start_sdl() {
#if defined(KELVORINSAA_PARTY)
  return SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO) >= 0 ||
         SDL_WasInit(SDL_INIT_VIDEO);
#else
  if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) < 0) return false;
  SDL_InitSubSystem(SDL_INIT_AUDIO);  // a failure is reported when the device is opened
  return true;
#endif
}

void run_main_loop(Uint32 start_ms) {
  while (!quit_requested && stop_signal == 0) {
    const int32_t elapsed_ms = static_cast<int32_t>(SDL_GetTicks() - start_ms);
    if (render_frame(elapsed_ms)) SDL_GL_SwapBuffers();
    poll_input();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Uint32 video_flags = choose_video_flags(argc, argv);

  choose_video_driver();
  if (!start_sdl()) {
    report_no_video("cannot start SDL");
    SDL_Quit();
    return exit_no_display;
  }
  catch_show_stop_signals();
  open_audio();

  synth_init(show_sample_rate);
  if (song_parse(embedded_song_text) < 0) {
    say("kelvorinsaa: the built-in song is broken: %s\n", song_error());
    SDL_Quit();
    return exit_song_rejected;
  }

  if (!SDL_SetVideoMode(picture_width, picture_height, window_depth, video_flags)) {
    say("kelvorinsaa: cannot open a %dx%d OpenGL display: %s\n", picture_width, picture_height,
        SDL_GetError());
    SDL_Quit();
    return exit_no_display;
  }
  SDL_WM_SetCaption("Kelvorinsaa", nullptr);
  SDL_ShowCursor(SDL_DISABLE);
  textures_init();

  SDL_PauseAudio(0);
  run_main_loop(SDL_GetTicks());

  SDL_Quit();
  return exit_status(0);
}
