// Reading buffers of a range device: recent points in the robot's odometric
// frame, with their age, as ARIA's current and cumulative buffers keep them.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "protocol/P3dx.h"

namespace ariacompat {

struct Pose {
    double x = 0, y = 0, th = 0; // mm, mm, degrees
};

struct RangePoint {
    double x = 0, y = 0; // odometric frame, mm
};

class RangeBuffers {
public:
    using Clock = std::chrono::steady_clock;

    RangeBuffers(size_t currentSize, size_t cumulativeSize, double maxRange);

    // Adds the points measured since the last cycle; robot is the robot's
    // pose now. The current buffer keeps the newest points within maxRange of
    // the robot for 5 s, the cumulative one points within 3000 mm for 15 s,
    // one per 50 mm.
    void add(const std::vector<RangePoint> &points, const Pose &robot, Clock::time_point now);
    // Closest current point between the two angles (degrees relative to the
    // robot's heading, counter-clockwise from start to end): its distance from
    // the robot's centre, or maxRange when there is none.
    double closestCurrent(double startAngle, double endAngle, double *angle) const;
    double maxRange() const { return maxRange_; }

private:
    struct Stamped {
        RangePoint p;
        Clock::time_point at;
    };
    void expire(Clock::time_point now);

    mutable std::mutex mutex_;
    size_t currentSize_;
    size_t cumulativeSize_;
    double maxRange_;
    Pose robot_;
    std::deque<Stamped> current_;
    std::deque<Stamped> cumulative_;
};

using robotproto::normalizeDegrees;
// True when angle lies counter-clockwise from start to end.
bool angleBetween(double angle, double start, double end);

} // namespace ariacompat
