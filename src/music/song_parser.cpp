// Turns the song text language into the song model, rendering each instrument as its line is
// read, and loads song files. Main thread only, at start-up before sound is unpaused.
#include "music/song_parser.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "music/mixer.h"
#include "music/song_model.h"
#include "music/synth.h"
#include "shared/messages.h"
#include "shared/work_limits.h"

char* song_text = nullptr;
#if !defined(KELVORINSAA_PARTY)
std::array<int32_t, instrument_count> instrument_waveform = [] {
  std::array<int32_t, instrument_count> none{};
  none.fill(-1);
  return none;
}();
#endif

namespace {

constexpr int required_instrument_items = 6;  // waveform word, four lengths, mod_rate
constexpr int max_instrument_items = 9;       // ... pitch_slide, pan, filter; the rest is ignored
constexpr int32_t lowest_tempo = 3;           // below it the row length divides by zero
// About 12.7 minutes of sound in one note: far beyond any song, and 128 MiB of memory. A fuzz
// build renders at most 1.5 s, still more than the built-in song's longest note.
constexpr int64_t max_sample_frames = fuzz_limits ? int64_t{1} << 16 : int64_t{1} << 25;
// Samples and echo lines of all instruments together: thirty notes of the longest kind would
// otherwise take 4 GB. The built-in song needs 1.1 MiB, within even a fuzz build's 2 MiB.
constexpr int64_t instrument_memory_budget = (fuzz_limits ? int64_t{2} : int64_t{256}) << 20;

std::array<char, 512> error_text{};
std::vector<char> loaded_text;  // the last file song_load read; song_text may point into it

struct SongLine {
  char* text;
  int32_t number;  // in the original text, where every line feed counts
};

struct ParseState {
  std::array<SongLine, max_song_lines> lines;
  int32_t line_count = 0;
  int32_t line_number = 0;  // of the line being interpreted
  int32_t waveform = waveform_square;
  bool tempo_seen = false;
  bool instrument_seen = false;
  int32_t track_one_line = 0;  // last line that defined track 1
};

struct Number {
  int32_t value;
  bool in_range;
};

[[maybe_unused]] __attribute__((format(printf, 1, 2))) void format_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(error_text.data(), error_text.size(), format, args);
  va_end(args);
}

[[maybe_unused]] int32_t format_rejection(const ParseState& state, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
int32_t format_rejection(const ParseState& state, const char* format, ...) {
  std::array<char, 400> reason{};
  va_list args;
  va_start(args, format);
  std::vsnprintf(reason.data(), reason.size(), format, args);
  va_end(args);
  format_error("line %d: %s", state.line_number, reason.data());
  return song_rejected;
}

// A text without arguments is taken as it stands, never as a format.
template <typename... Args>
void format_message(const char* format, Args... args) {
  if constexpr (sizeof...(args) == 0) {
    format_error("%s", format);
  } else {
    format_error(format, args...);
  }
}

// Without built-in messages the texts are never formatted, so they drop out of the program.
template <typename... Args>
void set_error(const char* format, Args... args) {
  if constexpr (messages_built_in) format_message(format, args...);
}

// A fault of the song itself. The party build's one song has passed every check while the
// intro was built, so there the compiler takes the fault as impossible and leaves its test out.
template <typename... Args>
int32_t reject_song(const char* format, Args... args) {
  if constexpr (!messages_built_in) __builtin_unreachable();
  format_message(format, args...);
  return song_rejected;
}

template <typename... Args>
int32_t reject(const ParseState& state, const char* format, Args... args) {
  if constexpr (!messages_built_in) __builtin_unreachable();
  if constexpr (sizeof...(args) == 0) {
    return format_rejection(state, "%s", format);
  } else {
    return format_rejection(state, format, args...);
  }
}

// Not the song's fault: every build keeps this test.
int32_t refuse_for_memory(const ParseState& state, int32_t instrument) {
  if constexpr (messages_built_in) {
    return format_rejection(state, "no memory for the sample of instrument %d", instrument);
  }
  return song_rejected;
}

// Read 64 bits wide on every platform, whatever the width of long; the language's numbers are
// 32-bit, so anything wider is refused rather than silently wrapped. A number beyond even
// 64 bits comes back as the 64-bit minimum or maximum, so the range check alone refuses it.
Number read_number(const char* text) {
  const int64_t wide = std::strtoll(text, nullptr, 10);
  if (wide < INT32_MIN || wide > INT32_MAX) return {0, false};
  return {static_cast<int32_t>(wide), true};
}

int32_t reject_number(const ParseState& state, const char* text) {
  return reject(state, "number \"%.40s\" is outside the 32-bit range", text);
}

// Both at once, so the copy never overtakes the reading position.
void remove_blanks_and_returns(char* text) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (*in != '\r' && *in != ' ') *out++ = *in;
  }
  *out = '\0';
}

