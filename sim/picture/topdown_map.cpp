#include "picture/topdown_map.h"

#include <cmath>

#include "world/station.h"

namespace dockworld {

namespace {
constexpr double kMargin = 0.2; // metres of blank floor around the room
const Rgb kWall{70, 70, 70};
const Rgb kGuide{150, 100, 40};
const Rgb kPlate{0, 0, 0};
const Rgb kMarker{230, 180, 0};
const Rgb kWander{40, 90, 220};
const Rgb kDocking{240, 130, 0};
const Rgb kUnknown{150, 150, 150};
const Rgb kStart{0, 160, 60};
const Rgb kDockingStart{210, 0, 0};

int pixelsFor(double metres, double scale) { return static_cast<int>(std::lround((metres + 2 * kMargin) * scale)); }
} // namespace

TopDownMap::TopDownMap(Vec2 minCorner, Vec2 maxCorner, double pixelsPerMetre)
    : origin_{minCorner.x - kMargin, maxCorner.y + kMargin}, scale_(pixelsPerMetre),
      canvas_(pixelsFor(maxCorner.x - minCorner.x, pixelsPerMetre), pixelsFor(maxCorner.y - minCorner.y, pixelsPerMetre),
              {250, 250, 245})
{
}

Vec2 TopDownMap::toPixel(Vec2 floor) const { return {(floor.x - origin_.x) * scale_, (origin_.y - floor.y) * scale_}; }

void TopDownMap::segment(const Segment &s, Rgb colour, int thickness)
{
    const Vec2 a = toPixel(s.a);
    const Vec2 b = toPixel(s.b);
    canvas_.line(a.x, a.y, b.x, b.y, colour, thickness);
}

void TopDownMap::drawWalls(const std::vector<Segment> &walls)
{
    for (const Segment &s : walls)
        segment(s, kWall, 4);
}

void TopDownMap::drawGuide(const std::vector<Segment> &guide)
{
    for (const Segment &s : guide)
        segment(s, kGuide, 3);
}

void TopDownMap::drawPlate(const std::vector<Segment> &plate)
{
    for (const Segment &s : plate)
        segment(s, kPlate, 3);
}

void TopDownMap::drawMarker(Vec2 at)
{
    const Vec2 p = toPixel(at);
    canvas_.disc(p.x, p.y, 2.5, kMarker);
}

void TopDownMap::drawPath(const std::vector<PathPoint> &path)
{
    for (size_t i = 1; i < path.size(); ++i) {
        const Vec2 a = toPixel(path[i - 1].pose.position());
        const Vec2 b = toPixel(path[i].pose.position());
        const DriveMode mode = path[i].mode;
        const Rgb colour = mode == DriveMode::Wander ? kWander : mode == DriveMode::Docking ? kDocking : kUnknown;
        canvas_.line(a.x, a.y, b.x, b.y, colour, 3);
    }
}

void TopDownMap::drawStart(const Pose &pose)
{
    const Vec2 p = toPixel(pose.position());
    canvas_.ring(p.x, p.y, 0.12 * scale_, kStart);
    const Vec2 tip = toPixel(pose.toWorld(0.3, 0.0));
    canvas_.line(p.x, p.y, tip.x, tip.y, kStart, 2);
}

void TopDownMap::drawDockingStart(const Pose &pose)
{
    const Vec2 p = toPixel(pose.position());
    canvas_.ring(p.x, p.y, 0.08 * scale_, kDockingStart);
}

void TopDownMap::drawRobot(const Pose &pose, bool docked)
{
    const Rgb colour = docked ? kStart : kDockingStart;
    const auto outline = RobotBody::outline();
    for (size_t i = 0; i < outline.size(); ++i) {
        const Vec2 a = toPixel(pose.toWorld(outline[i].x, outline[i].y));
        const Vec2 b = toPixel(pose.toWorld(outline[(i + 1) % outline.size()].x, outline[(i + 1) % outline.size()].y));
        canvas_.line(a.x, a.y, b.x, b.y, colour, 2);
    }
    const Vec2 p = toPixel(pose.position());
    const Vec2 tip = toPixel(pose.toWorld(RobotBody::front, 0.0));
    canvas_.line(p.x, p.y, tip.x, tip.y, colour, 2);
}

void TopDownMap::drawArrow(const Pose &pose, Rgb colour)
{
    const Vec2 tail = toPixel(pose.position());
    const Vec2 tip = toPixel(pose.toWorld(0.14, 0.0));
    canvas_.line(tail.x, tail.y, tip.x, tip.y, colour, 2);
    for (double side : {-1.0, 1.0}) {
        const Vec2 barb = toPixel(pose.toWorld(0.09, side * 0.04));
        canvas_.line(tip.x, tip.y, barb.x, barb.y, colour, 2);
    }
}

} // namespace dockworld
