// The text ring's font: one 4 x 5 glyph per letter of the title, and a blank for the gap.
// Read-only, main thread.
#include "visuals/glyphs.h"

const std::array<char, (glyph_count * glyph_size) + 1> glyph_table = {
    // K
    "1  1"
    "1 1 "
    "11  "
    "1 1 "
    "1  1"
    // E
    "1111"
    "1   "
    "111 "
    "1   "
    "1111"
    // L
    "1   "
    "1   "
    "1   "
    "1   "
    "1111"
    // V
    "1  1"
    "1  1"
    "1  1"
    " 11 "
    " 11 "
    // O
    " 11 "
    "1  1"
    "1  1"
    "1  1"
    " 11 "
    // R
    "111 "
    "1  1"
    "111 "
    "1 1 "
    "1  1"
    // I
    "1111"
    " 11 "
    " 11 "
    " 11 "
    "1111"
    // N
    "1  1"
    "11 1"
    "1 11"
    "1  1"
    "1  1"
    // S
    " 111"
    "1   "
    " 11 "
    "   1"
    "111 "
    // A
    " 11 "
    "1  1"
    "1111"
    "1  1"
    "1  1"
    // blank
    "    "
    "    "
    "    "
    "    "
    "    "};

namespace {
enum Glyph : int8_t { k, e, l, v, o, r, i, n, s, a, blank };
}

const std::array<int8_t, message_length> message_glyphs = {k, e, l, v, o, r, i, n, s, a, a, blank};
