// The image work of one frame of the vision loop.
#include "frame.h"

#include <cstdio>
#include <cstring>

#include "seed_scan.h"

bool createVisionImages(VisionState &state)
{
    state.pic = kxImageCreate(RGB, kFrameWidth, kFrameHeight);
    state.picWin = kxWindowCreate(0, 0, kFrameWidth, kFrameHeight);
    state.greyPic = kxImageCreate(GRAY, kFrameWidth, kFrameHeight);
    state.binPic = kxImageCreate(BINARY, kFrameWidth, kFrameHeight);
    return state.pic && state.picWin && state.greyPic && state.binPic;
}

void destroyVisionImages(VisionState &state)
{
    kxImageDestroy(state.pic);
    kxWindowDestroy(state.picWin);
    kxImageDestroy(state.greyPic);
    kxImageDestroy(state.binPic);
    state.pic = state.greyPic = state.binPic = nullptr;
    state.picWin = nullptr;
}

void clearGoalPositions(BlobRecord *goal)
{
    for (int32_t g = 0; g < kGoalSize; ++g) {
        goal[g].row = 0;
        goal[g].col = 0;
    }
}

int32_t labelBlobs(kxImage *binPic, BlobRecord *blobs, kxImage *labelCopy)
{
    for (int32_t b = 0; b < kBlobTableSize; ++b) {
        blobs[b].valid = 0;
        blobs[b].count = 0;
    }
    clearBorders(binPic);
    const int64_t pixels = static_cast<int64_t>(binPic->width) * binPic->height;
    const int32_t width = binPic->width;
    uint16_t *copy = labelCopy && binPic->data ? labelCopy->data : nullptr;
    // Index 0 is a border pixel (the copying search starts there only to copy
    // it). Pixels labelled by an earlier fill are no longer 255, so every
    // pixel is visited once by the scan and once by the fill of its own
    // region.
    auto next = [&](int64_t from) {
        return copy ? findSampleCopying(binPic->data, from, pixels, kBlobUnlabelled, copy)
                    : nextUnlabelled(binPic, from);
    };
    int32_t b = 0;
    int64_t p = next(copy ? 0 : 1);
    for (; p >= 0 && p < pixels; p = next(p + 1)) {
        blobs[b].seed = static_cast<int32_t>(p);
        kxFindBlob(binPic, b, static_cast<int32_t>(p / width), static_cast<int32_t>(p % width),
                   blobs);
        if (copy) copy[p] = binPic->data[p];
        if (blobs[b].count >= kMinBlobPixels) blobs[b].valid = 1;
        if (++b == kBlobTableSize) {
            puts("Too many blobs!!!");
            break;
        }
    }
    if (copy && p >= 0 && p + 1 < pixels)
        memcpy(copy + p + 1, binPic->data + p + 1, static_cast<size_t>(pixels - p - 1) * sizeof(uint16_t));
    return b;
}

int32_t selectCandidates(kxImage *greyPic, BlobRecord *blobs, BlobRecord *recon, int32_t bandTop,
                         int32_t bandBottom)
{
    int32_t n = 0;
    for (int32_t b = 0; b < kBlobTableSize; ++b) {
        if (!blobs[b].valid) continue;
        centroid(greyPic, b, blobs);
        if (blobs[b].row >= bandTop && blobs[b].row <= bandBottom) recon[n++] = blobs[b];
        else blobs[b].valid = 0;
    }
    return n;
}

namespace {

// greyPic is made binPic's size if it is not.
bool sizeLike(const kxImage *binPic, kxImage *greyPic)
{
    if (greyPic->width == binPic->width && greyPic->height == binPic->height && greyPic->data) return true;
    return kxImageInit(greyPic, GRAY, binPic->width, binPic->height) == 0;
}

} // namespace

int32_t processFrame(VisionState &state, int32_t bandTop, int32_t bandBottom)
{
    // A failed grab may leave the frame without pixels; a failed threshold
    // leaves binPic without any. Such a frame has no blobs.
    int32_t n = 0;
    if (state.pic->data && kxRgb2Binary(state.pic, kBrightThreshold, state.picWin, state.binPic) == 0 &&
        state.binPic->data && state.binPic->width > 0 && state.binPic->height > 0) {
        // greyPic takes the labels during the labelling.
        if (sizeLike(state.binPic, state.greyPic)) {
            labelBlobs(state.binPic, state.blobs, state.greyPic);
            n = selectCandidates(state.greyPic, state.blobs, state.recon, bandTop, bandBottom);
        } else {
            labelBlobs(state.binPic, state.blobs);
        }
    } else {
        for (BlobRecord &blob : state.blobs) blob.valid = blob.count = 0;
    }
    // With fewer than four candidates no pattern can be found, and with more
    // than ten the frame publishes nothing, so the search is skipped then.
    if (n >= kMinCandidates && n <= kMaxCandidates) {
        recognize(state.recon, n, state.goal);
        recognizeMiddle(state.recon, n, state.rightLeft, state.goal);
    } else {
        clearGoalPositions(state.goal);
    }
    return n;
}

TargetReport reportPositions(const BlobRecord *goal)
{
    return TargetReport{goal[kUpperLeft].row,  goal[kUpperLeft].col,  goal[kUpperRight].row,
                        goal[kUpperRight].col, goal[kMiddleLeft].row, goal[kMiddleLeft].col,
                        goal[kMiddleRight].row, goal[kMiddleRight].col, goal[kLowerLeft].row,
                        goal[kLowerLeft].col,  goal[kLowerRight].row, goal[kLowerRight].col,
                        0,                     0};
}
