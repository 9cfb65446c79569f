// Text for picture overlays: a 5 x 7 pixel font of capital letters, digits
// and a little punctuation, painted straight into RGB images.
#pragma once

#include <cstdint>

#include "kelvix.h"

// Width and height of one character cell, one blank column and row included.
constexpr int32_t kTextCellWidth = 6;
constexpr int32_t kTextCellHeight = 8;

// Paints `text` with its first cell's top-left corner at (x, y). Lower-case
// letters are shown as capitals; characters without a glyph leave a blank
// cell. Only pixels inside the image are painted; a non-RGB image is left
// alone. Returns the column just after the last cell.
int32_t drawText(kxImage *image, int32_t x, int32_t y, const char *text, uint8_t r, uint8_t g,
                 uint8_t b);
