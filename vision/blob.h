// Blob labelling, centroids, automatic exposure and filled rectangles of the
// vision program.
#pragma once

#include <cstdint>

#include "kelvix.h"

// --- labelling and centroids ---

// --- automatic exposure ---

// --- filled rectangles ---

// Sets the values row * 640 + column of the image's buffer to 255 for `rows`
// rows and `columns` columns from (column, row): a filled rectangle in a GRAY
// or BINARY image 640 pixels wide. Parts of the rectangle outside 640 columns
// or outside the buffer are left out.
void kxPutSquared(kxImage *image, int32_t row, int32_t column, int32_t columns, int32_t rows);
