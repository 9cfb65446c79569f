// Drawn inputs for the vision tests: label images with bright pixels,
// candidate lists, RGB frames with markers, and a plain reference labelling.
#pragma once

#include <cstdint>
#include <vector>

#include "blob.h"
#include "kelvix.h"

namespace visiontest {

// A BINARY image of the given size, all background.
kxImage *blankLabels(int width = 640, int height = 480);
// Sets sample (row, col) of a single-sample image to 255.
void brighten(kxImage *image, int row, int col);
void brightenRect(kxImage *image, int row, int col, int rows, int cols);
uint16_t sampleAt(const kxImage *image, int row, int col);

// A candidate record with the given centroid (seed and count are set to
// something recognisable so that whole-record copies can be checked).
BlobRecord candidate(int row, int col);

// Draws an RGB marker of the given pixels (row, col offsets from its
// top-left corner) at (row, col), in a grey level above the threshold.
struct Shape {
    std::vector<std::pair<int, int>> pixels;  // (row offset, column offset)
};
Shape rectShape(int rows, int cols);
Shape discShape(int radius);
void drawShapeRgb(kxImage *frame, const Shape &shape, int row, int col, uint16_t level = 200);

// Plain reference labelling: 8-connected components of the 255-samples of a
// single-sample image whose border is already background, found by
// breadth-first search over (row, col) neighbours. Components are listed in
// raster order of their first pixel.
struct Component {
    int seed;
    int count;
    int64_t rowSum;
    int64_t colSum;
};
std::vector<Component> referenceComponents(const kxImage *image);

} // namespace visiontest
