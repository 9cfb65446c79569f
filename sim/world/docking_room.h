// The room a docking trial runs in: walls, furniture, the station on the west
// wall, a window and a lamp that the camera also sees.
//
//   y
//   4.5 +--------------------------------------------+
//       |                               [cabinet] (o)| lamp
//       |                                            |
//       |#\                                          |
//  2.25 |#=]  station (facing east, a solid body     # window
//       |#/   against the wall)                      |
//       |                                     [chair]|
//     0 +--------------------------------------------+
//       0                                            6.0  x
#pragma once

#include <vector>

#include "world/body_contact.h"
#include "world/emitter.h"
#include "world/station.h"

namespace dockworld {

struct Box {
    Vec2 min;
    Vec2 max;
    std::vector<Segment> sides() const;
};

class DockingRoom {
public:
    // `hideStation` stands a long screen across the station's approach so
    // that the camera cannot see its markers from the open room.
    explicit DockingRoom(bool hideStation = false, const CameraModel &camera = CameraModel());

    Vec2 minCorner() const { return {0.0, 0.0}; }
    Vec2 maxCorner() const { return {width_, depth_}; }
    const Station &station() const { return station_; }
    const std::vector<Box> &furniture() const { return furniture_; }

    // Walls and furniture sides.
    std::vector<Segment> walls() const;
    // What the robot's body can hit: walls, furniture and plate are rigid,
    // the guide gives way.
    const std::vector<Obstacle> &obstacles() const { return obstacles_; }
    // What the sonar hears: everything the body can hit.
    std::vector<Segment> sonarSegments() const;
    // Markers, window and lamp.
    const std::vector<Emitter> &emitters() const { return emitters_; }
    // Whether walls, furniture and the station's tall parts (housing sides,
    // outer flares) leave the line between two points free; the low rails
    // and inner flares do not block the view. The station hides its markers
    // from robots more than about 34 degrees off its centre line.
    bool lineOfSight(const Vec3 &from, const Vec3 &to) const;
    // Whether a robot at `pose` stands clear of everything.
    bool fits(const Pose &pose) const;

private:
    double width_ = 6.0;
    double depth_ = 4.5;
    Station station_;
    std::vector<Box> furniture_;
    std::vector<Obstacle> obstacles_;
    std::vector<Emitter> emitters_;
};

} // namespace dockworld
