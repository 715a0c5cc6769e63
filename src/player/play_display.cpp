// The lines of the player's display, from its facts and the status the audio thread keeps. Main
// thread.
#include "play_display.h"

#include <cmath>
#include <cstdio>

#include "music/song_view.h"
#include "play_state.h"

namespace {

constexpr int display_width = 80;
constexpr int meter_width = 12;
constexpr double meter_floor_db = -48.0;

std::string meter(float peak) {
  const double db = peak > 0.0f ? 20.0 * std::log10(peak / 3.0) : meter_floor_db;
  // Clamped before it becomes a count: a huge volume or filter can take a channel to infinity.
  const double cells = (db - meter_floor_db) / -meter_floor_db * meter_width + 0.5;
  const int filled =
      cells <= 0.0 ? 0 : (cells >= meter_width ? meter_width : static_cast<int>(cells));
  return std::string(filled, '#') + std::string(meter_width - filled, '.');
}

std::string fit(std::string line) {
  if (static_cast<int>(line.size()) > display_width) line.resize(display_width);
  return line;
}

std::string channel_line(int32_t k, const DisplayFacts& facts) {
  const ChannelStatus& status = player_status.channels[k];
  ChannelView last;
  last.has_event = status.last_event.load(std::memory_order_relaxed) != 0;
  last.event = status.last_event.load(std::memory_order_relaxed);
  last.argument = status.last_argument.load(std::memory_order_relaxed);
  char event[24];
  event_text(last, event, sizeof event);
  const char* mark = (facts.soloed >> k & 1u) ? "solo" : (facts.mute_mask >> k & 1u) ? "mute" : "";
  char line[128];
  if (status.finished.load(std::memory_order_relaxed)) {
    std::snprintf(line, sizeof line, "%3d  %-18s %-8s %s %s", k, "track ended", event,
                  meter(status.peak.load(std::memory_order_relaxed)).c_str(), mark);
  } else {
    std::snprintf(line, sizeof line, "%3d  %5d  p%-4d %4d   %-8s %s %s", k,
                  status.entry.load(std::memory_order_relaxed),
                  status.pattern.load(std::memory_order_relaxed),
                  status.row.load(std::memory_order_relaxed), last.has_event ? event : "",
                  meter(status.peak.load(std::memory_order_relaxed)).c_str(), mark);
  }
  return line;
}

}  // namespace

std::vector<std::string> display_lines(const DisplayFacts& facts) {
  std::vector<std::string> lines;
  char line[160];
  std::snprintf(line, sizeof line, "kelvorinsaa-play  %s  [%s]", facts.song.c_str(),
                facts.state.c_str());
  lines.push_back(fit(line));
  const int64_t row = facts.row;
  std::snprintf(line, sizeof line, "time %2d:%05.2f  row %5lld of %lld  bar %lld.%02lld",
                static_cast<int>(facts.seconds / 60), std::fmod(facts.seconds, 60.0),
                static_cast<long long>(row), static_cast<long long>(facts.end_row),
                static_cast<long long>(row / 16 + 1), static_cast<long long>(row % 16 + 1));
  lines.push_back(fit(line));
  std::snprintf(line, sizeof line,
                "peak %6.1f dBFS  clipped %lld frames  callback load %4.1f%% (worst %4.1f%%)",
                facts.peak_dbfs, static_cast<long long>(facts.clipped), 100.0 * facts.load,
                100.0 * facts.worst_load);
  lines.push_back(fit(line));
  lines.push_back(fit("  ch  entry  pat    row   event    level"));
  for (int32_t k = 1; k <= facts.last_channel; ++k) lines.push_back(fit(channel_line(k, facts)));
  if (!facts.message.empty()) lines.push_back(fit(facts.message));
  for (size_t i = 0; i < facts.warnings.size() && i < 4; ++i)
    lines.push_back(fit(facts.warnings[i]));
  if (facts.warnings.size() > 4) {
    lines.push_back(fit("... " + std::to_string(facts.warnings.size() - 4) + " more warnings"));
  }
  lines.push_back(
      fit("space pause  <- -> 16 rows  up down 64  1-0 mute  s+digit solo  r reload  q quit"));
  return lines;
}
