// Channel lists, song reading, seeking and the row tick trace for the tools. Main thread; the
// trace's hook runs where the mixing runs (the renderer's only thread).
#include "tool_engine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "engine_checkpoints.h"
#include "music/embedded_song.h"
#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_lint.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/song_view.h"
#include "music/synth.h"
#include "shared/show_constants.h"

namespace {

constexpr int32_t highest_channel = channel_count - 1;

std::string parsed_text;  // the parser edits its text and song_text keeps pointing into it
std::FILE* trace_out = nullptr;
int64_t trace_row = 0;
int64_t trace_end_row = 0;  // the mixer runs on to the end of its buffer; the trace does not

bool read_channel(const char*& cursor, int32_t& channel) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(cursor, &end, 10);
  if (end == cursor || errno != 0 || value < 1 || value > highest_channel) return false;
  channel = static_cast<int32_t>(value);
  cursor = end;
  return true;
}

void write_trace_line(int32_t last_channel) {
  if (trace_row >= trace_end_row) return;
  std::fprintf(trace_out, "%lld", static_cast<long long>(trace_row++));
  for (int32_t k = 1; k <= last_channel; ++k) {
    const ChannelView view = channel_view(k);
    if (view.finished) {
      std::fprintf(trace_out, " %d:end", k);
      continue;
    }
    char event[24];
    std::fprintf(trace_out, " %d:%d:p%d:%d:%s", k, view.entry, view.pattern, view.row,
                 event_text(view, event, sizeof event));
  }
  std::fputc('\n', trace_out);
}

}  // namespace

bool parse_channel_list(const char* text, uint32_t& channels, std::string& error) {
  const char* cursor = text;
  while (true) {
    int32_t first = 0, last = 0;
    bool ok = read_channel(cursor, first);
    last = first;
    if (ok && *cursor == '-') ok = read_channel(++cursor, last) && last >= first;
    if (ok && *cursor != '\0' && *cursor != ',') ok = false;
    if (!ok) {
      error = std::string("channel list \"") + text + "\" is not like 1,3,5-7 (channels 1 to " +
              std::to_string(highest_channel) + ")";
      return false;
    }
    for (int32_t k = first; k <= last; ++k) channels |= 1u << k;
    if (*cursor == '\0') return true;
    ++cursor;
  }
}

std::string check_end_row(int64_t row) {
  const int64_t last_row = longest_play_frames / samples_per_row;
  if (row <= last_row) return "";
  return "--to needs a row from 0 to " + std::to_string(last_row) + " at this song's tempo (" +
         std::to_string(longest_play_seconds) + " s), not \"" + std::to_string(row) + "\"";
}

uint32_t mute_mask_for(uint32_t muted, uint32_t soloed) {
  return soloed != 0 ? (~soloed | muted) : muted;
}

bool read_song(const char* path, SongSource& song, std::string& error) {
  if (path == nullptr) {
    song = {"built-in song", "", std::string(embedded_song_text, embedded_song_length)};
    return true;
  }
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    error = std::string("cannot open ") + path + ": " + std::strerror(errno);
    return false;
  }
  // Read to the end, whatever the file is: a folder or a device fails here with its reason,
  // and a FIFO is read until its writer closes it.
  std::string text;
  char chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  const int read_error = errno;
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = std::string("cannot read ") + path + ": " + std::strerror(read_error);
    return false;
  }
  song = {path, path, std::move(text)};
  return true;
}

namespace {

// The engine set up afresh with the song, at frame 0 and before its first row tick.
bool parse_for_start(const SongSource& song, std::string& error) {
  checkpoints_pause();
  song_model_clear();
  synth_init(show_sample_rate);
  parsed_text = song.text;
  if (song_parse(parsed_text.data()) < 0) {
    error = song.name + ": " + song_error();
    return false;
  }
  if (const char* reason = song_unplayable_reason()) {
    error = song.name + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace

bool engine_start(const SongSource& song, int64_t frame, std::string& error,
                  const volatile std::sig_atomic_t* stop) {
  if (!parse_for_start(song, error)) return false;
  checkpoints_bring_to(frame, stop);  // a stop leaves the caller to see its own flag
  return true;
}

bool engine_start_by_mixing(const SongSource& song, int64_t frame, std::string& error) {
  if (!parse_for_start(song, error)) return false;
  std::vector<int16_t> scratch(2 * callback_frames);
  const RowTickHook hook = row_tick_hook;
  row_tick_hook = nullptr;  // the frames before the start are not part of any trace
  for (int64_t done = 0; done < frame; done += callback_frames) {
    const int64_t left = frame - done;
    mix_frames(scratch.data(),
               static_cast<int32_t>(left < callback_frames ? left : callback_frames));
  }
  row_tick_hook = hook;
  channel_peak.fill(0.0f);
  return true;
}

void trace_start(std::FILE* out, int64_t first_row, int64_t end_row) {
  trace_end_row = end_row;
  trace_out = out;
  trace_row = first_row;
  row_tick_hook = write_trace_line;
}

void trace_stop() {
  row_tick_hook = nullptr;
  trace_out = nullptr;
}
