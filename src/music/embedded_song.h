// The song the show plays, compiled in from song.txt as writable text (the parser edits it in
// place).
#pragma once

#include <cstdint>

extern char embedded_song_text[];           // NUL-terminated; parse it at most once
extern const int32_t embedded_song_length;  // bytes before the NUL
