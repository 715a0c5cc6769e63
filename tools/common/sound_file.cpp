// Sound file kinds by name and their libsndfile formats; the WAV header that fits the length.
#include "sound_file.h"

#include <unistd.h>

#include <cctype>
#include <cstring>

#include "shared/show_constants.h"

namespace {

struct KindName {
  SoundKind kind;
  const char* extension;
  int format;
};

constexpr KindName kinds[] = {{SoundKind::wav, ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                              {SoundKind::flac, ".flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                              {SoundKind::ogg, ".ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                              {SoundKind::mp3, ".mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                              {SoundKind::raw, ".raw", 0}};

constexpr int64_t frame_bytes = 4;
// A RIFF header counts the bytes after its first 8 in 32 bits: 36 header bytes and the data.
constexpr int64_t riff_header_rest = 36;
constexpr int64_t riff_frames_max = (int64_t{0xFFFFFFFF} - riff_header_rest) / frame_bytes;

bool ends_with_folded(const std::string& name, const char* tail) {
  const size_t n = std::strlen(tail);
  if (name.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[name.size() - n + i]);
    if (std::tolower(c) != tail[i]) return false;
  }
  return true;
}

}  // namespace

const char* const sound_kinds_text = ".wav, .flac, .ogg, .mp3 or .raw";

bool sound_kind_of(const std::string& name, SoundKind& kind) {
  if (name == "-") {
    kind = SoundKind::raw;
    return true;
  }
  for (const KindName& known : kinds) {
    if (!ends_with_folded(name, known.extension)) continue;
    kind = known.kind;
    return true;
  }
  return false;
}

const char* sound_extension(SoundKind kind) {
  for (const KindName& known : kinds) {
    if (known.kind == kind) return known.extension;
  }
  return "";
}

SNDFILE* sound_file_open(int fd, SoundKind kind, int64_t frames_planned, std::string& error) {
  SF_INFO info{};
  info.samplerate = show_sample_rate;
  info.channels = 2;
  for (const KindName& known : kinds) {
    if (known.kind == kind) info.format = known.format;
  }
  const bool past_riff = kind == SoundKind::wav && frames_planned > riff_frames_max;
  if (past_riff) info.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (file == nullptr) {
    error = sound_file_reason(nullptr);
    return nullptr;
  }
  // Should fewer frames come than planned, the file is the plain WAV it then fits in.
  if (past_riff) sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  return file;
}

namespace {

std::string as_reason(std::string text) {
  const std::string system_prefix = "System error : ";
  if (text.compare(0, system_prefix.size(), system_prefix) == 0)
    text.erase(0, system_prefix.size());
  while (!text.empty() && (text.back() == '.' || text.back() == '\n')) text.pop_back();
  return text;
}

}  // namespace

std::string sound_file_reason(SNDFILE* file) {
  return as_reason(sf_strerror(file));
}

std::string sound_file_reason(int code) {
  return as_reason(sf_error_number(code));
}
