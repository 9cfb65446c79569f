// Helpers of the pixel-operation suites: one-pixel conversions and whole-image
// comparisons.
#pragma once

#include <set>
#include <utility>
#include <vector>

#include "test_support.h"

namespace pixeltest {

using Conversion = int32_t (*)(const kxImage *, const kxWindow *, kxImage *);

// Converts one pixel with the given channels; the result's channels (as many
// as the output format has). Fails the test if the conversion fails.
std::vector<uint16_t> convertPixel(Conversion conversion, kxFormat from, std::vector<uint16_t> in);

// Every channel of every pixel, row by row.
std::vector<uint16_t> valuesOf(const kxImage *image);

using Pixels = std::set<std::pair<int, int>>;  // (x, y) positions

// Positions of the RGB pixels with a channel other than `background`; used
// to compare drawings with expected masks.
Pixels paintedPixels(const kxImage *image, uint16_t background = 0);
// Positions of the RGB pixels whose three channels are exactly (r, g, b).
Pixels pixelsOfColour(const kxImage *image, uint16_t r, uint16_t g, uint16_t b);

} // namespace pixeltest
