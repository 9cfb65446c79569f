// What a trial's imperfections make of the room, the robot and the camera.
#pragma once

#include <cstdint>

#include "camera/camera_feed.h"
#include "robot/robot_server.h"
#include "trials/imperfections.h"
#include "world/docking_room.h"

namespace dockworld {

// The camera as mounted: `camera` (the design, which the station's marker
// heights are made for, unless told otherwise) with the mounting errors added
// and the lens's distortion.
CameraModel mountedCamera(const CameraModel &camera, const Imperfections &imp);
// The robot's flaws; each wheel's odometry factor is drawn from `seed`,
// uniformly within the slip fraction either way.
RobotFlaws robotFlaws(const Imperfections &imp, uint32_t seed);
FeedTiming feedTiming(const Imperfections &imp);
Lights lightsOf(const Imperfections &imp);
// The room: the station built for the designed camera, `low` or as built.
DockingRoom imperfectRoom(const Imperfections &imp, bool hideStation);

} // namespace dockworld
