// What a target report means to the docking controller: the distance
// estimate, the target column and the centering action's heading change and
// speed. The controller and the field tools (stationview, dockmon) all
// compute them here, so that what the tools show is what the robot does.
// Pure functions of plain values: no ARIA, no IPC.
#pragma once

#include <cstdint>

#include "target_report.h"

namespace report_meaning {

// Metres = kDistanceScale / (lower-right row - upper-right row): the focal
// length in pixels times the station's vertical marker spacing in metres.
constexpr double kDistanceScale = 106.0;
// Beyond this estimate the far target columns apply.
constexpr double kFarDistance = 2.5;
// Target columns: far or near, with or without the middle-left marker.
constexpr int kFarColumnWithoutMiddle = 575;
constexpr int kFarColumnWithMiddle = 350;
constexpr int kNearColumnWithoutMiddle = 540;
constexpr int kNearColumnWithMiddle = 300;
// The centering action's target column before the control loop sets one.
constexpr int kInitialTargetColumn = 350;
// Pixels of column error per degree of heading change, and the limit.
constexpr double kColumnsPerDegree = 13.0;
constexpr double kMaxHeadingChange = 5.0;
// Forward speed (mm/s) while a steering marker is in sight.
constexpr int kDockingSpeed = 200;

// True when both right-hand rows are non-zero; *metres is then
// kDistanceScale / (lrRow - urRow), the difference taken in 64 bits (the
// words come from another process). Equal rows give +infinity. Otherwise
// *metres is left as it was: the controller keeps its last estimate.
bool distanceEstimate(int32_t urRow, int32_t lrRow, double *metres);

// The target column the control loop sets for this distance and middle-left
// marker, or `current` when exactly one of the marker's words is 0.
int targetColumn(double distance, int32_t mlRow, int32_t mlCol, int current);

// One cycle of the centering action.
struct Centering {
    double heading;  // heading change, degrees; positive turns left
    int speed;       // mm/s
};

// With both left columns non-zero the heading change is
// (target - mean column) / kColumnsPerDegree, else the last one is kept;
// either way it is limited to +-kMaxHeadingChange. With neither column in
// sight the action stops and turns clockwise: speed 0, heading -2 x |heading|
// (so 0 stays 0: the robot stands still).
Centering centeringStep(double lastHeading, int target, int32_t ulCol, int32_t llCol);

// The controller's reading of a sequence of reports, as its control loop
// and its centering action keep it from one report to the next: the last
// distance estimate (0 before any), the target column and the last heading
// change. For the tools, which see the reports one by one.
class ControllerReading {
public:
    // Takes the next report and returns the centering action's answer.
    Centering next(const TargetReport &report);

    double distance() const { return distance_; }
    int target() const { return target_; }
    const Centering &centering() const { return centering_; }

private:
    double distance_ = 0.0;
    int target_ = kInitialTargetColumn;
    Centering centering_{0.0, kDockingSpeed};
};

} // namespace report_meaning