// Every line is cut off before any is read, so a line's own cuts never hide the next line.
void split_lines(char* text, ParseState& state) {
  int32_t number = 1;
  char* cursor = text;
  while (state.line_count < max_song_lines) {
    for (; *cursor == '\n'; ++cursor) ++number;
    if (*cursor == '\0') return;
    state.lines[state.line_count++] = {cursor, number};
    cursor = std::strchr(cursor, '\n');
    if (cursor == nullptr) return;
    *cursor++ = '\0';
    ++number;
  }
}

// Items are separated by runs of commas; the cursor stays inside the line being read.
char* next_item(char*& cursor) {
  while (*cursor == ',') ++cursor;
  if (*cursor == '\0') return nullptr;
  char* item = cursor;
  while (*cursor != ',' && *cursor != '\0') ++cursor;
  if (*cursor == ',') *cursor++ = '\0';
  return item;
}

int split_items(char*& cursor, char** items, int capacity) {
  int count = 0;
  while (count < capacity) {
    char* item = next_item(cursor);
    if (item == nullptr) break;
    items[count++] = item;
  }
  return count;
}

bool echo_lines_exist() {
  for (const auto& line : echo_line) {
    if (line) return true;
  }
  return false;
}

int32_t tempo_line(const char* body, ParseState& state) {
  // Echo lines already made keep their length; a new one would have the mixer read past them.
  if (state.instrument_seen) return reject(state, "tempo line after an instrument line");
  const Number tempo = read_number(body);
  if (!tempo.in_range) return reject_number(state, body);
  if (tempo.value < lowest_tempo) {
    return reject(state, "tempo %d is missing or below %d", tempo.value, lowest_tempo);
  }
  // The song's formula works on 32-bit values; 64 bits give the same rows without overflow.
  const int64_t divisor = int64_t{tempo.value} * 10 / 25;
  const int64_t row = int64_t{sample_rate} * 6 / divisor;
  if (row < 1) return reject(state, "tempo %d leaves no frame in a row", tempo.value);
  if (row * 3 > INT32_MAX) return reject(state, "tempo %d makes echo lines too long", tempo.value);
  if (echo_lines_exist() && row * 3 != echo_length) {
    return reject(state, "tempo %d changes the length of existing echo lines", tempo.value);
  }
  samples_per_row = static_cast<int32_t>(row);
  echo_length = static_cast<int32_t>(row * 3);
  state.tempo_seen = true;
  return 0;
}

int32_t waveform_from_word(const char* word, int32_t current) {
  static constexpr std::array<const char*, waveform_count> words = {"kantti", "sini", "saha",
                                                                    "kohina"};
  for (int32_t i = 0; i < waveform_count; ++i) {
    if (std::strcmp(word, words[i]) == 0) return i;
  }
  return current;
}

// Reads a table index from the head's second character on, as the language does.
int32_t read_table_number(const char* head, int32_t count, const char* what,
                          const ParseState& state, int32_t& number) {
  const Number read = read_number(head + 1);
  if (!read.in_range) return reject_number(state, head + 1);
  if (read.value < 0 || read.value >= count) {
    return reject(state, "%s number %d is outside 0...%d", what, read.value, count - 1);
  }
  number = read.value;
  return 0;
}

