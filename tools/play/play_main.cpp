// kelvorinsaa-play: plays a song through SDL 1.2's audio device with the show's audio callback,
// with a live status display, seeking, mute and solo, and reloading a song file as it changes.
// Main thread here; the callback in play_audio.cpp runs on SDL's audio thread.
#include <SDL.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "music/mixer.h"
#include "play_session.h"
#include "play_state.h"
#include "play_terminal.h"
#include "shared/shared_values.h"
#include "shared/tool_version.h"

namespace {

constexpr int display_period_ms = 50;     // about 20 redraws a second
constexpr int watch_period_ms = 250;      // how often a watched file is looked at
constexpr int states_ahead_per_turn = 4;  // about a millisecond under the audio lock

constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

int fail(const std::string& message, int status = exit_failed) {
  std::fprintf(stderr, "kelvorinsaa-play: %s\n", message.c_str());
  return status;
}

// Ticks of the time stamp counter per second, from the time the player has run so far.
struct CycleClock {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  uint64_t start_cycles = cycle_count();
  double per_second() const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return seconds > 0.1 ? static_cast<double>(cycle_count() - start_cycles) / seconds : 0.0;
  }
};

void draw(Player& player, const CycleClock& clock) {
  const double buffer_cycles = clock.per_second() * callback_frames / show_sample_rate;
  display_draw(display_lines(display_facts(player, buffer_cycles)));
}

void lock_audio() {
  SDL_LockAudio();
}

void unlock_audio() {
  SDL_UnlockAudio();
}

bool open_audio(std::string& error) {
  if (SDL_Init(SDL_INIT_AUDIO) != 0) {
    error = std::string("cannot start SDL's audio: ") + SDL_GetError();
    return false;
  }
  SDL_AudioSpec request{};
  request.freq = show_sample_rate;
  request.format = AUDIO_S16LSB;
  request.channels = 2;
  request.samples = callback_frames;
  request.callback = player_callback;
  if (SDL_OpenAudio(&request, nullptr) != 0) {
    error = std::string("cannot open the audio device: ") + SDL_GetError();
    SDL_Quit();
    return false;
  }
  return true;
}

int run(Player& player) {
  const bool display = !player.options.quiet && isatty(STDOUT_FILENO);
  terminal_take();
  SDL_PauseAudio(0);
  CycleClock clock;
  bool input_open = true;
  int since_watch = 0;
  while (!stop_requested()) {
    std::vector<KeyPress> keys;
    if (input_open) {
      input_open = read_keys(display_period_ms, keys);
    } else {
      SDL_Delay(display_period_ms);
    }
    bool quit = false;
    for (const KeyPress& key : keys) quit = quit || !handle_key(player, key);
    if (quit) break;
    if (player.options.watch && (since_watch += display_period_ms) >= watch_period_ms) {
      since_watch = 0;
      if (file_changed(player)) reload(player);
    }
    if (player_status.at_end.load(std::memory_order_relaxed)) {
      if (!player.options.loop) break;
      std::string error;
      restart_at(player, player.song, player.start_frame, error);
    }
    player_keep_states_ahead(player, states_ahead_per_turn);
    if (display) draw(player, clock);
  }
  if (display) draw(player, clock);
  SDL_CloseAudio();
  SDL_Quit();
  terminal_restore();
  return stop_requested() ? 128 + stop_signal_number() : 0;  // as shells report a signal
}

}  // namespace

int main(int argc, char** argv) {
  Player player;
  const std::string problem = parse_play_options(argc, argv, player.options);
  if (!problem.empty()) return fail(problem, exit_usage);
  if (player.options.help) {
    std::fputs(play_usage_text, stdout);
    return 0;
  }
  if (player.options.version) {
    print_tool_version(stdout, "kelvorinsaa-play");
    return 0;
  }
  std::string error = player_start(player);
  if (!error.empty()) return fail(error);
  if (!open_audio(error)) return fail(error);
  player.lock_audio = lock_audio;
  player.unlock_audio = unlock_audio;
  return run(player);
}
