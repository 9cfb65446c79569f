#include "world/docking_room.h"

#include <cmath>

namespace dockworld {

std::vector<Segment> Box::sides() const
{
    const Vec2 a = min, b = {max.x, min.y}, c = max, d = {min.x, max.y};
    return {{a, b}, {b, c}, {c, d}, {d, a}};
}

namespace {

constexpr double kCeiling = 2.5; // m

// The office: 60 x 60 cm ceiling panels in two rows, a window in the
// station's wall north of it with the sun on the floor in front, and a
// glossy floor.
void addOfficeLights(std::vector<Emitter> &emitters)
{
    for (double x : {1.5, 3.3, 5.1}) {
        for (double y : {1.3, 3.2}) {
            Emitter panel;
            panel.shape = Emitter::Shape::Panel;
            panel.centre = {x, y, kCeiling};
            panel.halfWidth = panel.halfHeight = 0.3;
            panel.luma = 230.0;
            emitters.push_back(panel);
        }
    }
    Emitter window; // unshaded daylight, beside the station as seen from the room
    window.shape = Emitter::Shape::Rectangle;
    window.centre = {0.0, 3.85, 1.4};
    window.normal = {1.0, 0.0};
    window.halfWidth = 0.45;
    window.halfHeight = 0.5;
    window.luma = 170.0;
    window.chromaU = 8.0;
    emitters.push_back(window);
    // A glossy floor mirrors every light, dimly and blurred.
    const size_t lights = emitters.size();
    for (size_t i = 0; i < lights; ++i)
        emitters.push_back(floorReflection(emitters[i], 0.15, 1.0));
    Emitter sun; // the window's sunlight on the floor in front of it
    sun.shape = Emitter::Shape::Panel;
    sun.centre = {0.9, 3.85, 0.0};
    sun.halfWidth = 0.45;
    sun.halfHeight = 0.35;
    sun.luma = 40.0;
    sun.chromaV = 4.0;
    emitters.push_back(sun);
}

} // namespace

DockingRoom::DockingRoom(bool hideStation, const CameraModel &camera, bool lowHousing, Lights lights,
                         double markerBrightness)
    : station_({StationLayout::plateDepth, 2.25}, 0.0, camera, lowHousing), lights_(lights)
{
    // Furniture stands more than 4 m from the station's plate, out of its
    // approach: a cabinet against the north wall, a chair in the south-east
    // corner.
    furniture_.push_back({{4.3, 4.0}, {5.3, 4.5}});
    furniture_.push_back({{5.1, 0.3}, {5.6, 0.8}});
    if (hideStation)
        furniture_.push_back({{1.5, 0.6}, {1.6, 3.9}}); // screen across the approach
    // The lamp beside the station stands on a small table just north of the
    // funnel's mouth, its bulb at the middle markers' height, above the
    // table's top: the table stops the robot but hides nothing.
    const Vec2 lampAt = station_.toWorld(StationLayout::funnelLength + 0.1, -(StationLayout::funnelHalfWidth + 0.15));

    for (const Segment &s : walls())
        obstacles_.push_back({s, false, true});
    for (const Segment &s : station_.plateSegments())
        obstacles_.push_back({s, false});
    for (const Segment &s : station_.guideSegments())
        obstacles_.push_back({s, true});
    for (const Segment &s : station_.housingSegments())
        obstacles_.push_back({s, false, true});
    if (lights == Lights::LampBeside)
        for (const Segment &s : Box{lampAt - Vec2{0.12, 0.12}, lampAt + Vec2{0.12, 0.12}}.sides())
            obstacles_.push_back({s, false, true});

    emitters_ = markerEmitters(station_, 255.0 * markerBrightness);
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
    if (lights == Lights::Office) {
        addOfficeLights(emitters_);
    } else if (lights == Lights::LampBeside) {
        Emitter beside = lamp;
        beside.centre = {lampAt.x, lampAt.y, StationLayout::middleHeight(camera)};
        beside.radius = 0.07;
        emitters_.push_back(beside);
    }
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
    // The station's tall parts hide what the line passes below their top.
    for (const Segment &s : station_.opaqueSegments()) {
        if (!segmentsIntersect(sight, s))
            continue;
        const double denom = cross(sight.b - sight.a, s.b - s.a);
        const double along = std::fabs(denom) < 1e-12 ? 0.0 : cross(s.a - sight.a, s.b - s.a) / denom;
        // A line to a point below the floor is a reflection in it: the light
        // comes up from the floor, as high there as the line is deep.
        if (std::fabs(from.z + along * (len - 0.02) / len * (to.z - from.z)) < StationLayout::housingHeight)
            return false;
    }
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
