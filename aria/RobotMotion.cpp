// Motion commands and what the robot reports of its motors, charger and
// heading; the program's actions.
#include "internal/RobotCore.h"

#include <algorithm>
#include <cmath>

#include "internal/Access.h"
#include "protocol/P3dx.h"

namespace ariacompat {

using namespace robotproto;

namespace {

// ARIA's defaults for isMoveDone and isHeadingDone.
const double kMoveDoneDistance = 40;     // mm
const double kHeadingDoneDifference = 3; // degrees
// The p3dx's absolute top speed, for a robot that sent no configuration.
const double kMaxVelocity = 2200; // mm/s

} // namespace

void RobotCore::stop()
{
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        direct_.trans = TransMode::Stopped;
        direct_.rot = RotMode::Stopped;
    }
    comInt(VEL, 0);
    comInt(RVEL, 0);
}

bool RobotCore::setTransVelMax(double vel)
{
    if (!(vel > 0))
        return false;
    std::lock_guard<std::mutex> lock(stateMutex_);
    double top = haveConfig_ && config_.transVelTop > 0 ? config_.transVelTop : kMaxVelocity;
    transVelMax_ = static_cast<int>(std::lround(std::min(vel, top)));
    return true;
}

void RobotCore::move(double distance)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    direct_.trans = TransMode::Distance;
    direct_.distance = distance;
    direct_.moveStart = odometry_.pose;
    direct_.moveSent = false;
}

bool RobotCore::isMoveDone(double delta) const
{
    if (std::fabs(delta) < 0.001)
        delta = kMoveDoneDistance;
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (direct_.trans != TransMode::Distance)
        return true;
    const Pose &a = direct_.moveStart, &b = odometry_.pose;
    return std::fabs(std::hypot(b.x - a.x, b.y - a.y) - std::fabs(direct_.distance)) < delta;
}

void RobotCore::setHeading(double heading, bool relative)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    direct_.rot = RotMode::Heading;
    direct_.heading = normalizeDegrees(relative ? odometry_.pose.th + heading : heading);
}

bool RobotCore::isHeadingDone(double delta) const
{
    if (std::fabs(delta) < 0.001)
        delta = kHeadingDoneDifference;
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (direct_.rot != RotMode::Heading)
        return true;
    return std::fabs(normalizeDegrees(odometry_.pose.th - direct_.heading)) < delta;
}

bool RobotCore::isLeftMotorStalled() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return (stallBumpers_ & kLeftStallBit) != 0;
}

bool RobotCore::isRightMotorStalled() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return (stallBumpers_ & kRightStallBit) != 0;
}

int RobotCore::chargeState() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return chargeState_;
}

bool RobotCore::chargerPowerGood() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return (flags_ & kFlagChargerPowerGood) != 0;
}

double RobotCore::batteryVoltage() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return batteryVolts_;
}

void RobotCore::addAction(ArAction *action, int priority)
{
    {
        std::lock_guard<std::mutex> lock(actionsMutex_);
        actions_.emplace(priority, action);
    }
    action->setRobot(owner_);
}

void RobotCore::activateExclusive(const std::vector<ArAction *> &actions)
{
    std::lock_guard<std::mutex> lock(actionsMutex_);
    for (auto &entry : actions_)
        entry.second->deactivate();
    for (ArAction *a : actions)
        a->activate();
}

double RobotCore::heading() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return odometry_.pose.th;
}

} // namespace ariacompat
