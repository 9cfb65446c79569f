#include "robot/RobotModel.h"

#include <algorithm>
#include <cmath>

#include "protocol/P3dx.h"

namespace robotsim {
namespace {

using robotproto::normalizeDegrees;

// Moves `v` toward `target`, speeding up by at most accel*dt and slowing
// down by at most decel*dt.
double ramp(double v, double target, double accel, double decel, double dt)
{
    bool speedingUp = (target > 0 && v >= 0 && target > v) || (target < 0 && v <= 0 && target < v);
    double step = (speedingUp ? accel : decel) * dt;
    if (std::fabs(target - v) <= step)
        return target;
    return v + (target > v ? step : -step);
}

double clampAbs(double v, double limit) { return std::max(-limit, std::min(limit, v)); }

void advance(Pose &p, double dist, double dth)
{
    // Move along the mean heading of the step.
    double mid = (p.th + dth / 2) * M_PI / 180;
    p.x += dist * std::cos(mid);
    p.y += dist * std::sin(mid);
    p.th = normalizeDegrees(p.th + dth);
}

} // namespace

RobotModel::RobotModel(const World &world) : world_(world) {}

void RobotModel::reset(const Pose &start)
{
    truePose_ = start;
    truePose_.th = normalizeDegrees(start.th);
    odometry_ = Pose();
    vel_ = rotVel_ = velTarget_ = rotVelTarget_ = 0;
    headingMode_ = false;
    moveMode_ = false;
    blocked_ = false;
}

void RobotModel::setEnabled(bool enabled)
{
    enabled_ = enabled;
    if (!enabled)
        emergencyStop();
}

void RobotModel::setVelocity(double v)
{
    moveMode_ = false;
    velTarget_ = v;
}

void RobotModel::moveBy(double mm)
{
    moveMode_ = true;
    moveLeft_ = mm;
}

void RobotModel::setRotVelocity(double w)
{
    headingMode_ = false;
    rotVelTarget_ = w;
}

void RobotModel::setHeading(double deg)
{
    headingMode_ = true;
    headingTarget_ = normalizeDegrees(deg);
}

void RobotModel::stop()
{
    moveMode_ = false;
    velTarget_ = 0;
    headingMode_ = false;
    rotVelTarget_ = 0;
}

void RobotModel::emergencyStop()
{
    stop();
    vel_ = rotVel_ = 0;
}

void RobotModel::setTransVelMax(double v)
{
    limits_.transVelMax = std::min(std::fabs(v), limits_.transVelTop);
}

void RobotModel::setRotVelMax(double v)
{
    limits_.rotVelMax = std::min(std::fabs(v), limits_.rotVelTop);
}

void RobotModel::setTransAccel(double a)
{
    if (a > 0)
        limits_.transAccel = std::min(a, limits_.transAccelTop);
    else if (a < 0)
        limits_.transDecel = std::min(-a, limits_.transAccelTop);
}

void RobotModel::setRotAccel(double a)
{
    if (a > 0)
        limits_.rotAccel = std::min(a, limits_.rotAccelTop);
    else if (a < 0)
        limits_.rotDecel = std::min(-a, limits_.rotAccelTop);
}

void RobotModel::step(double dt)
{
    if (!enabled_) {
        vel_ = rotVel_ = 0;
        blocked_ = false;
        return;
    }
    if (moveMode_ && std::fabs(moveLeft_) < 1.0) {
        moveMode_ = false;
        velTarget_ = 0;
    }
    if (moveMode_) {
        // The speed from which the robot can still stop at the distance.
        double speed = std::sqrt(2 * limits_.transDecel * std::fabs(moveLeft_));
        velTarget_ = std::copysign(speed, moveLeft_);
    }
    double velWanted = clampAbs(velTarget_, limits_.transVelMax);
    vel_ = ramp(vel_, velWanted, limits_.transAccel, limits_.transDecel, dt);

    double rotWanted;
    if (headingMode_) {
        // Turn at the speed from which the robot can still stop on target.
        double err = normalizeDegrees(headingTarget_ - odometry_.th);
        double speed = std::sqrt(2 * limits_.rotDecel * std::fabs(err));
        rotWanted = std::fabs(err) < 0.2 ? 0 : std::copysign(std::min(speed, limits_.rotVelMax), err);
    } else {
        rotWanted = clampAbs(rotVelTarget_, limits_.rotVelMax);
    }
    rotVel_ = ramp(rotVel_, rotWanted, limits_.rotAccel, limits_.rotDecel, dt);

    double dist = vel_ * dt;
    double dth = rotVel_ * dt;
    Pose next = truePose_;
    advance(next, dist, dth);
    // The body may not move deeper into an obstacle; turning on the spot is
    // always possible for a round robot.
    double before = world_.clearance({truePose_.x, truePose_.y});
    double after = world_.clearance({next.x, next.y});
    blocked_ = dist != 0 && after < kRadius && after < before;
    if (blocked_) {
        next = truePose_;
        advance(next, 0, dth);
        vel_ = 0;
        dist = 0;
    }
    truePose_ = next;
    advance(odometry_, dist, dth);
    if (moveMode_)
        moveLeft_ -= dist;
}

std::array<int, 16> RobotModel::sonarRanges() const
{
    std::array<int, 16> ranges{};
    double c = std::cos(truePose_.th * M_PI / 180), s = std::sin(truePose_.th * M_PI / 180);
    for (int i = 0; i < robotproto::kSonarCount; ++i) {
        const robotproto::SonarUnit &u = robotproto::kSonars[i];
        Point origin{truePose_.x + u.x * c - u.y * s, truePose_.y + u.x * s + u.y * c};
        double r = world_.rayCast(origin, truePose_.th + u.th, robotproto::kSonarNoEcho);
        ranges[i] = static_cast<int>(std::lround(std::min<double>(r, robotproto::kSonarNoEcho)));
    }
    return ranges;
}

} // namespace robotsim
