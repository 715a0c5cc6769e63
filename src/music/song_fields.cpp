// The one table of the song's fields and keywords, and its JSON form for the studio. Constant
// data read from any thread; the JSON is built on the caller's.
#include "music/song_fields.h"

#include <iterator>

#include "music/song_model.h"
#include "shared/show_constants.h"

namespace {

constexpr int64_t none_below = no_bound_below, none_above = no_bound_above;

const SongField fields[] = {
    {LineKind::tempo,
     0,
     "tempo line",
     "",
     "the song's tempo",
     "the head \"bpm\", exactly",
     none_below,
     none_above,
     {}},
    {LineKind::tempo,
     1,
     "tempo",
     "bpm",
     "a row is (44100 x 6) / ((tempo x 10) / 25) frames, about a quarter of a beat; every echo "
     "line is three rows",
     "3 and up, while a row is at least a frame; one tempo line, before the instruments",
     none_below,
     none_above,
     {}},
    {LineKind::instrument,
     0,
     "instrument number",
     "",
     "instrument N is channel N's sample, pan and filter",
     "0 to 29",
     1,
     29,
     {{0, 0, "it never plays: channels start at 1"}}},
    {LineKind::instrument,
     1,
     "waveform",
     "",
     "the table the sample is made from: kantti square, sini sine, saha saw, kohina noise",
     "any word; one of the four names the table, another keeps the previous line's waveform",
     none_below,
     none_above,
     {}},
    {LineKind::instrument,
     2,
     "attack length",
     "frames",
     "the level rises from 0 by 1/attack per frame, to 1",
     "0 and up; not attack and release both 0; the four lengths at most 33,554,432 frames",
     none_below,
     none_above,
     {}},
    {LineKind::instrument,
     3,
     "decay length",
     "frames",
     "the level falls on by 1/attack per frame, to 1 - decay/attack (a decay longer than the "
     "attack gives a louder, inverted sustain)",
     "0 and up",
     none_below,
     none_above,
     {}},
    {LineKind::instrument,
     4,
     "sustain length",
     "frames",
     "the level is held",
     "0 and up",
     none_below,
     none_above,
     {}},
    {LineKind::instrument,
     5,
     "release length",
     "frames",
     "the level falls in a straight line to 0; the sample ends with it",
     "0 and up",
     none_below,
     none_above,
     {}},
    {LineKind::instrument,
     6,
     "mod rate",
     "hundredths of the base pitch",
     "ring modulation: the sample is multiplied by a sine at rate/100 times the base pitch "
     "(262.5 Hz); 0 is off",
     "any 32-bit number",
     none_below,
     none_above,
     {}},
    {LineKind::instrument,
     7,
     "pitch slide",
     "thousandths of the base pitch per cycle",
     "the pitch glides by slide/1000 of the base pitch every 168 frames; 0 when left out",
     "any 32-bit number",
     none_below,
     none_above,
     {}},
    {LineKind::instrument,
     8,
     "pan",
     "% to the left",
     "the share of the channel sent to the left output; the right gets the rest (when left out: "
     "40 on odd channels, 60 on even ones)",
     "any 32-bit number",
     0,
     100,
     {{none_below, -1, "one side plays the channel amplified, the other inverted"},
      {101, none_above, "one side plays the channel amplified, the other inverted"}}},
    {LineKind::instrument,
     9,
     "filter",
     "% low-pass",
     "the low-pass y = x (1 - c) + c y_before with c = filter/100; 0 (the default) is none",
     "any 32-bit number",
     0,
     99,
     {{101, none_above, "it grows without bound and the channel plays at full scale"},
      {100, 100, "it holds the channel at its first value, silence"},
      {none_below, -100, "it never settles and the channel rings at full scale"},
      {-99, -1, "it is no low-pass but lifts the highs"}}},
    {LineKind::pattern,
     0,
     "pattern number",
     "",
     "the number track lines name the pattern by",
     "0 to 999",
     none_below,
     none_above,
     {}},
    {LineKind::pattern,
     1,
     "row",
     "",
     "one row of the pattern: a note, a rest or a keyword; vol and sld take the next item",
     "any word; one that names no note or keyword is a rest",
     none_below,
     none_above,
     {}},
    {LineKind::track,
     0,
     "track number",
     "",
     "channel N plays track N",
     "0 to 29",
     1,
     29,
     {{0, 0, "it never plays: channels start at 1"}}},
    {LineKind::track,
     1,
     "track entry",
     "",
     "the pattern played next: its number is read from the second character on",
     "pN or loop",
     none_below,
     none_above,
     {}},
};

// After "vol" and "sld": item -1 and -2 of a pattern line, found by their own calls.
const SongField volume_argument = {
    LineKind::pattern,
    -1,
    "volume",
    "%",
    "the channel's gain from this row on: N/100",
    "any 32-bit number",
    0,
    100,
    {{none_below, -1, "it inverts the channel"},
     {101, none_above, "it plays the channel louder than its instrument"}}};
const SongField slide_argument = {
    LineKind::pattern,
    -2,
    "slide",
    "1/100000 per frame",
    "N/100000 added to the playback rate every frame the voice sounds, for this and later notes",
    "any 32-bit number",
    none_below,
    none_above,
    {}};

const SongKeyword keywords[] = {
    {LineKind::pattern, "echo1", "echo on: the channel's voice feeds its echo line"},
    {LineKind::pattern, "echo0", "echo off: the echo line only dies away"},
    {LineKind::pattern, "stop", "the note falls silent at once; its echo goes on"},
    {LineKind::pattern, "vol", "the channel's volume: the next item is the value in %"},
    {LineKind::pattern, "sld", "the channel's pitch slide: the next item in 1/100000 per frame"},
    {LineKind::pattern, "00", "a rest: a row without an event"},
    {LineKind::track, "loop", "back to the track's first entry"},
};

const char* const waveform_names[] = {"kantti", "sini", "saha", "kohina"};

const char* kind_word(LineKind kind) {
  switch (kind) {
    case LineKind::tempo:
      return "tempo";
    case LineKind::instrument:
      return "instrument";
    case LineKind::pattern:
      return "pattern";
    case LineKind::track:
      return "track";
  }
  return "";
}

std::string quoted_json(const char* text) {
  std::string out = "\"";
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '"' || *c == '\\') out.push_back('\\');
    out.push_back(*c);
  }
  return out + "\"";
}

