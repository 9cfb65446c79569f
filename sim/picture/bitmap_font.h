// Words on the simulator's pictures (titles, legends, scale bars), in the
// vision overlay's 5x7 font; characters it lacks are drawn as '?'.
#pragma once

#include <string>

#include "picture/png_file.h"

namespace dockworld {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6; // one blank column between letters

// Width in pixels of `text` drawn `scale` times enlarged.
int textWidth(const std::string &text, int scale = 1);
// Draws `text` with its top-left corner at (x, y); characters the font
// lacks are drawn as '?'. Clipped at the picture's edges.
void drawText(Canvas &canvas, int x, int y, const std::string &text, Rgb colour, int scale = 1);

} // namespace dockworld
