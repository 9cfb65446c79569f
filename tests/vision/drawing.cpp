#include "drawing.h"

#include <deque>

#include "test_support.h"

namespace visiontest {

kxImage *blankLabels(int width, int height) { return kxtest::makeImage(BINARY, width, height, 0); }

void brighten(kxImage *image, int row, int col) { image->data[row * image->width + col] = 255; }

void brightenRect(kxImage *image, int row, int col, int rows, int cols)
{
    for (int r = row; r < row + rows; ++r)
        for (int c = col; c < col + cols; ++c) brighten(image, r, c);
}

uint16_t sampleAt(const kxImage *image, int row, int col)
{
    return image->data[row * image->width + col];
}

BlobRecord candidate(int row, int col) { return BlobRecord{1, 1000 + row, row * 640 + col, row, col}; }

Shape rectShape(int rows, int cols)
{
    Shape shape;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) shape.pixels.emplace_back(r, c);
    return shape;
}

Shape discShape(int radius)
{
    Shape shape;
    for (int r = -radius; r <= radius; ++r)
        for (int c = -radius; c <= radius; ++c)
            if (r * r + c * c <= radius * radius) shape.pixels.emplace_back(r + radius, c + radius);
    return shape;
}

void drawShapeRgb(kxImage *frame, const Shape &shape, int row, int col, uint16_t level)
{
    for (auto [dr, dc] : shape.pixels) kxtest::setRgb(frame, col + dc, row + dr, level, level, level);
}

std::vector<Component> referenceComponents(const kxImage *image)
{
    const int width = image->width, height = image->height;
    std::vector<int> seen(static_cast<size_t>(width) * height, 0);
    std::vector<Component> components;
    for (int p = 0; p < width * height; ++p) {
        if (image->data[p] != 255 || seen[p]) continue;
        Component component{p, 0, 0, 0};
        std::deque<int> pending{p};
        seen[p] = 1;
        while (!pending.empty()) {
            int q = pending.front();
            pending.pop_front();
            int r = q / width, c = q % width;
            ++component.count;
            component.rowSum += r;
            component.colSum += c;
            for (int dr = -1; dr <= 1; ++dr) {
                for (int dc = -1; dc <= 1; ++dc) {
                    int nr = r + dr, nc = c + dc;
                    if (nr < 0 || nc < 0 || nr >= height || nc >= width) continue;
                    int n = nr * width + nc;
                    if (image->data[n] == 255 && !seen[n]) {
                        seen[n] = 1;
                        pending.push_back(n);
                    }
                }
            }
        }
        components.push_back(component);
    }
    return components;
}

} // namespace visiontest