std::string bound_json(int64_t value) {
  return value == none_below || value == none_above ? "null" : std::to_string(value);
}

std::string field_json(const SongField& field) {
  std::string out =
      "{\"kind\":" + quoted_json(kind_word(field.kind)) +
      ",\"item\":" + std::to_string(field.item) + ",\"name\":" + quoted_json(field.name) +
      ",\"unit\":" + quoted_json(field.unit) + ",\"meaning\":" + quoted_json(field.meaning) +
      ",\"takes\":" + quoted_json(field.takes) + ",\"low\":" + bound_json(field.low) +
      ",\"high\":" + bound_json(field.high) + ",\"outside\":[";
  for (int b = 0; b < max_outside_bands && field.outside[b].text != nullptr; ++b) {
    const OutsideBand& band = field.outside[b];
    out += std::string(b > 0 ? "," : "") + "{\"low\":" + bound_json(band.low) +
           ",\"high\":" + bound_json(band.high) + ",\"text\":" + quoted_json(band.text) + "}";
  }
  return out + "]}";
}

}  // namespace

const SongField* song_field(LineKind kind, int32_t item) {
  if (kind == LineKind::pattern || kind == LineKind::track) item = item > 1 ? 1 : item;
  for (const SongField& field : fields) {
    if (field.kind == kind && field.item == item) return &field;
  }
  return nullptr;
}

const char* field_fault(const SongField& field, int64_t value) {
  for (int b = 0; b < max_outside_bands && field.outside[b].text != nullptr; ++b) {
    if (value >= field.outside[b].low && value <= field.outside[b].high)
      return field.outside[b].text;
  }
  return nullptr;
}

std::string field_range_words(const SongField& field) {
  return std::to_string(field.low) + "..." + std::to_string(field.high);
}

const char* song_waveform_word(int32_t waveform) {
  return waveform >= 0 && waveform < static_cast<int32_t>(std::size(waveform_names))
             ? waveform_names[waveform]
             : "";
}

const SongField& volume_field() {
  return volume_argument;
}

const SongField& slide_field() {
  return slide_argument;
}

std::string song_fields_json() {
  std::string out = "{\"sampleRate\":" + std::to_string(show_sample_rate) +
                    ",\"basePitch\":" + std::to_string(base_pitch_hz) + ",\"fields\":[";
  for (const SongField& field : fields) out += field_json(field) + ",";
  out += field_json(volume_argument) + "," + field_json(slide_argument) + "],\"keywords\":[";
  for (size_t k = 0; k < std::size(keywords); ++k) {
    out += std::string(k > 0 ? "," : "") + "{\"kind\":" + quoted_json(kind_word(keywords[k].kind)) +
           ",\"word\":" + quoted_json(keywords[k].word) +
           ",\"meaning\":" + quoted_json(keywords[k].meaning) + "}";
  }
  out += "],\"notes\":[";
  bool first = true;
  for (const NoteName& note : note_table) {
    if (note.value <= 0) continue;  // keywords and the terminator
    out += std::string(first ? "" : ",") + "[" + quoted_json(note.name) + "," +
           std::to_string(note.value) + "]";
    first = false;
  }
  out += "],\"waveforms\":[";
  for (size_t w = 0; w < std::size(waveform_names); ++w) {
    out += std::string(w > 0 ? "," : "") + quoted_json(waveform_names[w]);
  }
  return out + "]}";
}
