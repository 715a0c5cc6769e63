// Plays the whole built-in song through the audio callback once: checks that the callback
// allocates nothing (operator new is replaced by a counting one in this test program) and that
// the stream still hashes to the recorded values, whole and per 64-row section.
//
// After a deliberate change of the sound, record the new value with
//   KELVORINSAA_REGENERATE_GOLDEN=1 build/test_music --gtest_filter='BuiltInSong.*'
// which rewrites tests/music/golden/embedded_song.hash and then fails on purpose.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "music_test_support.h"
#if !defined(KELVORINSAA_PLAIN_MIXER)
#include "engine_checkpoints.h"
#include "music/sequencer.h"
#include "play_session.h"
#include "play_state.h"
#endif

namespace {

std::atomic<int64_t> allocations{0};

void* counted_allocation(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(size_t size) {
  void* p = counted_allocation(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t size) {
  return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return counted_allocation(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return counted_allocation(size);
}
// Inlined, these free calls meet operator new calls, which GCC reports as a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

const std::string golden_path = KELVORINSAA_SOURCE_DIR "/tests/music/golden/embedded_song.hash";

constexpr int64_t section_rows = 64;

struct SongRender {
  std::string problem;  // empty when the song parsed
  SectionedHash hash{section_rows * show_row_frames, {}, {}};
  int64_t allocations = 0;
};

SongRender render_built_in_song() {
  SongRender result;
  fresh_model();
  if (parse_embedded_song() < 0) {
    result.problem = song_error();
    return result;
  }
  result.hash.sections.reserve(show_frames / result.hash.section_frames + 1);  // none while playing
  const int64_t before = allocations.load();
  play_buffers(show_buffers, [&](const auto& buffer) {
    hash_sections(result.hash, buffer.data(), callback_frames);
  });
  result.allocations = allocations.load() - before;
  song_model_clear();
  return result;
}

const SongRender& built_in_song() {
  static const SongRender render = render_built_in_song();
  return render;
}

TEST(BuiltInSong, CallbackAllocatesNothing) {
  const int64_t before = allocations.load();
  ::operator delete(::operator new(8));  // the counter itself must work
  EXPECT_GT(allocations.load(), before);

  const SongRender& render = built_in_song();
  ASSERT_EQ(render.problem, "");
  EXPECT_EQ(render.allocations, 0);
}

#if !defined(KELVORINSAA_PLAIN_MIXER)  // that build has no player
// The player's row tick hook keeps channel states as the song plays, into room taken before.
TEST(BuiltInSong, PlayersCallbackKeepingStatesAllocatesNothing) {
  Player player;
  ASSERT_EQ(player_start(player), "");
  std::array<uint8_t, 4 * callback_frames> buffer{};
  const int64_t before = allocations.load();
  for (int32_t b = 0; b < 400; ++b) player_callback(nullptr, buffer.data(), 4 * callback_frames);
  EXPECT_EQ(allocations.load(), before);
  row_tick_hook = nullptr;
  EXPECT_GE(checkpoint_figures().kept, 3 * walk_end());  // rows 0, 32 and 64 at least
}
#endif

TEST(BuiltInSong, StreamMatchesTheRecordedHash) {
  SKIP_WITH_ANOTHER_BUILT_IN_SONG();
  const SongRender& render = built_in_song();
  ASSERT_EQ(render.problem, "");
  EXPECT_EQ(check_golden_sections(golden_path, render.hash), "");
}

}  // namespace
