// What makes a top-down picture readable on its own: a title line with the
// result above it, and below it a legend (each colour with what it means)
// and a scale bar in metres.
#pragma once

#include <string>
#include <vector>

#include "picture/png_file.h"

namespace dockworld {

struct LegendItem {
    Rgb colour;
    std::string label;
};

// A new picture: `title` above `map`, then the legend's swatches with their
// labels (as many to a row as fit) and a 1 m scale bar for a map of
// `pixelsPerMetre`.
Canvas framePicture(const Canvas &map, const std::string &title, const std::vector<LegendItem> &legend,
                    double pixelsPerMetre);

} // namespace dockworld
