// The text ring's dot-matrix font and its message. Read-only tables, used on the main thread.
#pragma once

#include <array>
#include <cstdint>

constexpr int glyph_columns = 4;
constexpr int glyph_rows = 5;
constexpr int glyph_size = glyph_columns * glyph_rows;
constexpr int glyph_count = 11;  // ten letters and a blank
constexpr int message_length = 12;

// Glyph g is the 20 characters from 20 g: five rows of four, top row first; ' ' is unlit.
extern const std::array<char, glyph_count * glyph_size + 1> glyph_table;

// Glyph indices of the ring's cells, in drawing order.
extern const std::array<int8_t, message_length> message_glyphs;

inline bool glyph_cell_lit(int glyph, int row, int column) {
  return glyph_table[glyph * glyph_size + row * glyph_columns + column] != ' ';
}
