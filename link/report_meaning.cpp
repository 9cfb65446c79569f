#include "report_meaning.h"

namespace report_meaning {

bool distanceEstimate(int32_t urRow, int32_t lrRow, double *metres)
{
    if (urRow == 0 || lrRow == 0) return false;
    *metres = kDistanceScale / (static_cast<long long>(lrRow) - urRow);
    return true;
}

int targetColumn(double distance, int32_t mlRow, int32_t mlCol, int current)
{
    const bool mlMissing = mlRow == 0 && mlCol == 0;
    const bool mlSeen = mlRow != 0 && mlCol != 0;
    // +infinity (equal rows) counts as far.
    if (distance > kFarDistance && mlMissing) return kFarColumnWithoutMiddle;
    if (distance > kFarDistance && mlSeen) return kFarColumnWithMiddle;
    if (distance <= kFarDistance && mlMissing) return kNearColumnWithoutMiddle;
    if (distance <= kFarDistance && mlSeen) return kNearColumnWithMiddle;
    return current;
}

Centering centeringStep(double lastHeading, int target, int32_t ulCol, int32_t llCol)
{
    double c = lastHeading;
    // The columns become doubles before they are added: the half of an odd
    // sum is kept.
    if (ulCol != 0 && llCol != 0)
        c = (target - (static_cast<double>(ulCol) + static_cast<double>(llCol)) / 2) / kColumnsPerDegree;
    if (c > kMaxHeadingChange) c = kMaxHeadingChange;
    if (c < -kMaxHeadingChange) c = -kMaxHeadingChange;
    if (ulCol != 0 || llCol != 0) return Centering{c, kDockingSpeed};
    // Written as a comparison, not fabs: a heading of -0 becomes +0 here, as
    // it always has in the controller's printed lines.
    return Centering{-2 * (c < 0 ? -c : c), 0};
}

Centering ControllerReading::next(const TargetReport &report)
{
    distanceEstimate(report.urRow, report.lrRow, &distance_);
    target_ = targetColumn(distance_, report.mlRow, report.mlCol, target_);
    centering_ = centeringStep(centering_.heading, target_, report.ulCol, report.llCol);
    return centering_;
}

} // namespace report_meaning
