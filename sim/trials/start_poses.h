// Start poses for trials: the demo's default, and seeded random ones.
#pragma once

#include <cstdint>
#include <vector>

#include "world/docking_room.h"

namespace dockworld {

// Near the middle of the room, facing away from the station: the robot has
// to wander before it can see the markers.
Pose demoStartPose();

// `count` poses 1.5 to 4 m from the station's plate, no more than 30 degrees
// off its centre line, each facing the station within +-40 degrees.
std::vector<Pose> posesFacingStation(const DockingRoom &room, int count, uint32_t seed);
// `count` poses 0.8 to 1.5 m from the station's plate, no more than 45
// degrees off its centre line, each facing the station within +-30 degrees.
std::vector<Pose> posesApproaching(const DockingRoom &room, int count, uint32_t seed);
// `count` poses anywhere in the room with any heading.
std::vector<Pose> posesAnywhere(const DockingRoom &room, int count, uint32_t seed);

} // namespace dockworld
