// Sound files the tools write through libsndfile: the kind a file name asks for, and 16-bit
// stereo at 44100 Hz opened in that kind. A WAV file of more than 4 GiB, which a plain RIFF header
// cannot count, is written as RF64. One thread per file.
//
// Usage:
//   SoundKind kind;
//   if (!sound_kind_of(name, kind)) puts(sound_kinds_text);
//   SNDFILE* file = sound_file_open(fd, kind, frames_planned, error);
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>

enum class SoundKind { raw, wav, flac, ogg, mp3 };

// The kinds by their extensions, as messages list them.
extern const char* const sound_kinds_text;  // ".wav, .flac, .ogg, .mp3 or .raw"

// The kind the name's extension asks for (case ignored; "-" is the raw stream). False when the
// name has none of the extensions.
bool sound_kind_of(const std::string& name, SoundKind& kind);
const char* sound_extension(SoundKind kind);  // ".wav"

// Opens fd (libsndfile closes it with the file, or at once on failure) for frames_planned frames of
// 16-bit stereo at the show's rate. Below 4 GiB a WAV file has the plain 44-byte RIFF header;
// beyond, RF64. nullptr with the reason in error.
SNDFILE* sound_file_open(int fd, SoundKind kind, int64_t frames_planned, std::string& error);

// libsndfile's message for a failure of file (nullptr: of the last open), as the tools put it:
// "No space left on device", not "System error : No space left on device.".
std::string sound_file_reason(SNDFILE* file);
std::string sound_file_reason(int code);