// Rejects what would underflow the rendering or overflow the sample length.
int32_t check_lengths(const InstrumentParams& params, const ParseState& state) {
  const std::array<int32_t, 4> lengths = {params.attack_len, params.decay_len, params.sustain_len,
                                          params.release_len};
  for (const int32_t length : lengths) {
    if (length < 0) return reject(state, "length %d is negative", length);
  }
  if (params.attack_len == 0 && params.release_len == 0) {
    return reject(state, "attack and release lengths are both 0");
  }
  const int64_t total = int64_t{lengths[0]} + lengths[1] + lengths[2] + lengths[3] + 1;
  if (total > max_sample_frames) {
    return reject(state, "sample of %lld frames is longer than %lld", static_cast<long long>(total),
                  static_cast<long long>(max_sample_frames));
  }
  return 0;
}

// Bytes the instruments would hold once instrument n is replaced by a sample of frames frames.
int64_t instrument_memory_with(int32_t n, int64_t frames) {
  int64_t floats = frames + echo_length;
  for (int32_t k = 0; k < instrument_count; ++k) {
    if (k == n) continue;
    if (sample[k]) floats += sample_length[k];
    if (echo_line[k]) floats += echo_line_length[k];
  }
  return floats * static_cast<int64_t>(sizeof(float));
}

int32_t check_memory(int32_t n, const InstrumentParams& params, const ParseState& state) {
  const int64_t bytes = instrument_memory_with(n, instrument_length(params));
  if (bytes <= instrument_memory_budget) return 0;
  return reject(state, "instruments would take %lld MiB, more than the %lld MiB budget",
                static_cast<long long>((bytes + (1 << 20) - 1) >> 20),
                static_cast<long long>(instrument_memory_budget >> 20));
}

int32_t instrument_line(const char* head, char* body, ParseState& state) {
  int32_t n = 0;
  if (read_table_number(head, instrument_count, "instrument", state, n) < 0) return song_rejected;
  if (!state.tempo_seen) return reject(state, "instrument line before the tempo line");
  std::array<char*, max_instrument_items> items{};
  const int count = split_items(body, items.data(), max_instrument_items);
  if (count < required_instrument_items) {
    return reject(state, "instrument line has %d of its %d required items", count,
                  required_instrument_items);
  }
  std::array<int32_t, max_instrument_items> values{};  // items 2 on; item 7 is 0 when absent
  for (int i = 1; i < count; ++i) {
    const Number number = read_number(items[i]);
    if (!number.in_range) return reject_number(state, items[i]);
    values[i] = number.value;
  }
  const int32_t waveform = waveform_from_word(items[0], state.waveform);
  const InstrumentParams params = {waveform,  values[1], values[2], values[3],
                                   values[4], values[5], values[6]};
  if (check_lengths(params, state) < 0) return song_rejected;
  if (check_memory(n, params, state) < 0) return song_rejected;
  state.waveform = waveform;
  if (count > 7) pan[n] = static_cast<float>(values[7]) / 100.0f;
  if (count > 8) filter_coef[n] = static_cast<float>(values[8]) / 100.0f;
  if (!render_instrument(n, params)) {
    return refuse_for_memory(state, n);
  }
  state.instrument_seen = true;
#if !defined(KELVORINSAA_PARTY)
  instrument_waveform[n] = waveform;
#endif
  return 0;
}

using RowEntries = std::array<int32_t, max_entries>;
static_assert(pattern_width == track_width, "patterns and tracks share their row handling");

// Cuts a pattern or track body into its items; a body with more than a row holds is refused.
int32_t split_row(char* body, const char* what, int32_t n, const ParseState& state,
                  std::array<char*, max_entries>& items, int& count) {
  count = split_items(body, items.data(), max_entries);
  if (next_item(body) != nullptr) {
    return reject(state, "%s %d has more than %d entries", what, n, max_entries);
  }
  return 0;
}

// A longer earlier definition keeps its tail beyond the new end marker, never reached.
void store_row(std::array<int32_t, pattern_width>& row, const RowEntries& entries, int count) {
  std::copy_n(entries.begin(), count, row.begin());
  row[count] = end_marker;
}

// All entries are read into a scratch row first, so a faulty line leaves its pattern alone.
int32_t pattern_line(const char* head, char* body, ParseState& state) {
  int32_t n = 0;
  if (read_table_number(head, pattern_count, "pattern", state, n) < 0) return song_rejected;
  std::array<char*, max_entries> items{};
  int count = 0;
  if (split_row(body, "pattern", n, state, items, count) < 0) return song_rejected;
  RowEntries entries{};
  for (int i = 0; i < count; ++i) {
    entries[i] = note_lookup(items[i]);
    if (entries[i] != code_volume && entries[i] != code_slide) continue;
    if (i + 1 == count) return reject(state, "\"%s\" without its argument", items[i]);
    const Number argument = read_number(items[++i]);
    if (!argument.in_range) return reject_number(state, items[i]);
    entries[i] = argument.value;
  }
  store_row(patterns[n], entries, count);
  return 0;
}

