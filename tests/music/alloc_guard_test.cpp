// Plays the whole built-in song through the audio callback once: checks that the callback
// allocates nothing (operator new is replaced by a counting one in this test program) and that
// the stream still hashes to the recorded value.
//
// After a deliberate change of the sound, record the new value with
//   KELVORINSAA_REGENERATE_GOLDEN=1 build/test_music --gtest_filter='BuiltInSong.*'
// which rewrites tests/music/golden/embedded_song.hash and then fails on purpose.
#include <gtest/gtest.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "music_test_support.h"

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

constexpr int32_t show_buffers = 5627;  // up to row 1088 of the picture: 5,762,048 frames
constexpr uint64_t fnv_offset = 14695981039346656037ull;
constexpr uint64_t fnv_prime = 1099511628211ull;
const char* const golden_path = KELVORINSAA_SOURCE_DIR "/tests/music/golden/embedded_song.hash";

struct SongRender {
  std::string problem;  // empty when the song parsed
  uint64_t hash = fnv_offset;
  int64_t allocations = 0;
};

SongRender render_built_in_song() {
  SongRender result;
  fresh_model();
  if (parse_embedded_song() < 0) {
    result.problem = song_error();
    return result;
  }
  const int64_t before = allocations.load();
  play_buffers(show_buffers, [&](const auto& buffer) {
    for (uint8_t byte : buffer) result.hash = (result.hash ^ byte) * fnv_prime;
  });
  result.allocations = allocations.load() - before;
  song_model_clear();
  return result;
}

const SongRender& built_in_song() {
  static const SongRender render = render_built_in_song();
  return render;
}

std::string hash_line(uint64_t hash) {
  char line[80];
  std::snprintf(line, sizeof line, "fnv1a64 %016" PRIx64 " frames %d\n", hash,
                show_buffers * callback_frames);
  return line;
}

std::string read_golden() {
  std::FILE* file = std::fopen(golden_path, "rb");
  if (file == nullptr) return "";
  char line[80] = {};
  const bool read = std::fgets(line, sizeof line, file) != nullptr;
  std::fclose(file);
  return read ? line : "";
}

TEST(BuiltInSong, CallbackAllocatesNothing) {
  const int64_t before = allocations.load();
  ::operator delete(::operator new(8));  // the counter itself must work
  EXPECT_GT(allocations.load(), before);

  const SongRender& render = built_in_song();
  ASSERT_EQ(render.problem, "");
  EXPECT_EQ(render.allocations, 0);
}

TEST(BuiltInSong, StreamMatchesTheRecordedHash) {
  const SongRender& render = built_in_song();
  ASSERT_EQ(render.problem, "");
  const std::string line = hash_line(render.hash);
  const char* regenerate = std::getenv("KELVORINSAA_REGENERATE_GOLDEN");
  if (regenerate != nullptr && std::string(regenerate) == "1") {
    std::FILE* file = std::fopen(golden_path, "wb");
    ASSERT_NE(file, nullptr) << golden_path;
    std::fputs(line.c_str(), file);
    std::fclose(file);
    FAIL() << "rewrote " << golden_path << " with " << line
           << "unset KELVORINSAA_REGENERATE_GOLDEN and run again";
  }
  EXPECT_EQ(read_golden(), line) << "the built-in song sounds different; if that is meant, "
                                    "rerun with KELVORINSAA_REGENERATE_GOLDEN=1";
}

}  // namespace
