#include "world/station.h"

#include <cmath>

namespace dockworld {

std::array<Vec2, 6> RobotBody::outline()
{
    return {{{front, -noseHalfWidth},
             {front, noseHalfWidth},
             {front - chamfer, halfWidth},
             {-rear, halfWidth},
             {-rear, -halfWidth},
             {front - chamfer, -halfWidth}}};
}

namespace {
// The vision program truncates centroids to whole rows and keeps rows 166 to
// 364: a marker above the band is lost once its true row is below 166, one
// below the band once its true row reaches 365. Placing the markers by these
// two edges makes both outer pairs leave in the same frame; a frame that
// still showed one of them would pair the middle markers with it, doubling
// the distance estimate and steering the robot into the guide.
constexpr double kBandTop = 166.0;
constexpr double kBandBottom = 365.0;
constexpr double kDistanceConstant = 106.0; // focal length x vertical spacing, px m

double verticalSpacing(const CameraModel &camera) { return kDistanceConstant / camera.focalPx; }
} // namespace

double StationLayout::upperHeight(const CameraModel &camera)
{
    const double share = (camera.centreRow - kBandTop) / (kBandBottom - kBandTop);
    return camera.mountHeight + verticalSpacing(camera) * share;
}

double StationLayout::lowerHeight(const CameraModel &camera)
{
    const double share = (kBandBottom - camera.centreRow) / (kBandBottom - kBandTop);
    return camera.mountHeight - verticalSpacing(camera) * share;
}

double StationLayout::middleHeight(const CameraModel &camera)
{
    return 0.5 * (upperHeight(camera) + lowerHeight(camera));
}

Station::Station(Vec2 face, double facing, const CameraModel &camera)
    : face_(face), facing_(normalizeAngle(facing)), normal_(unitVector(facing)),
      // A robot facing the plate looks along -normal; its left is then the
      // normal turned clockwise.
      sideAxis_({normal_.y, -normal_.x})
{
    const double heights[3] = {StationLayout::upperHeight(camera),
                               StationLayout::middleHeight(camera),
                               StationLayout::lowerHeight(camera)};
    for (int level = 0; level < 3; ++level) {
        for (int column = 0; column < 2; ++column) {
            const double side = column == 0 ? StationLayout::columnOffset : -StationLayout::columnOffset;
            const Vec2 at = toWorld(0.0, side);
            markers_.push_back({static_cast<MarkerId>(level * 2 + column), {at.x, at.y, heights[level]},
                                StationLayout::markerRadius});
        }
    }
}

Vec2 Station::toWorld(double out, double side) const { return face_ + out * normal_ + side * sideAxis_; }

Vec2 Station::toStation(Vec2 world) const
{
    const Vec2 d = world - face_;
    return {dot(d, normal_), dot(d, sideAxis_)};
}

std::vector<Segment> Station::plateSegments() const
{
    const double w = StationLayout::plateHalfWidth;
    const double back = -StationLayout::plateDepth;
    return {{toWorld(0.0, -w), toWorld(0.0, w)},
            {toWorld(0.0, w), toWorld(back, w)},
            {toWorld(0.0, -w), toWorld(back, -w)}};
}

std::vector<Segment> Station::guideSegments() const
{
    using L = StationLayout;
    std::vector<Segment> segments;
    for (double sign : {1.0, -1.0}) {
        segments.push_back({toWorld(-L::plateDepth, sign * L::railHalfGap), toWorld(L::railLength, sign * L::railHalfGap)});
        segments.push_back({toWorld(L::railLength, sign * L::railHalfGap), toWorld(L::bendLength, sign * L::bendHalfWidth)});
        segments.push_back({toWorld(L::bendLength, sign * L::bendHalfWidth),
                            toWorld(L::funnelLength, sign * L::funnelHalfWidth)});
    }
    return segments;
}

std::vector<Segment> Station::housingSegments() const
{
    using L = StationLayout;
    std::vector<Segment> segments;
    for (double sign : {1.0, -1.0})
        segments.push_back({toWorld(L::funnelLength, sign * L::funnelHalfWidth),
                            toWorld(-L::plateDepth, sign * L::funnelHalfWidth)});
    return segments;
}

std::vector<Segment> Station::opaqueSegments() const
{
    using L = StationLayout;
    std::vector<Segment> segments = housingSegments();
    for (double sign : {1.0, -1.0})
        segments.push_back({toWorld(L::bendLength, sign * L::bendHalfWidth),
                            toWorld(L::funnelLength, sign * L::funnelHalfWidth)});
    return segments;
}

bool Station::insideBody(Vec2 world) const
{
    using L = StationLayout;
    const Vec2 local = toStation(world);
    const double out = local.x, side = std::fabs(local.y);
    if (out < -L::plateDepth || out > L::funnelLength || side > L::funnelHalfWidth)
        return false;
    if (out <= 0.0)
        return true; // the plate and the body around it
    // The funnel's half width at this distance: rail, shallow flare, steep flare.
    const auto along = [out](double x0, double w0, double x1, double w1) {
        return w0 + (w1 - w0) * (out - x0) / (x1 - x0);
    };
    const double open = out <= L::railLength ? L::railHalfGap
                        : out <= L::bendLength
                            ? along(L::railLength, L::railHalfGap, L::bendLength, L::bendHalfWidth)
                            : along(L::bendLength, L::bendHalfWidth, L::funnelLength, L::funnelHalfWidth);
    return side > open;
}

Pose Station::dockedPose() const
{
    const Vec2 axle = toWorld(RobotBody::front, 0.0);
    return {axle.x, axle.y, normalizeAngle(facing_ + kPi)};
}

Station::Offsets Station::offsets(const Pose &robot) const
{
    const Vec2 local = toStation(robot.position());
    Offsets o;
    o.lateral = local.y;
    o.gap = local.x - RobotBody::front;
    o.heading = normalizeAngle(robot.heading - (facing_ + kPi));
    return o;
}

} // namespace dockworld
