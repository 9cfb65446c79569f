// Range devices: the sonar ring's latest readings and the devices a program
// adds.
#include "internal/RobotCore.h"

#include <algorithm>

#include "internal/Access.h"
#include "protocol/P3dx.h"

namespace ariacompat {

using namespace robotproto;

int RobotCore::closestSonarRange(double startAngle, double endAngle) const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    int closest = -1;
    for (int i = 0; i < kSonarCount; ++i)
        if (angleBetween(kSonars[i].th, startAngle, endAngle) &&
            (closest < 0 || sonarRanges_[static_cast<size_t>(i)] < closest))
            closest = sonarRanges_[static_cast<size_t>(i)];
    return closest;
}

void RobotCore::addRangeDevice(ArRangeDevice *device)
{
    if (device == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (std::find(rangeDevices_.begin(), rangeDevices_.end(), device) != rangeDevices_.end())
            return;
        rangeDevices_.push_back(device);
    }
    device->setRobot(owner_);
}

double RobotCore::closestCurrentReading(double startAngle, double endAngle, double *angle) const
{
    std::vector<ArRangeDevice *> devices;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        devices = rangeDevices_;
    }
    double best = kSonarNoEcho;
    for (ArRangeDevice *d : devices) {
        double a = 0;
        double dist = d->currentReadingPolar(startAngle, endAngle, &a);
        if (dist < best) {
            best = dist;
            if (angle != nullptr)
                *angle = a;
        }
    }
    return best;
}

} // namespace ariacompat
