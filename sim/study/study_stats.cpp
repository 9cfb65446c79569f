#include "study/study_stats.h"

#include <algorithm>
#include <cmath>

namespace dockworld {

Interval wilsonInterval(int successes, int trials)
{
    if (trials <= 0)
        return {};
    const double z = 1.959963984540054; // two-sided 95%
    const double n = trials;
    const double p = std::clamp(successes / n, 0.0, 1.0);
    const double centre = (p + z * z / (2.0 * n)) / (1.0 + z * z / n);
    const double half = z / (1.0 + z * z / n) * std::sqrt(p * (1.0 - p) / n + z * z / (4.0 * n * n));
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const double rank = std::clamp(p, 0.0, 100.0) / 100.0 * static_cast<double>(values.size() - 1);
    const size_t below = static_cast<size_t>(std::floor(rank));
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (rank - static_cast<double>(below)) * (values[above] - values[below]);
}

} // namespace dockworld
