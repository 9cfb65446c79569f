// ArRangeDevice, ArSonarDevice and their reading buffers.
#include "Aria.h"

#include <cmath>

#include "internal/Access.h"
#include "protocol/P3dx.h"

namespace ariacompat {
namespace {

const auto kCurrentKeep = std::chrono::seconds(5);
const auto kCumulativeKeep = std::chrono::seconds(15);
const double kCumulativeRange = 3000;
// A cumulative reading replaces older ones closer than this to it.
const double kCumulativeSpacing = 50;

} // namespace

bool angleBetween(double angle, double start, double end)
{
    angle = normalizeDegrees(angle);
    start = normalizeDegrees(start);
    end = normalizeDegrees(end);
    if (start <= end)
        return angle >= start && angle <= end;
    return angle >= start || angle <= end;
}

RangeBuffers::RangeBuffers(size_t currentSize, size_t cumulativeSize, double maxRange)
    : currentSize_(currentSize), cumulativeSize_(cumulativeSize), maxRange_(maxRange)
{
}

void RangeBuffers::expire(Clock::time_point now)
{
    while (!current_.empty() && now - current_.front().at > kCurrentKeep)
        current_.pop_front();
    while (!cumulative_.empty() && now - cumulative_.front().at > kCumulativeKeep)
        cumulative_.pop_front();
}

void RangeBuffers::add(const std::vector<RangePoint> &points, const Pose &robot,
                       Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    robot_ = robot;
    expire(now);
    for (const RangePoint &p : points) {
        double dist = std::hypot(p.x - robot.x, p.y - robot.y);
        if (dist <= maxRange_ && currentSize_ > 0) {
            current_.push_back({p, now});
            while (current_.size() > currentSize_)
                current_.pop_front();
        }
        if (dist <= kCumulativeRange && cumulativeSize_ > 0) {
            for (auto it = cumulative_.begin(); it != cumulative_.end();) {
                if (std::hypot(it->p.x - p.x, it->p.y - p.y) < kCumulativeSpacing)
                    it = cumulative_.erase(it);
                else
                    ++it;
            }
            cumulative_.push_back({p, now});
            while (cumulative_.size() > cumulativeSize_)
                cumulative_.pop_front();
        }
    }
}

double RangeBuffers::closestCurrent(double startAngle, double endAngle, double *angle) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    double best = maxRange_;
    bool found = false;
    for (const Stamped &s : current_) {
        double dx = s.p.x - robot_.x;
        double dy = s.p.y - robot_.y;
        double dir = normalizeDegrees(std::atan2(dy, dx) * 180 / M_PI - robot_.th);
        if (!angleBetween(dir, startAngle, endAngle))
            continue;
        double dist = std::hypot(dx, dy);
        if (!found || dist < best) {
            best = dist;
            found = true;
            if (angle != nullptr)
                *angle = dir;
        }
    }
    return best;
}

} // namespace ariacompat

ArRangeDevice::ArRangeDevice(size_t currentBufferSize, size_t cumulativeBufferSize,
                             const char *name, unsigned int maxRange)
    : myRobot(NULL), myName(name ? name : ""),
      myBuffers(new ariacompat::RangeBuffers(currentBufferSize, cumulativeBufferSize, maxRange))
{
}

ArRangeDevice::~ArRangeDevice() {}

const char *ArRangeDevice::getName(void) const { return myName.c_str(); }

void ArRangeDevice::setRobot(ArRobot *robot) { myRobot = robot; }

double ArRangeDevice::currentReadingPolar(double startAngle, double endAngle, double *angle) const
{
    return myBuffers->closestCurrent(startAngle, endAngle, angle);
}

ArSonarDevice::ArSonarDevice(size_t currentBufferSize, size_t cumulativeBufferSize,
                             const char *name)
    : ArRangeDevice(currentBufferSize, cumulativeBufferSize, name, robotproto::kSonarNoEcho)
{
}

ArSonarDevice::~ArSonarDevice() {}