// A negative pattern number is refused too: -3 would otherwise pass for the loop marker.
int32_t track_line(const char* head, char* body, ParseState& state) {
  int32_t n = 0;
  if (read_table_number(head, track_count, "track", state, n) < 0) return song_rejected;
  std::array<char*, max_entries> items{};
  int count = 0;
  if (split_row(body, "track", n, state, items, count) < 0) return song_rejected;
  RowEntries entries{};
  for (int i = 0; i < count; ++i) {
    if (std::strcmp(items[i], "loop") == 0) {
      entries[i] = loop_marker;
      continue;
    }
    const Number pattern = read_number(items[i] + 1);
    if (!pattern.in_range || pattern.value < 0 || pattern.value >= pattern_count) {
      return reject(state, "track entry \"%.40s\" names no pattern 0...%d", items[i],
                    pattern_count - 1);
    }
    entries[i] = pattern.value;
  }
  store_row(tracks[n], entries, count);
  if (n == 1) state.track_one_line = state.line_number;
  return 0;
}

int32_t interpret_line(char* line, ParseState& state) {
  if (line[0] == '#') return 0;
  while (*line == ':') ++line;
  if (*line == '\0') return 0;
  char* head = line;
  char* body = std::strchr(line, ':');
  if (body != nullptr) {
    *body++ = '\0';
  } else {
    body = line + std::strlen(line);
  }
  if (std::strcmp(head, "bpm") == 0) return tempo_line(body, state);
  switch (head[0]) {
    case 'i':
      return instrument_line(head, body, state);
    case 'p':
      return pattern_line(head, body, state);
    case 't':
      return track_line(head, body, state);
    default:
      return 0;
  }
}

// The mixer divides the frame number by the row length as soon as track 1 has entries.
int32_t check_playable(const ParseState& state) {
  if (tracks[1][0] == end_marker || samples_per_row > 0) return 0;
  if (state.track_one_line == 0) {
    return reject_song("end of song: track 1 plays but no tempo line has been read");
  }
  return reject_song("line %d: track 1 plays but the song has no tempo line", state.track_one_line);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads in chunks until the end, so pipes work as well as regular files.
bool read_whole_file(const char* path, std::vector<char>& buffer) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file) {
    set_error("cannot open %.300s: %s", path, std::strerror(errno));
    return false;
  }
  std::array<char, 65536> chunk;
  try {
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
      buffer.insert(buffer.end(), chunk.begin(), chunk.begin() + got);
    }
    const int read_error = errno;
    if (std::ferror(file.get())) {
      set_error("cannot read %.300s: %s", path, std::strerror(read_error));
      return false;
    }
    buffer.push_back('\0');
  } catch (const std::bad_alloc&) {
    set_error("cannot read %.300s: out of memory", path);
    return false;
  }
  return true;
}

}  // namespace

int32_t song_parse(char* text) {
  error_text[0] = '\0';
#if !defined(KELVORINSAA_PARTY)
  instrument_waveform.fill(-1);
#endif
  song_text = text;
  if (text == nullptr) return 0;
  remove_blanks_and_returns(text);
  ParseState state;
  split_lines(text, state);
  for (int32_t i = 0; i < state.line_count; ++i) {
    state.line_number = state.lines[i].number;
    if (interpret_line(state.lines[i].text, state) < 0) return song_rejected;
  }
  if (check_playable(state) < 0) return song_rejected;
  publish_song();  // the last write of the parse: the audio thread may start reading now
  return 0;
}

int32_t song_load(const char* path) {
  if (path == nullptr) {
    set_error("cannot open a song file without a name");
    return song_unreadable;
  }
  std::vector<char> buffer;
  if (!read_whole_file(path, buffer)) return song_unreadable;
  loaded_text = std::move(buffer);
  return song_parse(loaded_text.data());
}

const char* song_error() {
  return error_text.data();
}
