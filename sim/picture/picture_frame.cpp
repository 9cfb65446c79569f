#include "picture/picture_frame.h"

#include <algorithm>
#include <cmath>

#include "picture/bitmap_font.h"

namespace dockworld {

namespace {
constexpr int kTextScale = 2;
constexpr int kPad = 6;
constexpr int kLineHeight = kGlyphHeight * kTextScale + kPad; // one text line with its gap
constexpr int kSwatch = kGlyphHeight * kTextScale;
const Rgb kInk{20, 20, 20};
const Rgb kPaper{255, 255, 255};

// Where each legend item goes: its row, and its x in that row.
struct Placed {
    int row;
    int x;
};

std::vector<Placed> placeLegend(const std::vector<LegendItem> &legend, int width)
{
    std::vector<Placed> placed;
    int row = 0, x = kPad;
    for (const LegendItem &item : legend) {
        const int w = kSwatch + kPad / 2 + textWidth(item.label, kTextScale) + 2 * kPad;
        if (x > kPad && x + w > width) {
            ++row;
            x = kPad;
        }
        placed.push_back({row, x});
        x += w;
    }
    return placed;
}
} // namespace

Canvas framePicture(const Canvas &map, const std::string &title, const std::vector<LegendItem> &legend,
                    double pixelsPerMetre)
{
    const int width = std::max(map.width(), textWidth(title, kTextScale) + 2 * kPad);
    const std::vector<Placed> placed = placeLegend(legend, width);
    const int legendRows = placed.empty() ? 0 : placed.back().row + 1;
    const int top = kLineHeight + kPad;
    const int below = top + map.height() + kPad;
    Canvas out(width, below + (legendRows + 1) * kLineHeight + kPad, kPaper);
    drawText(out, kPad, kPad, title, kInk, kTextScale);
    for (int y = 0; y < map.height(); ++y)
        for (int x = 0; x < map.width(); ++x)
            out.set(x, top + y, map.at(x, y));
    for (size_t i = 0; i < legend.size(); ++i) {
        const int y = below + placed[i].row * kLineHeight;
        for (int dy = 0; dy < kSwatch; ++dy)
            for (int dx = 0; dx < kSwatch; ++dx)
                out.set(placed[i].x + dx, y + dy, legend[i].colour);
        drawText(out, placed[i].x + kSwatch + kPad / 2, y, legend[i].label, kInk, kTextScale);
    }
    // The scale bar: one metre, with end ticks, under the legend.
    const int y = below + legendRows * kLineHeight + kSwatch / 2;
    const int length = static_cast<int>(std::lround(pixelsPerMetre));
    out.line(kPad, y, kPad + length, y, kInk, 3);
    for (int end : {kPad, kPad + length})
        out.line(end, y - kSwatch / 2, end, y + kSwatch / 2, kInk, 2);
    drawText(out, kPad + length + kPad, y - kSwatch / 2, "1 m", kInk, kTextScale);
    return out;
}

} // namespace dockworld
