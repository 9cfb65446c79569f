#include "picture/bitmap_font.h"

#include <cstdint>

#include "overlay_text.h"

namespace dockworld {

namespace {

const uint8_t *glyphFor(char c)
{
    const uint8_t *glyph = textGlyph(c);
    return glyph ? glyph : textGlyph('?');
}

} // namespace

int textWidth(const std::string &text, int scale)
{
    return text.empty() ? 0 : (static_cast<int>(text.size()) * kGlyphAdvance - 1) * scale;
}

void drawText(Canvas &canvas, int x, int y, const std::string &text, Rgb colour, int scale)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t *g = glyphFor(text[i]);
        const int left = x + static_cast<int>(i) * kGlyphAdvance * scale;
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int col = 0; col < kGlyphWidth; ++col)
                if (g[row] & (0x10 >> col))
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx)
                            canvas.set(left + col * scale + dx, y + row * scale + dy, colour);
    }
}

} // namespace dockworld
