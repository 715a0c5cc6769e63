// libFuzzer entry for the player, without a terminal or an audio device: a song file is started
// at a row, then the input's actions run in turn: buffers played through the player's callback,
// key bytes decoded and handled (pauses, seeks, mutes, solos, reloads of the file), a second song
// reloaded in place, and the display's lines drawn from the facts. The input is a few bytes of
// choices, then the song, a NUL and the song that a reload finds. Single-threaded: nothing else
// mixes, so the player runs without the audio device's lock.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_model.h"
#include "play_display.h"
#include "play_session.h"
#include "play_state.h"
#include "play_terminal.h"
#include "shared/shared_values.h"

namespace {

constexpr int max_actions = 12;
constexpr int max_restarts = 2;  // seeks and reloads parse again and mix up to their row
// Seeks go as far as the end, which the engine reaches by mixing from the start: only songs
// whose end comes this soon are sought in.
constexpr int64_t seek_budget_frames = 64 * callback_frames;
constexpr int display_width = 80;

void play_buffers(int count) {
  uint8_t stream[4 * callback_frames];
  for (int b = 0; b < count; ++b) player_callback(nullptr, stream, sizeof stream);
}

// Where a song plays, the clock stays within the song's span.
void check_position(const Player& player) {
  if (samples_per_row <= 0) return;
  const int64_t frame = frames_mixed.load(std::memory_order_relaxed);
  if (frame < 0 || frame > player_end_frame(player.options) + callback_frames) __builtin_trap();
}

void check_display(Player& player, FuzzInput& input) {
  const DisplayFacts facts = display_facts(player, static_cast<double>(input.number(0, 1) << 20));
  for (const std::string& line : display_lines(facts)) {
    if (line.size() > display_width) __builtin_trap();
  }
}

// A reload keeps the last song that plays: the new one when it starts, the old one otherwise.
void reload_checked(Player& player, const SongSource& fresh, bool from_file) {
  const std::string before = player.song.text;
  if (from_file) {
    write_file(player.options.song_path, fresh.text);
    reload(player);
  } else {
    reload_song(player, fresh);
  }
  const bool kept_old = player.message.rfind("not reloaded", 0) == 0;
  if (player.song.text != (kept_old ? before : fresh.text)) __builtin_trap();
}

void act(Player& player, FuzzInput& input, const SongSource& other, int& restarts) {
  const uint8_t action = input.byte();
  switch (action % 4) {
    case 0:
      play_buffers(static_cast<int>(input.number(1, 4)));
      break;
    case 1: {
      const unsigned char keys[2] = {input.byte(), input.byte()};
      std::vector<KeyPress> presses;
      decode_keys(keys, action & 4 ? 2 : 1, presses);
      for (const KeyPress& press : presses) {
        const bool restarts_engine = press.key != Key::pause && press.key != Key::solo &&
                                     press.key != Key::digit && press.key != Key::none;
        if (restarts_engine && ++restarts > max_restarts) continue;
        const bool seeks = press.key != Key::reload && press.key != Key::quit && restarts_engine;
        if (seeks && player_end_frame(player.options) > seek_budget_frames) continue;
        if (press.key == Key::reload) {
          reload_checked(player, other, true);
        } else {
          handle_key(player, press);
        }
      }
      break;
    }
    case 2:
      if (++restarts <= max_restarts) reload_checked(player, other, false);
      break;
    default:
      check_display(player, input);
  }
  check_position(player);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  static const std::string song_path = scratch_folder() + "/song.txt";
  Player player;
  player.options.song_path = song_path.c_str();
  player.options.from_row = input.number(0, 8);
  player.options.to_row = input.flag() ? -1 : player.options.from_row + input.number(0, 24);
  player.options.loop = input.flag();
  player.options.muted = static_cast<uint32_t>(input.number(0, 65535)) << 1;
  player.options.soloed = input.flag() ? static_cast<uint32_t>(input.number(0, 255)) << 1 : 0;
  const int actions = static_cast<int>(input.number(0, max_actions));
  std::vector<uint8_t> choices;
  for (int i = 0; i < 4 * actions; ++i) choices.push_back(input.byte());
  const SongSource first{song_path, song_path, input.word()};
  const SongSource other{song_path, song_path, input.rest()};

  player_status_reset();
  player_status.paused.store(false, std::memory_order_relaxed);
  write_file(song_path, first.text);
  const std::string problem = player_start(player);
  if (problem.find('\n') != std::string::npos) __builtin_trap();
  if (problem.empty()) {
    FuzzInput steps(choices.data(), choices.size());
    int restarts = 0;
    for (int i = 0; i < actions; ++i) act(player, steps, other, restarts);
    check_display(player, steps);
  }
  // What the next input finds is a process just started: no hook, no mutes, nothing allocated.
  row_tick_hook = nullptr;
  channel_mute_mask.store(0, std::memory_order_relaxed);
  channel_meters_on.store(false, std::memory_order_relaxed);
  song_model_clear();
  return 0;
}
