// Station design for a given camera: from the rows of the station's outer
// markers seen at a measured distance, the camera's focal length, what the
// controller reads there, and the marker spacing and heights that fit the
// controller's constants.
//
// The controller reads 106 / (lower-right row - upper-right row) metres. A
// pin-hole camera sees a vertical spacing H at depth Z as f x H / Z rows, so
// the reading is right when f x H = 106. For arrival both outer pairs must
// leave the row band in the same frame: the upper pair at row 166 (the
// band's top) and the lower pair at row 365 (just below its bottom) at one
// camera distance, 106 / 199 m. The camera is taken to look straight ahead
// (optical axis level, through the picture's middle row).
#pragma once

#include <cstdint>

// Sums of the outer markers' rows over the frames that showed all four.
class OuterRows {
public:
    // Adds one frame's rows; ignored unless all four are non-zero.
    void add(int32_t ulRow, int32_t urRow, int32_t llRow, int32_t lrRow);
    int frames() const { return frames_; }
    double upperRow() const { return frames_ ? (ul_ + ur_) / (2.0 * frames_) : 0.0; }
    double lowerRow() const { return frames_ ? (ll_ + lr_) / (2.0 * frames_) : 0.0; }
    double upperLeftRow() const { return mean(ul_); }
    double upperRightRow() const { return mean(ur_); }
    double lowerLeftRow() const { return mean(ll_); }
    double lowerRightRow() const { return mean(lr_); }
    double leftDifference() const { return frames_ ? static_cast<double>(ll_ - ul_) / frames_ : 0.0; }
    double rightDifference() const { return frames_ ? static_cast<double>(lr_ - ur_) / frames_ : 0.0; }

private:
    double mean(int64_t sum) const { return frames_ ? static_cast<double>(sum) / frames_ : 0.0; }
    int frames_ = 0;
    int64_t ul_ = 0, ur_ = 0, ll_ = 0, lr_ = 0;
};

struct StationFigures {
    double rowDifference;       // mean of both columns' lower minus upper row
    double focalPixels;         // f = rowDifference x distance / spacing
    double fieldOfViewDegrees;  // horizontal, over the picture's 640 columns
    double controllerDistance;  // 106 / right column's row difference
    double distanceError;       // controllerDistance - measured distance (m)
    double neededSpacing;       // 106 / f: upper to lower pair, metres
    double arrivalDistance;     // camera to marker plane when both pairs leave the band
    double upperHeight;         // needed heights above the lens (negative: below), metres
    double middleHeight;
    double lowerHeight;
    double upperHeightNow;      // the station's pairs as seen now, same reference
    double lowerHeightNow;
};

// False (figures untouched) when no frame showed the four outer markers, the
// rows do not increase downwards, or distance or spacing is not positive.
bool stationFigures(const OuterRows &rows, double distance, double spacing, StationFigures *figures);
