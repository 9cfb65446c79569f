#include "station_calibration.h"

#include <cmath>

#include "frame.h"
#include "report_meaning.h"

void OuterRows::add(int32_t ulRow, int32_t urRow, int32_t llRow, int32_t lrRow)
{
    if (ulRow == 0 || urRow == 0 || llRow == 0 || lrRow == 0) return;
    ++frames_;
    ul_ += ulRow;
    ur_ += urRow;
    ll_ += llRow;
    lr_ += lrRow;
}

bool stationFigures(const OuterRows &rows, double distance, double spacing, StationFigures *figures)
{
    if (rows.frames() == 0 || !(distance > 0) || !(spacing > 0)) return false;
    const double left = rows.leftDifference(), right = rows.rightDifference();
    if (!(left > 0) || !(right > 0)) return false;

    StationFigures f{};
    f.rowDifference = (left + right) / 2;
    f.focalPixels = f.rowDifference * distance / spacing;
    const double kPi = 3.14159265358979323846;
    f.fieldOfViewDegrees = 2 * std::atan(kFrameWidth / 2.0 / f.focalPixels) * 180 / kPi;
    f.controllerDistance = report_meaning::kDistanceScale / right;
    f.distanceError = f.controllerDistance - distance;
    f.neededSpacing = report_meaning::kDistanceScale / f.focalPixels;

    // The upper pair on the band's top row and the lower pair on the first
    // row below it, at the same distance.
    const int32_t upperRow = kBandTop, lowerRow = kBandBottom + 1;
    f.arrivalDistance = report_meaning::kDistanceScale / (lowerRow - upperRow);
    const double axisRow = kFrameHeight / 2.0;
    const double metresPerRow = f.arrivalDistance / f.focalPixels;
    f.upperHeight = (axisRow - upperRow) * metresPerRow;
    f.lowerHeight = (axisRow - lowerRow) * metresPerRow;
    f.middleHeight = (f.upperHeight + f.lowerHeight) / 2;
    f.upperHeightNow = (axisRow - rows.upperRow()) * distance / f.focalPixels;
    f.lowerHeightNow = (axisRow - rows.lowerRow()) * distance / f.focalPixels;
    *figures = f;
    return true;
}
