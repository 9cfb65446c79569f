// Figures of a docking study: success rates with their uncertainty and
// order statistics of measured values.
#pragma once

#include <vector>

namespace dockworld {

struct Interval {
    double low = 0.0;
    double high = 0.0;
};

// The 95% Wilson score interval of a success rate seen as `successes` of
// `trials` ({0, 0} for no trials). Unlike the normal approximation it stays
// within 0..1 and is sound near 100%.
Interval wilsonInterval(int successes, int trials);

// The p-th percentile (0..100) of `values`, interpolated linearly between
// the order statistics; NaN when there are none.
double percentile(std::vector<double> values, double p);

} // namespace dockworld
