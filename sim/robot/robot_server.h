// The simulated robot as the trial runner needs it: a robot server on a
// local TCP port that the controller connects to, driving a body through the
// docking room.
#pragma once

#include <memory>
#include <string>

#include "world/docking_room.h"

namespace dockworld {

class RobotServer {
public:
    virtual ~RobotServer() = default;
    // Puts the robot at `start` and listens on 127.0.0.1 (a free port).
    virtual bool start(const Pose &start, std::string *error) = 0;
    virtual int port() const = 0;
    // The true pose (not the odometry the robot reports).
    virtual Pose pose() const = 0;
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
};

// `speed`: simulated seconds per wall-clock second.
std::unique_ptr<RobotServer> makeRobotServer(const DockingRoom &room, double speed = 1.0);

} // namespace dockworld
