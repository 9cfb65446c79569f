// A p3dx-sized differential-drive robot: velocity and heading control with
// the robot's accelerations and limits, odometry, stall detection against
// the world and a ring of 16 sonars.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "world/World.h"

namespace robotsim {

struct Pose {
    double x = 0, y = 0, th = 0; // mm, mm, degrees
};

// Speed limits (mm/s, deg/s) and accelerations (mm/s², deg/s²).
struct MotionLimits {
    double transVelTop = 2200, rotVelTop = 500;
    double transAccelTop = 2000, rotAccelTop = 500;
    double transVelMax = 1500, rotVelMax = 100;
    double transAccel = 300, transDecel = 300;
    double rotAccel = 150, rotDecel = 150;
};

class RobotModel {
public:
    static constexpr double kRadius = 250;

    explicit RobotModel(const World &world);

    // Puts the robot at `start` (true pose), odometry at zero, standing still.
    void reset(const Pose &start);
    // Moves the true pose only; odometry does not notice.
    void setTruePose(const Pose &pose) { truePose_ = pose; }

    void setEnabled(bool enabled);
    bool enabled() const { return enabled_; }
    void setVelocity(double mmPerSec);
    // Drives `mm` along the heading (negative backwards) at up to the
    // velocity limit, then stops; a velocity command cancels it.
    void moveBy(double mm);
    void setRotVelocity(double degPerSec);
    // Turns to an absolute heading of the odometric frame.
    void setHeading(double deg);
    // Decelerates to a stop.
    void stop();
    // Stops at once.
    void emergencyStop();
    void setTransVelMax(double v);
    void setRotVelMax(double v);
    // Positive values set the acceleration, negative ones the deceleration.
    void setTransAccel(double a);
    void setRotAccel(double a);
    void setSonarEnabled(bool on) { sonarEnabled_ = on; }
    bool sonarEnabled() const { return sonarEnabled_; }
    // Forces both motor-stall bits on, whatever the robot does.
    void forceStall(bool on) { forcedStall_ = on; }
    // Wheel slip and worn tyres: each wheel's odometry counts its true travel
    // times its factor (1.03: 3% too far). `trackMm` is the wheel track.
    void setWheelFactors(double left, double right, double trackMm);
    // A real sonar ring: ranges scattered by 1 cm plus 1% of the range, and
    // one echo in twenty missed (read as no echo).
    void setSonarNoise(bool on, uint32_t seed);

    // Advances the simulation by dt seconds.
    void step(double dt);

    const Pose &truePose() const { return truePose_; }
    const Pose &odometry() const { return odometry_; }
    double velocity() const { return vel_; }
    double velocityTarget() const { return velTarget_; }
    double rotVelocity() const { return rotVel_; }
    bool stalled() const { return blocked_ || forcedStall_; }
    const MotionLimits &limits() const { return limits_; }
    // Range of each sonar (mm from the transducer, 5000 for no echo).
    std::array<int, 16> sonarRanges() const;
    const World &world() const { return world_; }

private:
    const World &world_;
    MotionLimits limits_;
    Pose truePose_, odometry_;
    bool enabled_ = false;
    double vel_ = 0, rotVel_ = 0;
    double velTarget_ = 0, rotVelTarget_ = 0;
    bool moveMode_ = false;
    double moveLeft_ = 0; // mm still to drive in move mode
    bool headingMode_ = false;
    double headingTarget_ = 0;
    bool blocked_ = false;
    bool forcedStall_ = false;
    bool sonarEnabled_ = true;
    double leftFactor_ = 1.0, rightFactor_ = 1.0, trackMm_ = 330.0;
    bool sonarNoise_ = false;
    mutable std::mt19937 sonarRandom_;
};

} // namespace robotsim
