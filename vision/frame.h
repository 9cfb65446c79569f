// One pass of the vision program over a grabbed frame: threshold, labelling,
// centroids, candidate selection and pattern recognition. The program, the
// tests and the benchmark all run frames through this.
#pragma once

#include <cstdint>

#include "blob.h"
#include "kelvix.h"
#include "recognize.h"
#include "target_report.h"

constexpr int32_t kFrameWidth = 640;
constexpr int32_t kFrameHeight = 480;
// A pixel is bright when the integer mean of its three channels exceeds this.
constexpr int32_t kBrightThreshold = 15;
// Blob numbers per frame: the blob table's size.
constexpr int32_t kBlobTableSize = 255;
// A blob needs this many pixels to be considered at all.
constexpr int32_t kMinBlobPixels = 6;
// Candidates have their centroid in this band of rows (inclusive), where the
// station's markers appear at docking distances.
constexpr int32_t kBandTop = 166;
constexpr int32_t kBandBottom = 364;
// Frames with fewer or more candidates publish no marker.
constexpr int32_t kMinCandidates = 4;
constexpr int32_t kMaxCandidates = 10;

// Everything the vision loop keeps from frame to frame. Images are created by
// the caller (see createVisionImages); the tables are fixed in size.
struct VisionState {
    kxImage *pic = nullptr;      // grabbed RGB frame
    kxWindow *picWin = nullptr;  // thresholded region: the whole frame
    kxImage *greyPic = nullptr;  // copy of the labels, centroids marked in it
    kxImage *binPic = nullptr;   // threshold result, then the labels
    BlobRecord blobs[kBlobTableSize];
    BlobRecord recon[kBlobTableSize];
    BlobRecord rightLeft[kRightLeftSize];
    BlobRecord goal[kGoalSize];
};

// Creates the four records at 640 x 480, in the program's order (frame,
// window, grey, binary). False if any creation failed.
bool createVisionImages(VisionState &state);
// Destroys them (null members are fine) and leaves the members null.
void destroyVisionImages(VisionState &state);

// Sets the centroid row and column of all goal records to 0.
void clearGoalPositions(BlobRecord *goal);

// Everything between the grab and the publication for the frame in
// state.pic: threshold at kBrightThreshold, labelling (printing "Too many
// blobs!!!" when the blob table fills up), centroids, candidates into
// state.recon, recognition into state.goal, and the count rule. Returns the
// number of candidates. Expects goal positions cleared beforehand.
// stationview's contact check widens the rows to the whole frame, to find the
// outer markers where the program no longer looks for them.
int32_t processFrame(VisionState &state, int32_t bandTop = kBandTop, int32_t bandBottom = kBandBottom);

// The report words 0-11 of a frame: row and column of goal records 0 to 5.
// newReport and running are left 0 (the link sets and keeps them).
TargetReport reportPositions(const BlobRecord *goal);

// Steps of processFrame, for tests and measurements.
// Labels every region of binPic (borders cleared first) into the blob table;
// returns the number of blobs. A labelCopy of binPic's size receives the
// labelled samples, copied during the seed search.
int32_t labelBlobs(kxImage *binPic, BlobRecord *blobs, kxImage *labelCopy = nullptr);
// Centroids of the valid blobs on greyPic; copies those in the row band to
// recon and returns their number.
int32_t selectCandidates(kxImage *greyPic, BlobRecord *blobs, BlobRecord *recon, int32_t bandTop = kBandTop,
                         int32_t bandBottom = kBandBottom);
