// Helpers of the pixel-operation suites: one-pixel conversions and whole-image
// comparisons.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

namespace pixeltest {

using Conversion = int32_t (*)(const kxImage *, const kxWindow *, kxImage *);

// Converts one pixel with the given channels; the result's channels (as many
// as the output format has). Fails the test if the conversion fails.
std::vector<uint16_t> convertPixel(Conversion conversion, kxFormat from, std::vector<uint16_t> in);

// Every channel of every pixel, row by row.
std::vector<uint16_t> valuesOf(const kxImage *image);

// Positions (x, y) of the RGB pixels that differ from `background`, as
// "x,y" strings in row order; used to compare drawings with expected masks.
std::vector<std::string> paintedPixels(const kxImage *image, uint16_t background = 0);

} // namespace pixeltest
