// The picture stationview shows: the camera frame with what the vision
// program found in it drawn on top, and a status line along its bottom.
#pragma once

#include <cstdint>

#include "frame.h"
#include "kelvix.h"
#include "report_meaning.h"

// Rows of the status line at the bottom of the frame, far below the band.
constexpr int32_t kStatusRows = 12;

// Overlay colours (red, green, blue).
struct OverlayColour {
    uint8_t r, g, b;
};
constexpr OverlayColour kBandColour{0, 96, 255};        // rows kBandTop and kBandBottom
constexpr OverlayColour kBlobColour{255, 0, 255};       // every blob of kMinBlobPixels or more
constexpr OverlayColour kCandidateColour{255, 255, 0};  // square round each candidate
constexpr OverlayColour kLeftMarkerColour{0, 255, 0};   // UL, ML, LL: cross and label
constexpr OverlayColour kRightMarkerColour{255, 0, 0};  // UR, MR, LR

// A new RGB image of the frame's size; null on failure.
kxImage *createOverlayCanvas();

// Paints `canvas` (from createOverlayCanvas): state.pic, the row band, a
// small cross on every blob of kMinBlobPixels or more placed this frame, a
// square round each of the `candidates` candidates, a cross and its label on
// each recognised marker, and the status line (frame number, candidates,
// distance estimate, target column and heading change). state must hold the
// frame as processFrame left it. False when the frame has no pixels of the
// expected size.
bool drawStationOverlay(const VisionState &state, int32_t candidates, const TargetReport &report,
                        const report_meaning::ControllerReading &reading, long frameNumber,
                        kxImage *canvas);
