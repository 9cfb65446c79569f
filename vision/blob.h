// Blob labelling, centroids, automatic exposure and filled rectangles of the
// vision program.
#pragma once

#include <cstdint>

#include "kelvix.h"

// --- labelling and centroids ---

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
