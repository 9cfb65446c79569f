// The docking station's marker pattern: two columns of bright markers, an
// upper and a lower pair and a middle pair half-way between them.
#pragma once

#include <cstdint>

#include "blob.h"

// Pixels by which two rows or two columns may differ and still agree.
constexpr int32_t kMarkerTolerance = 5;
// Records of the middle-row table and of the result table.
constexpr int32_t kRightLeftSize = 10;
constexpr int32_t kGoalSize = 8;

// Result records of the pattern in `goal`.
enum GoalMarker {
    kUpperLeft = 0,
    kUpperRight = 1,
    kMiddleLeft = 2,
    kMiddleRight = 3,
    kLowerLeft = 4,
    kLowerRight = 5,
};

// Looks among recon[0 .. n-1] for an upper pair (i, j) and a lower pair
// (k, l), i < j < k < l, each pair on a common row, each lower column lined up
// with an upper one. Quadruples are tried with i and j ascending, k descending
// from the end of the list and l ascending; the first fit is copied into goal
// records 0, 1, 4 and 5 (left = smaller column; on equal columns the later
// candidate is left). Without a fit goal is left untouched.
void recognize(const BlobRecord *recon, int32_t n, BlobRecord *goal);

// With goal records 0, 1 and 4 as recognize() left them: copies the
// candidates whose row agrees with the middle row (upper-left row +
// lower-left row) / 2 into rightLeft (at most kRightLeftSize, the rest are
// dropped), then makes the last of them lined up with the upper-left column
// the middle-left marker and the last lined up with the upper-right column
// the middle-right marker.
void recognizeMiddle(const BlobRecord *recon, int32_t n, BlobRecord *rightLeft, BlobRecord *goal);
