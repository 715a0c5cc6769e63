// Song warnings: reads the text as the parser does to find words it forgives, then checks the
// parsed model (tracks, instruments, the length, the clipping of a mix). Main thread.
#include "music/song_lint.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "music/mixer.h"
#include "music/sequencer.h"
#include "music/song_fields.h"
#include "music/song_model.h"
#include "music/song_parser.h"
#include "music/synth.h"
#include "shared/show_constants.h"
#include "shared/work_limits.h"

namespace {

constexpr int32_t clip_value = 32766;  // what the mixer writes for a sum beyond full scale
constexpr size_t max_clip_warnings = 8;
constexpr int64_t clip_gap_rows = 16;  // clipped rows closer than a bar make one stretch
// The show's length; a fuzz build looks at its first sixteen buffers only.
constexpr int64_t clip_check_frames = fuzz_limits ? 16 * callback_frames : show_frames;
constexpr size_t quoted_length = 24;  // longer words are cut in the warnings
// Items 2 to 9 of an instrument line are numbers; the parser reads no further.
constexpr int32_t pan_item = 8, filter_item = 9, instrument_items = 9;

struct SongLines {
  std::array<int32_t, pattern_count> pattern_line{};  // 0: no pattern line
  std::array<int32_t, track_count> track_line{};
  std::array<int32_t, instrument_count> instrument_line{};
  std::array<std::vector<int32_t>, track_count> track_patterns;
};

struct Lint {
  SongLint result;
  SongLines lines;
  int32_t waveform = waveform_square;

