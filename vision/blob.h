// Blob labelling, centroids, automatic exposure and filled rectangles of the
// vision program.
#pragma once

#include <cstdint>

#include "kelvix.h"

// --- labelling and centroids ---

// One labelled blob of a frame: five 32-bit ints in this order.
struct BlobRecord {
    int32_t valid;  // 1 while the blob takes part in the current stage
    int32_t count;  // pixels labelled by kxFindBlob (the caller zeroes it first)
    int32_t seed;   // pixel index of the blob's first pixel in raster order
    int32_t row;    // centroid row (0 = top), set by centroid(); -1 when no pixel was found
    int32_t col;    // centroid column (0 = left), set by centroid(); -1 likewise
};

// Sample values of a label image other than blob labels.
constexpr uint16_t kBlobBackground = 0;
constexpr uint16_t kBlobUnlabelled = 255;  // bright, no blob yet
constexpr uint16_t kBlobCentroidMark = 253;
// Blob b is labelled 256 + b: above every value a binary image holds, so a
// label is never taken for background, a bright pixel or a centroid mark.
constexpr int32_t kBlobLabelBase = 256;
constexpr int32_t kBlobNumberLimit = 65536 - kBlobLabelBase;  // b below this
inline uint16_t blobLabel(int32_t b) { return static_cast<uint16_t>(kBlobLabelBase + b); }

// Sets the first and last row and the first and last column of a
// single-sample image to background, so that no region touches the edge.
void clearBorders(kxImage *image);

// Labels the 8-connected region of 255-samples containing (row, col) with the
// label of blob b and adds its pixel count to table[b].count. Neighbours are
// found by pixel index alone (index +-1, +-width, +-width+-1, kept inside the
// image), so without cleared borders a region continues from the end of one
// row to the start of the next. Does nothing when (row, col) lies outside the
// image or its sample is not 255. The pending pixels live in a work list kept
// from call to call (released by kxFindBlobRelease); if that list cannot grow,
// a line is printed and the region stays partly labelled.
void kxFindBlob(kxImage *image, int32_t b, int32_t row, int32_t col, BlobRecord *table);
// Frees the fill's work list; the next kxFindBlob allocates it again.
void kxFindBlobRelease();

// Centroid of blob b: scans whole rows from the row of table[b].seed down to
// the first row without b's label, sets table[b].row and .col to the
// truncated mean row and column of the labelled samples found, and writes the
// centroid mark 253 there. When no labelled sample is found (an earlier mark
// can cover a blob's only pixel in its first row) row and col become -1 and
// nothing is written.
void centroid(kxImage *image, int32_t b, BlobRecord *table);

// Index of the first 255-sample at or after index `from` of a single-sample
// image, width x height when there is none, -1 for an illegal image. The
// vision loop's seed scan.
int64_t nextUnlabelled(const kxImage *image, int64_t from);

// --- automatic exposure ---

// Searches, by bisection over 1..65535, the camera gain at which the
// brightest grey value of a 640 x 480 frame lies in 241..254, with the
// shutter set to `shutter`. Prints one line per gain tried. The grabber must
// be initialised; the camera keeps the last gain tried. Returns 0 when the
// search stopped at a maximum above 240 (found, or saturated to the end), 1
// when it ended at 240 or less, -1 when the camera refused the shutter or a
// gain or stopped delivering frames.
int autoExposure(int shutter);

// --- filled rectangles ---

// Sets the values row * 640 + column of the image's buffer to 255 for `rows`
// rows and `columns` columns from (column, row): a filled rectangle in a GRAY
// or BINARY image 640 pixels wide. Parts of the rectangle outside 640 columns
// or outside the buffer are left out.
void kxPutSquared(kxImage *image, int32_t row, int32_t column, int32_t columns, int32_t rows);
