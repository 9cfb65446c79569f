// The contact check: with the robot standing on its charger's contacts, where
// the station's outer marker pairs sit against the row band, and what to
// change so that the controller's arrival rule holds there.
//
// The arrival rule needs both outer pairs outside the band at contact (the
// upper pair above row kBandTop, the lower pair below row kBandBottom) and
// both inside it a few centimetres before. Both pairs leave the band in the
// same frame when their rows at contact are in the band's proportions about
// the axis row (74 rows above it, 125 below), only a few rows further out.
//
// A camera pitched or mounted higher than designed moves every marker the
// same number of rows: that part of the error is told as a tilt, since a
// tilt of the camera undoes either. What remains is told as marker moves.
// Assumptions, each stated where it is used:
// - the optical axis meets the picture in its middle row (240);
// - rows turn into degrees by the focal length in pixels (default 355, an
//   84-degree lens at 640 columns; --calibrate measures it);
// - rows turn into millimetres at the marker plane by the station's own
//   upper-to-lower marker spacing: its row difference spans that many metres.
#pragma once

#include <string>

#include "station_calibration.h"

// The focal length the station's figures are designed for (pixels).
constexpr double kDesignFocalPixels = 355.0;
// The station's upper-to-lower marker spacing (metres): 106 / 355.
constexpr double kDesignMarkerSpacing = 0.2986;

// Rows beyond the band's edge the check aims for, and the tolerated range.
constexpr double kTargetMargin = 3.0;
constexpr double kMinMargin = 1.0;
constexpr double kMaxMargin = 12.0;
// A common shift of at least this many rows is told as a tilt.
constexpr double kTiltRows = 2.0;

struct ContactVerdict {
    bool found;           // some frame showed all four outer markers
    double upperLeft, upperRight, lowerLeft, lowerRight;  // mean rows
    double upperMargin;   // rows above the band's top (negative: inside it)
    double lowerMargin;   // rows below the band's bottom (negative: inside it)
    double shiftRows;     // common shift down the picture against the balance
    std::string verdict;  // "ok", "no-markers", "tilt-down D deg", ...
};

// The verdict from the outer rows seen at contact. focalPixels and spacing
// must be positive.
ContactVerdict contactVerdict(const OuterRows &rows, double focalPixels, double spacing);

// "contact upper R1,R2 margin M1 lower R3,R4 margin M2 verdict V"
std::string contactLine(const ContactVerdict &verdict);