  void warn(int32_t line, std::string text) { result.warnings.push_back({line, std::move(text)}); }
};

// A word of the song as the warnings show it: quoted, cut when long, and with bytes a terminal
// would act on shown as "?".
std::string quoted(const std::string& word) {
  std::string shown = "\"";
  for (size_t i = 0; i < word.size() && i < quoted_length; ++i) {
    const unsigned char c = static_cast<unsigned char>(word[i]);
    shown.push_back(c < 32 || c >= 127 ? '?' : word[i]);
  }
  return shown + (word.size() > quoted_length ? "...\"" : "\"");
}

// Whether the parser's number reading takes the whole word; it takes the leading digits of
// any word and reads a word without them as 0.
bool whole_number(const std::string& word) {
  const char* start = word.c_str();
  char* end = nullptr;
  std::strtoll(start, &end, 10);
  return end != start && *end == '\0';
}

int64_t number_value(const std::string& word) {
  return std::strtoll(word.c_str(), nullptr, 10);
}

std::string number_reading(const std::string& word) {
  return std::to_string(std::strtoll(word.c_str(), nullptr, 10));
}

std::vector<std::string> split(const std::string& body, char separator) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= body.size()) {
    const size_t end = std::min(body.find(separator, start), body.size());
    if (end > start) items.push_back(body.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

int32_t head_number(const std::string& head) {
  return static_cast<int32_t>(std::strtoll(head.c_str() + 1, nullptr, 10));
}

// The number of an instrument, pattern or track line follows its first letter. Channel 0 is
// never played, so neither are its track and its instrument.
void check_head_number(Lint& lint, int32_t line, const std::string& head, const char* kind) {
  const std::string number = head.substr(1);
  if (whole_number(number)) {
    if (head[0] != 'p' && number_value(number) == 0)
      lint.warn(line, std::string(kind) + " 0 never plays: channels start at 1");
    return;
  }
  lint.warn(line, quoted(head) + " reads as " + kind + " " + number_reading(number) + ": " +
                      (number.empty() ? "no number follows" : quoted(number) + " is no number"));
}

// Lengths, rates, pan and filter, and the arguments of vol and sld.
void check_number(Lint& lint, int32_t line, const std::string& word, const std::string& what,
                  const std::string& whose) {
  if (whole_number(word)) return;
  lint.warn(line, what + " " + quoted(word) + " " + whose + " is no number: it reads as " +
                      number_reading(word));
}

// A number outside the range where its field does what its name says, in the table's words.
void check_range(Lint& lint, int32_t line, const SongField& field, int64_t value,
                 const std::string& whose) {
  const char* fault = field_fault(field, value);
  if (fault == nullptr) return;
  lint.warn(line, std::string(field.name) + " " + std::to_string(value) + " " + whose +
                      " is outside " + field_range_words(field) + ": " + fault);
}

// Pan, filter and what the parser never reads.
void check_instrument_values(Lint& lint, int32_t line, const std::vector<std::string>& items,
                             const std::string& instrument) {
  for (const int32_t item : {pan_item, filter_item}) {
    if (items.size() >= static_cast<size_t>(item)) {
      check_range(lint, line, *song_field(LineKind::instrument, item),
                  number_value(items[item - 1]), "of " + instrument);
    }
  }
  if (items.size() > static_cast<size_t>(instrument_items)) {
    lint.warn(line, "items " + std::to_string(instrument_items + 1) + " and on of " + instrument +
                        " are ignored: an instrument line has 9 (waveform, 4 lengths, mod rate, "
                        "pitch slide, pan, filter)");
  }
}

void instrument_words(Lint& lint, int32_t line, const std::string& head,
                      const std::vector<std::string>& items) {
  const int32_t n = head_number(head);
  check_head_number(lint, line, head, "instrument");
  if (n >= 0 && n < instrument_count) lint.lines.instrument_line[n] = line;
  if (items.empty()) return;
  const std::string instrument = "instrument " + std::to_string(n);
  for (size_t i = 1; i < items.size() && i < static_cast<size_t>(instrument_items); ++i) {
    const SongField* field = song_field(LineKind::instrument, static_cast<int32_t>(i + 1));
    check_number(lint, line, items[i], field->name, "of " + instrument);
  }
  check_instrument_values(lint, line, items, instrument);
  for (int32_t w = 0; w < waveform_count; ++w) {
    if (items[0] == song_waveform_word(w)) {
      lint.waveform = w;
      return;
    }
  }
  lint.warn(line, "unknown waveform " + quoted(items[0]) + ": " + instrument + " keeps " +
                      song_waveform_word(lint.waveform));
}

void pattern_words(Lint& lint, int32_t line, const std::string& head,
                   const std::vector<std::string>& items) {
  const int32_t n = head_number(head);
  check_head_number(lint, line, head, "pattern");
  if (n >= 0 && n < pattern_count) lint.lines.pattern_line[n] = line;
  for (size_t i = 0; i < items.size(); ++i) {
    const int32_t code = note_lookup(items[i].c_str());
    if (code == code_volume || code == code_slide) {
      // The argument is a number, not a word.
      if (++i < items.size()) {
        const std::string whose = "of " + items[i - 1] + " in pattern " + std::to_string(n);
        check_number(lint, line, items[i], "argument", whose);
        if (code == code_volume) {
          check_range(lint, line, volume_field(), number_value(items[i]),
                      "in pattern " + std::to_string(n));
        }
      }
    } else if (code == 0 && items[i] != "0" && items[i] != "00") {
      lint.warn(line, quoted(items[i]) + " in pattern " + std::to_string(n) +
                          " is no note or keyword: it plays as a rest");
    }
  }
}

void track_words(Lint& lint, int32_t line, const std::string& head,
                 const std::vector<std::string>& items) {
  const int32_t n = head_number(head);
  check_head_number(lint, line, head, "track");
  if (n < 0 || n >= track_count) return;
  lint.lines.track_line[n] = line;
  lint.lines.track_patterns[n].clear();
  for (const std::string& item : items) {
    if (item == "loop") continue;
    lint.lines.track_patterns[n].push_back(head_number(item));
    const std::string entry = "track entry " + quoted(item) + " of track " + std::to_string(n);
    if (!whole_number(item.substr(1))) {
      lint.warn(line,
                entry + " names no pattern: it reads as pattern " + number_reading(item.substr(1)));
    } else if (item[0] >= '0' && item[0] <= '9') {
      lint.warn(line, entry + " reads as pattern " + number_reading(item.substr(1)) +
                          ": its first character is skipped (write p" + item + ")");
    }
  }
}

// Lines of no kind the parser knows are skipped whole, typos in a head included.
void unknown_line(Lint& lint, int32_t line, std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  lint.warn(line, quoted(text) +
                      " is no tempo, instrument, pattern or track line: it is ignored "
                      "(comments start with #)");
}

void tempo_words(Lint& lint, int32_t line, const std::string& body) {
  const std::string tempo = body.substr(0, body.find(':'));
  if (!whole_number(tempo)) {
    lint.warn(line, "tempo " + quoted(tempo) + " reads as " + number_reading(tempo));
  }
}

void read_line(Lint& lint, int32_t line, const std::string& raw, const std::string& compact) {
  const size_t head_start = compact.find_first_not_of(':');
  if (compact[0] == '#' || head_start == std::string::npos) return;
  const size_t colon = compact.find(':', head_start);
  const std::string head = compact.substr(head_start, colon - head_start);
  const std::string body = colon == std::string::npos ? "" : compact.substr(colon + 1);
  const std::vector<std::string> items = split(body, ',');
  if (head == "bpm") {
    tempo_words(lint, line, body);
  } else if (head[0] == 'i') {
    instrument_words(lint, line, head, items);
  } else if (head[0] == 'p') {
    pattern_words(lint, line, head, items);
  } else if (head[0] == 't') {
    track_words(lint, line, head, items);
  } else {
    unknown_line(lint, line, raw);
  }
}

// The same cuts as the parser: the text ends at a NUL byte, blanks and returns removed, runs of
// line feeds, at most 1000 lines, "#" comments, a head before the first ":" that follows any
// leading ones.
void read_words(Lint& lint, const std::string& whole_text) {
  const size_t nul = whole_text.find('\0');
  const std::string text = whole_text.substr(0, nul);
  int32_t line = 1;
  int32_t lines_taken = 0;
  for (size_t start = 0; start < text.size(); ++line) {
    const size_t end = std::min(text.find('\n', start), text.size());
    std::string compact;
    for (size_t i = start; i < end; ++i) {
      if (text[i] != ' ' && text[i] != '\r') compact.push_back(text[i]);
    }
    if (!compact.empty() && lines_taken == max_song_lines) {
      lint.warn(line, "this line and all after it are ignored: a song has at most " +
                          std::to_string(max_song_lines) + " lines, comments included");
      return;
    }
    if (!compact.empty()) {
      ++lines_taken;
      read_line(lint, line, text.substr(start, end - start), compact);
    }
    start = end + 1;
  }
  if (nul != std::string::npos &&
      whole_text.find_first_not_of(std::string("\0\n\r ", 4), nul) != std::string::npos) {
    const int32_t nul_line = 1 + static_cast<int32_t>(std::count(text.begin(), text.end(), '\n'));
    lint.warn(nul_line, "the text after a NUL byte is ignored");
  }
}

bool parse_fresh(const std::string& text, std::string& error) {
  song_model_clear();
  synth_init(show_sample_rate);
  static std::string copy;  // the parser keeps song_text pointing into it
  copy = text;
  if (song_parse(copy.data()) >= 0) return true;
  error = song_error();
  return false;
}

void check_tracks(Lint& lint, int32_t last_channel) {
  const SongLines& lines = lint.lines;
  for (int32_t t = 1; t < track_count; ++t) {
    if (lines.track_line[t] == 0) continue;
    if (t > last_channel && tracks[t][0] != end_marker) {
      lint.warn(lines.track_line[t], "track " + std::to_string(t) + " will never play: track " +
                                         std::to_string(last_channel + 1) + " before it is empty");
    }
    std::vector<int32_t> named;
    for (const int32_t p : lines.track_patterns[t]) {
      if (p < 0 || p >= pattern_count || lines.pattern_line[p] != 0) continue;
      if (std::find(named.begin(), named.end(), p) != named.end()) continue;
      named.push_back(p);
      lint.warn(lines.track_line[t], "track " + std::to_string(t) + " names pattern " +
                                         std::to_string(p) + ", which no pattern line defines");
    }
  }
  for (int32_t k = 1; k <= last_channel; ++k) {
    if (lines.instrument_line[k] != 0) continue;
    lint.warn(lines.track_line[k], "channel " + std::to_string(k) + " plays track " +
                                       std::to_string(k) + " but has no instrument line i" +
                                       std::to_string(k) + ": it stays silent");
  }
}

// Ticks the sequencer through the show's rows; a song all of whose tracks finish earlier is short.
void check_length(Lint& lint, int32_t last_channel) {
  if (last_channel == 0) {
    lint.warn(0, "track 1 is empty: the song is silent");
    return;
  }
  for (int32_t row = 1; row <= show_end_row; ++row) {
    row_tick(last_channel);
    int32_t playing = 0;
    for (int32_t k = 1; k <= last_channel; ++k) {
      if (track_pos[k] != track_finished) playing = k;
    }
    if (playing == 0) {
      const int32_t rows = row - 1;
      lint.warn(0, "the tracks end after " + std::to_string(rows) + (rows == 1 ? " row" : " rows") +
                       ", before the show's " + std::to_string(show_end_row));
      return;
    }
  }
}

void warn_clipping(Lint& lint, int64_t first_row, int64_t last_row, int64_t frames) {
  if (lint.result.warnings.size() > 64) return;
  lint.warn(0, "rows " + std::to_string(first_row) + "-" + std::to_string(last_row) + " clip (" +
                   std::to_string(frames) + " frames at full scale)");
}

// Mixes the show's length and reports each run of rows with clipped frames in it.
void check_clipping(Lint& lint) {
  const int32_t row_frames = samples_per_row;
  if (row_frames <= 0) return;
  std::vector<int16_t> buffer(2 * callback_frames);
  int64_t first = -1, last = -1, clipped = 0;
  size_t reported = 0;
  for (int64_t done = 0; done < clip_check_frames; done += callback_frames) {
    mix_frames(buffer.data(), callback_frames);
    for (int32_t f = 0; f < callback_frames; ++f) {
      if (std::abs(buffer[2 * f]) < clip_value && std::abs(buffer[2 * f + 1]) < clip_value)
        continue;
      const int64_t row = (done + f) / row_frames;
      if (first >= 0 && row > last + clip_gap_rows) {
        if (reported++ < max_clip_warnings) warn_clipping(lint, first, last, clipped);
        first = -1;
      }
      if (first < 0) first = row, clipped = 0;
      last = row;
      ++clipped;
    }
  }
  if (first >= 0 && reported++ < max_clip_warnings) warn_clipping(lint, first, last, clipped);
  if (reported > max_clip_warnings) {
    lint.warn(0, std::to_string(reported - max_clip_warnings) + " more stretches clip");
  }
}

}  // namespace

SongLint song_lint(const std::string& text, bool clipping) {
  Lint lint;
  if (!parse_fresh(text, lint.result.error)) {
    lint.result.rejected = true;
    return lint.result;
  }
  if (const char* reason = song_unplayable_reason()) lint.warn(0, reason);
  read_words(lint, text);
  const int32_t last_channel = walk_end();
  check_tracks(lint, last_channel);
  check_length(lint, last_channel);
  if (clipping && last_channel > 0 && parse_fresh(text, lint.result.error)) check_clipping(lint);
  // By line, the warnings about the whole song last.
  std::stable_sort(lint.result.warnings.begin(), lint.result.warnings.end(),
                   [](const LintWarning& a, const LintWarning& b) {
                     return (a.line == 0 ? INT32_MAX : a.line) < (b.line == 0 ? INT32_MAX : b.line);
                   });
  return lint.result;
}

const char* song_unplayable_reason() {
  return samples_per_row > 0 ? nullptr : "no tempo line (bpm:N), nothing to play";
}

std::string lint_line(const LintWarning& warning) {
  if (warning.line == 0) return "song: " + warning.text;
  return "line " + std::to_string(warning.line) + ": " + warning.text;
}
