#include "world/docking_room.h"

namespace dockworld {

std::vector<Segment> Box::sides() const
{
    const Vec2 a = min, b = {max.x, min.y}, c = max, d = {min.x, max.y};
    return {{a, b}, {b, c}, {c, d}, {d, a}};
}

DockingRoom::DockingRoom(bool hideStation, const CameraModel &camera)
    : station_({StationLayout::plateDepth, 2.25}, 0.0, camera)
{
    // Furniture stands more than 4 m from the station's plate, out of its
    // approach: a cabinet against the north wall, a chair in the south-east
    // corner.
    furniture_.push_back({{4.3, 4.0}, {5.3, 4.5}});
    furniture_.push_back({{5.1, 0.3}, {5.6, 0.8}});
    if (hideStation)
        furniture_.push_back({{1.5, 0.6}, {1.6, 3.9}}); // screen across the approach

    for (const Segment &s : walls())
        obstacles_.push_back({s, false, true});
    for (const Segment &s : station_.plateSegments())
        obstacles_.push_back({s, false});
    for (const Segment &s : station_.guideSegments())
        obstacles_.push_back({s, true});
    for (const Segment &s : station_.housingSegments())
        obstacles_.push_back({s, false, true});

    emitters_ = markerEmitters(station_);
    Emitter window; // daylight through blinds on the east wall, seen dimmed by the short exposure
    window.shape = Emitter::Shape::Rectangle;
    window.centre = {width_, 2.25, 1.5};
    window.normal = {-1.0, 0.0};
    window.halfWidth = 0.6;
    window.halfHeight = 0.45;
    window.luma = 120.0;
    window.chromaU = 10.0;
    emitters_.push_back(window);
    Emitter lamp; // a standard lamp in the north-east corner
    lamp.shape = Emitter::Shape::Ball;
    lamp.centre = {5.6, 4.1, 1.1};
    lamp.radius = 0.08;
    lamp.luma = 255.0;
    lamp.chromaU = -12.0;
    lamp.chromaV = 25.0;
    emitters_.push_back(lamp);
}

std::vector<Segment> DockingRoom::walls() const
{
    const Box room{{0.0, 0.0}, {width_, depth_}};
    std::vector<Segment> all = room.sides();
    for (const Box &b : furniture_)
        for (const Segment &s : b.sides())
            all.push_back(s);
    return all;
}

std::vector<Segment> DockingRoom::sonarSegments() const
{
    std::vector<Segment> all;
    for (const Obstacle &o : obstacles_)
        all.push_back(o.segment);
    return all;
}

bool DockingRoom::lineOfSight(const Vec3 &from, const Vec3 &to) const
{
    // Stop 2 cm short of the target: lights sit on walls.
    const Vec2 a{from.x, from.y};
    const Vec2 full{to.x - from.x, to.y - from.y};
    const double len = length(full);
    if (len < 0.03)
        return true;
    const Segment sight{a, a + ((len - 0.02) / len) * full};
    const Box room{{0.0, 0.0}, {width_, depth_}};
    for (const Segment &s : room.sides())
        if (segmentsIntersect(sight, s))
            return false;
    for (const Box &b : furniture_)
        for (const Segment &s : b.sides())
            if (segmentsIntersect(sight, s))
                return false;
    for (const Segment &s : station_.opaqueSegments())
        if (segmentsIntersect(sight, s))
            return false;
    return true;
}

bool DockingRoom::fits(const Pose &pose) const
{
    if (pose.x < 0.0 || pose.y < 0.0 || pose.x > width_ || pose.y > depth_ || station_.insideBody(pose.position()))
        return false;
    // Everything at least 0.40 m from the axle: the body (0.37 m at its
    // farthest corner) stands clear by a few centimetres.
    for (const Obstacle &o : obstacles_)
        if (distanceToSegment(pose.position(), o.segment) < 0.40)
            return false;
    return true;
}

} // namespace dockworld
