#include "trials/start_poses.h"

#include <cmath>
#include <random>

namespace dockworld {

Pose demoStartPose() { return {3.6, 3.0, degToRad(-30.0)}; }

namespace {

// Poses at `range` metres from the plate's face, `bearing` degrees off its
// centre line, turned `offset` degrees from looking at the face.
std::vector<Pose> posesAround(const DockingRoom &room, int count, uint32_t seed, double nearest, double farthest,
                              double maxBearing, double maxOffset)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> range(nearest, farthest), bearing(-maxBearing, maxBearing),
        offset(-maxOffset, maxOffset);
    const Station &station = room.station();
    std::vector<Pose> poses;
    while (static_cast<int>(poses.size()) < count) {
        const double r = range(random), b = degToRad(bearing(random)), o = degToRad(offset(random));
        const Vec2 at = station.face() + r * unitVector(station.facing() + b);
        const Vec2 look = station.face() - at;
        const Pose pose{at.x, at.y, normalizeAngle(std::atan2(look.y, look.x) + o)};
        if (room.fits(pose))
            poses.push_back(pose);
    }
    return poses;
}

} // namespace

std::vector<Pose> posesFacingStation(const DockingRoom &room, int count, uint32_t seed)
{
    return posesAround(room, count, seed, 1.5, 4.0, 30.0, 40.0);
}

std::vector<Pose> posesApproaching(const DockingRoom &room, int count, uint32_t seed)
{
    return posesAround(room, count, seed, 0.8, 1.5, 45.0, 30.0);
}

std::vector<Pose> posesAnywhere(const DockingRoom &room, int count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> x(room.minCorner().x, room.maxCorner().x),
        y(room.minCorner().y, room.maxCorner().y), heading(-kPi, kPi);
    std::vector<Pose> poses;
    while (static_cast<int>(poses.size()) < count) {
        const Pose pose{x(random), y(random), heading(random)};
        if (room.fits(pose))
            poses.push_back(pose);
    }
    return poses;
}

} // namespace dockworld
