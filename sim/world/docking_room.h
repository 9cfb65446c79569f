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

// How the room is lit. Dark: a dim room, the window's blinds down, one lamp
// in the far corner. Office: ceiling lights, a window beside the station with
// sun on the floor below it, a glossy floor that mirrors every light, and
// brighter walls and floor. LampBeside: the dark room with a bright low lamp
// beside the station, at the markers' height.
enum class Lights { Dark, Office, LampBeside };

class DockingRoom {
public:
    // `hideStation` stands a long screen across the station's approach so
    // that the camera cannot see its markers from the open room. `camera` is
    // the one the station's marker heights are designed for. The markers
    // shine `markerBrightness` times as bright as just saturates the camera.
    explicit DockingRoom(bool hideStation = false, const CameraModel &camera = CameraModel(),
                         bool lowHousing = false, Lights lights = Lights::Dark, double markerBrightness = 1.0);

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
    // Markers, windows, lamps and ceiling lights (and their reflections).
    const std::vector<Emitter> &emitters() const { return emitters_; }
    Lights lights() const { return lights_; }
    // Whether walls, furniture and the station's tall parts (housing sides,
    // outer flares, up to their height) leave the line between two points
    // free; the low rails and inner flares do not block the view. The station
    // hides its markers from robots more than about 34 degrees off its centre
    // line (unless its housing is low), not a window higher up the wall.
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
    Lights lights_;
};

} // namespace dockworld
