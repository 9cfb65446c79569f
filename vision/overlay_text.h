// Text for picture overlays: a 5 x 7 pixel font of capital letters, digits
// and a little punctuation, painted straight into RGB images.
#pragma once

#include <cstdint>

#include "kelvix.h"

// Width and height of one character cell, one blank column and row included.
constexpr int32_t kTextCellWidth = 6;
constexpr int32_t kTextCellHeight = 8;

// The glyph of `character` (upper- and lower-case letters, digits, space and
// some punctuation): 7 rows of 5 bits, bit 4 the leftmost column; null when
// the font has none. One font for every picture the system draws.
const uint8_t *textGlyph(char character);

// Paints `text` with its first cell's top-left corner at (x, y). Lower-case
// letters are shown as capitals; characters without a glyph leave a blank
// cell. Only pixels inside the image are painted; a non-RGB image is left
// alone. Returns the column just after the last cell.
int32_t drawText(kxImage *image, int32_t x, int32_t y, const char *text, uint8_t r, uint8_t g,
                 uint8_t b);
