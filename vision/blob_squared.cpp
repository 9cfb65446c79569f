// Filled rectangles in the vision program's one-channel frames.
#include "blob.h"

#include <algorithm>

#include "pixel_internal.h"

namespace {
// Rows of the frames this is meant for: 640 values each.
constexpr long long kFrameColumns = 640;
} // namespace

void kxPutSquared(kxImage *image, int32_t row, int32_t column, int32_t columns, int32_t rows)
{
    // The row length is fixed, so the rectangle is clipped to 640 columns and
    // to the values the buffer really holds: a rectangle over the edge of the
    // frame neither wraps into the next row nor leaves the buffer.
    const long long values = static_cast<long long>(_kxImageValues(image));
    const long long firstColumn = std::max<long long>(column, 0);
    const long long endColumn = std::min<long long>((long long)column + columns, kFrameColumns);
    const long long endRow = (long long)row + rows;
    for (long long r = std::max<long long>(row, 0); r < endRow; ++r) {
        const long long base = r * kFrameColumns;
        if (base + firstColumn >= values) break;
        const long long end = std::min(base + endColumn, values);
        for (long long index = base + firstColumn; index < end; ++index) image->data[index] = 255;
    }
}
