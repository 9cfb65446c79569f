// The simulated robot as the trial runner needs it: a robot server on a
// local TCP port that the controller connects to, driving a body through the
// docking room.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "world/docking_room.h"

namespace dockworld {

// What makes a real robot differ from the ideal one.
struct RobotFlaws {
    double leftWheelFactor = 1.0;  // odometry counts the left wheel's travel times this
    double rightWheelFactor = 1.0;
    bool sonarNoise = false;       // scattered ranges, missed echoes
    uint32_t seed = 1;             // of the sonar noise
    double pitchPerAccel = 0.0;    // body pitch, radians per m/s^2 (braking: nose down)
};

class RobotServer {
public:
    virtual ~RobotServer() = default;
    // Puts the robot at `start` and listens on 127.0.0.1 (a free port).
    virtual bool start(const Pose &start, std::string *error) = 0;
    virtual int port() const = 0;
    // The true pose (not the odometry the robot reports).
    virtual Pose pose() const = 0;
    // The true pose and body pitch at simulated time `t` of the last second
    // or so (interpolated between physics steps; the oldest kept before that,
    // the current one after now).
    virtual BodyPose bodyAt(double t) const = 0;
    // Simulated seconds since start.
    virtual double clock() const = 0;
    // Whether a controller is connected.
    virtual bool connected() const = 0;
    // Where the simulator's reset command (225) puts the robot for the
    // clients that connect from now on; at first the start pose.
    virtual void setResetPose(const Pose &pose) = 0;
    virtual void stop() = 0;
    // Fault injection: closes the controller's connection, as a robot whose
    // link fails does (the motors stop).
    virtual void dropClient() = 0;
    // Before start: every 20 ms a line "t,commanded,speed,connected" (server
    // seconds, mm/s) into `path`.
    virtual void logMotion(const std::string &path) = 0;
    // Before start: the server's thread runs at real-time priority where the
    // system permits it (see robot/realtime.h), as a robot's microcontroller
    // keeps its timing whatever its computer does.
    virtual void runAtRealTime() = 0;
    // Server seconds at which packets from the controller arrived (one entry
    // per read that brought any), for the loop's timing.
    virtual std::vector<double> commandTimes() const = 0;
};

// `speed`: simulated seconds per wall-clock second.
std::unique_ptr<RobotServer> makeRobotServer(const DockingRoom &room, double speed = 1.0,
                                             const RobotFlaws &flaws = RobotFlaws());

} // namespace dockworld
