// Blob labelling and centroids on single-sample label images.
#include "blob.h"

#include <cstddef>
#include <cstdio>

#include "blob_fill.h"
#include "blob_scan.h"

namespace {

bool singleSample(const kxImage *image)
{
    return image->data && (image->format == GRAY || image->format == BINARY) && image->width > 0 &&
           image->height > 0;
}

} // namespace

void clearBorders(kxImage *image)
{
    if (!image || !singleSample(image)) {
        puts("clearBorders: error: illegal image");
        return;
    }
    // Rows are stepped by the image's own width: for the 640-wide frames of
    // the vision loop that is the fixed stride of 640, and no other width can
    // send the column pass outside the buffer.
    const size_t width = static_cast<size_t>(image->width);
    const size_t height = static_cast<size_t>(image->height);
    uint16_t *data = image->data;
    uint16_t *lastRow = data + (height - 1) * width;
    for (size_t c = 0; c < width; ++c) {
        data[c] = kBlobBackground;
        lastRow[c] = kBlobBackground;
    }
    for (size_t r = 0; r < height; ++r) {
        data[r * width] = kBlobBackground;
        data[r * width + width - 1] = kBlobBackground;
    }
}

void kxFindBlob(kxImage *image, int32_t b, int32_t row, int32_t col, BlobRecord *table)
{
    if (!image || !table || !singleSample(image)) {
        puts("kxFindBlob: error: illegal parameter");
        return;
    }
    if (b < 0 || b >= kBlobNumberLimit) {
        puts("kxFindBlob: error: illegal blob number");
        return;
    }
    const ptrdiff_t width = image->width;
    const ptrdiff_t pixels = width * image->height;
    // Only the index is tested, as for the neighbours: a column outside
    // 0..width-1 names a pixel of the row before or after.
    const ptrdiff_t index = static_cast<ptrdiff_t>(row) * width + col;
    if (index < 0 || index >= pixels || image->data[index] != kBlobUnlabelled) return;

    int64_t labelled = 0;
    if (!fillRegion(image->data, width, pixels, index, blobLabel(b), &labelled))
        puts("kxFindBlob: malloc failed");
    int64_t count = table[b].count + labelled;
    table[b].count = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

void kxFindBlobRelease() { releaseFillWorkList(); }

void centroid(kxImage *image, int32_t b, BlobRecord *table)
{
    if (!image || !table || !singleSample(image)) {
        puts("centroid: error: illegal parameter");
        return;
    }
    if (b < 0 || b >= kBlobNumberLimit) {
        puts("centroid: error: illegal blob number");
        return;
    }
    BlobRecord &blob = table[b];
    blob.row = -1;
    blob.col = -1;
    const int64_t width = image->width;
    const int64_t height = image->height;
    if (blob.seed < 0 || blob.seed >= width * height) return;

    const uint16_t label = blobLabel(b);
    int64_t pixels = 0, rowSum = 0, colSum = 0;
    // A region's rows are consecutive, so the first row without the label
    // ends it.
    for (int64_t r = blob.seed / width; r < height; ++r) {
        RowMatches found = matchRow(image->data + r * width, width, label);
        if (found.count == 0) break;
        pixels += found.count;
        rowSum += r * found.count;
        colSum += found.columnSum;
    }
    if (pixels == 0) return;  // no division by zero: the blob is simply not placed
    blob.row = static_cast<int32_t>(rowSum / pixels);
    blob.col = static_cast<int32_t>(colSum / pixels);
    image->data[blob.row * width + blob.col] = kBlobCentroidMark;
}

int64_t nextUnlabelled(const kxImage *image, int64_t from)
{
    if (!image || !singleSample(image)) return -1;
    const int64_t pixels = static_cast<int64_t>(image->width) * image->height;
    if (from < 0) from = 0;
    if (from >= pixels) return pixels;
    return findSample(image->data, from, pixels, kBlobUnlabelled);
}
