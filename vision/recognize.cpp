// Marker pattern search among the candidate blobs of a frame.
#include "recognize.h"

namespace {

bool agree(int32_t a, int32_t b)
{
    int64_t difference = static_cast<int64_t>(a) - b;
    return difference >= -kMarkerTolerance && difference <= kMarkerTolerance;
}

bool linedUp(const BlobRecord &lower, const BlobRecord &upperA, const BlobRecord &upperB)
{
    return agree(lower.col, upperA.col) || agree(lower.col, upperB.col);
}

// Left member first; on equal columns the second one is taken as left.
void storePair(const BlobRecord &first, const BlobRecord &second, BlobRecord &left,
               BlobRecord &right)
{
    if (first.col < second.col) {
        left = first;
        right = second;
    } else {
        left = second;
        right = first;
    }
}

} // namespace

void recognize(const BlobRecord *recon, int32_t n, BlobRecord *goal)
{
    for (int32_t i = 0; i <= n - 2; ++i) {
        for (int32_t j = i + 1; j <= n - 1; ++j) {
            if (!agree(recon[i].row, recon[j].row)) continue;
            // The lower pair is searched from the end of the list: in a real
            // frame the lowest markers are the last candidates.
            for (int32_t k = n - 2; k >= j + 1; --k) {
                for (int32_t l = k + 1; l <= n - 1; ++l) {
                    if (!agree(recon[k].row, recon[l].row)) continue;
                    if (!linedUp(recon[k], recon[i], recon[j])) continue;
                    if (!linedUp(recon[l], recon[i], recon[j])) continue;
                    storePair(recon[i], recon[j], goal[kUpperLeft], goal[kUpperRight]);
                    storePair(recon[k], recon[l], goal[kLowerLeft], goal[kLowerRight]);
                    return;
                }
            }
        }
    }
}

void recognizeMiddle(const BlobRecord *recon, int32_t n, BlobRecord *rightLeft, BlobRecord *goal)
{
    if (n < 1) return;
    const int32_t middleRow = static_cast<int32_t>(
        (static_cast<int64_t>(goal[kUpperLeft].row) + goal[kLowerLeft].row) / 2);
    int32_t found = 0;
    for (int32_t c = 0; c < n && found < kRightLeftSize; ++c)
        if (agree(recon[c].row, middleRow)) rightLeft[found++] = recon[c];

    const int32_t leftCol = goal[kUpperLeft].col;
    const int32_t rightCol = goal[kUpperRight].col;
    for (int32_t e = 0; e < found; ++e) {
        if (agree(rightLeft[e].col, leftCol)) goal[kMiddleLeft] = rightLeft[e];
        if (agree(rightLeft[e].col, rightCol)) goal[kMiddleRight] = rightLeft[e];
    }
}
