#include "world/body_contact.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "world/station.h"

namespace dockworld {

namespace {

constexpr double kTolerance = 1e-5; // overlap that counts as touching, not as a collision

std::array<Vec2, 6> bodyAt(const Pose &pose)
{
    std::array<Vec2, 6> corners = RobotBody::outline();
    for (Vec2 &c : corners)
        c = pose.toWorld(c.x, c.y);
    return corners;
}

// Overlap of the projections of the polygon and the segment on `axis`;
// negative when they are apart. `sign` tells which way pushes the polygon out.
double overlapOn(const std::array<Vec2, 6> &poly, const Segment &s, Vec2 axis, double &sign)
{
    double pMin = 1e18, pMax = -1e18;
    for (const Vec2 &c : poly) {
        pMin = std::min(pMin, dot(c, axis));
        pMax = std::max(pMax, dot(c, axis));
    }
    const double s0 = dot(s.a, axis), s1 = dot(s.b, axis);
    const double sMin = std::min(s0, s1), sMax = std::max(s0, s1);
    const double pushPositive = sMax - pMin; // move the polygon along +axis
    const double pushNegative = pMax - sMin; // move it along -axis
    if (pushPositive < pushNegative) {
        sign = 1.0;
        return pushPositive;
    }
    sign = -1.0;
    return pushNegative;
}

bool insidePolygon(const std::array<Vec2, 6> &poly, Vec2 p)
{
    for (size_t i = 0; i < poly.size(); ++i)
        if (cross(poly[(i + 1) % poly.size()] - poly[i], p - poly[i]) < 0.0)
            return false;
    return true;
}

Contact contactWith(const std::array<Vec2, 6> &poly, const Pose &pose, const Obstacle &o)
{
    Contact none;
    const Segment &s = o.segment;
    const Vec2 along = s.b - s.a;
    const double len = length(along);
    if (len < 1e-12)
        return none;
    // Separating axes: the segment's normal and the polygon's edge normals.
    std::vector<Vec2> axes;
    axes.push_back(leftNormal((1.0 / len) * along));
    for (size_t i = 0; i < poly.size(); ++i) {
        const Vec2 e = poly[(i + 1) % poly.size()] - poly[i];
        axes.push_back((1.0 / length(e)) * leftNormal(e));
    }
    Contact best;
    best.depth = 1e18;
    for (const Vec2 &axis : axes) {
        double sign = 1.0;
        const double overlap = overlapOn(poly, s, axis, sign);
        if (overlap <= kTolerance)
            return none;
        if (overlap < best.depth) {
            best.depth = overlap;
            best.normal = sign * axis;
        }
    }
    // Where they touch: end points of one inside the other, else the point of
    // the segment closest to the robot's middle.
    Vec2 sum{0, 0};
    int count = 0;
    for (const Vec2 &end : {s.a, s.b})
        if (insidePolygon(poly, end)) {
            sum = sum + end;
            ++count;
        }
    for (const Vec2 &c : poly) {
        const double across = dot(c - s.a, best.normal);
        const double t = dot(c - s.a, along) / (len * len);
        if (across < 0.0 && t >= 0.0 && t <= 1.0) {
            sum = sum + c;
            ++count;
        }
    }
    if (count > 0) {
        best.point = (1.0 / count) * sum;
    } else {
        const double t = std::clamp(dot(pose.position() - s.a, along) / (len * len), 0.0, 1.0);
        best.point = s.a + t * along;
    }
    best.compliant = o.compliant;
    best.slides = o.slides;
    return best;
}

} // namespace

Contact deepestContact(const Pose &pose, const std::vector<Obstacle> &obstacles)
{
    const auto poly = bodyAt(pose);
    // The stiffest contact comes first: nothing may push the robot through
    // the plate, and a wall outranks the guide.
    Contact rigid, wall, compliant;
    for (const Obstacle &o : obstacles) {
        // Cheap reject: the body fits in a circle of 0.37 m around the axle.
        if (distanceToSegment(pose.position(), o.segment) > 0.38)
            continue;
        const Contact c = contactWith(poly, pose, o);
        Contact &best = o.compliant ? compliant : o.slides ? wall : rigid;
        if (c.depth > best.depth)
            best = c;
    }
    if (rigid.depth > 0.0)
        return rigid;
    return wall.depth > 0.0 ? wall : compliant;
}

bool BodyMotion::guided(Pose &pose, double dt) const
{
    double slideLeft = kGuideSlide * dt;
    double turnLeft = kGuideTurn * dt;
    double skidLeft = kWallSkid * dt;
    for (int i = 0; i < 8; ++i) {
        const Contact c = deepestContact(pose, *obstacles_);
        if (c.depth <= 0.0)
            return true;
        if (c.slides) {
            // A wall only stops motion into it; the body skids out along its
            // normal, within what the wheels allow.
            if (skidLeft <= 0.0)
                return false;
            const double skid = std::min(c.depth + kTolerance, skidLeft);
            skidLeft -= skid;
            pose.x += skid * c.normal.x;
            pose.y += skid * c.normal.y;
            continue;
        }
        if (!c.compliant || (slideLeft <= 0.0 && turnLeft <= 0.0))
            return false;
        // The guide pushes off the robot's middle, so it first turns the
        // robot about its axle (which needs no skidding of the wheels), then
        // pushes it sideways for what is left.
        const double lever = cross(c.point - pose.position(), c.normal);
        double turn = 0.0;
        if (std::fabs(lever) > 0.02)
            turn = std::clamp(c.depth / lever, -turnLeft, turnLeft);
        turnLeft -= std::fabs(turn);
        const double rest = std::max(0.0, c.depth - std::fabs(turn * lever));
        const double slide = std::min(rest + kTolerance, slideLeft);
        slideLeft -= slide;
        pose.x += slide * c.normal.x;
        pose.y += slide * c.normal.y;
        pose.heading = normalizeAngle(pose.heading + turn);
    }
    return deepestContact(pose, *obstacles_).depth <= 0.0;
}

Pose BodyMotion::partialMove(const Pose &from, const Pose &to) const
{
    // Largest share of the step that stays free, by halving.
    double lo = 0.0, hi = 1.0;
    const double turn = normalizeAngle(to.heading - from.heading);
    const auto at = [&](double f) {
        return Pose{from.x + f * (to.x - from.x), from.y + f * (to.y - from.y), normalizeAngle(from.heading + f * turn)};
    };
    for (int i = 0; i < 8; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (deepestContact(at(mid), *obstacles_).depth <= 0.0)
            lo = mid;
        else
            hi = mid;
    }
    return at(lo);
}

Pose BodyMotion::move(const Pose &from, const Pose &to, double dt) const
{
    if (deepestContact(to, *obstacles_).depth <= 0.0)
        return to;
    // When the whole motion is blocked, a differential drive still gets the
    // part that fits: wedged between the rails it rolls on while its turn
    // stalls; nose against a wall it can still turn on the spot.
    const Vec2 ahead = unitVector(from.heading);
    const Vec2 roll = dot(to.position() - from.position(), ahead) * ahead;
    const Pose candidates[3] = {to, {from.x + roll.x, from.y + roll.y, from.heading}, {from.x, from.y, to.heading}};
    for (const Pose &candidate : candidates) {
        Pose pushed = candidate;
        if (guided(pushed, dt))
            return pushed;
    }
    return partialMove(from, to);
}

void wheelTravel(const Pose &from, const Pose &to, double track, double &left, double &right)
{
    const double forward = dot(to.position() - from.position(), unitVector(from.heading));
    const double turn = normalizeAngle(to.heading - from.heading);
    left = forward - turn * track / 2.0;
    right = forward + turn * track / 2.0;
}

double StallDetector::blockedTime(double blocked, double commanded, double moved, double dt)
{
    const double wanted = commanded * dt;
    // A wheel that is driven but covers less than a third of its way, or goes
    // the wrong way, is held back.
    const bool driven = std::fabs(commanded) > 0.02;
    const bool heldBack = moved * wanted < 0.0 || std::fabs(moved) < std::fabs(wanted) / 3.0;
    return driven && heldBack ? blocked + dt : 0.0;
}

void StallDetector::update(double commandedLeft, double commandedRight, double movedLeft, double movedRight,
                           double dt)
{
    left_ = blockedTime(left_, commandedLeft, movedLeft, dt);
    right_ = blockedTime(right_, commandedRight, movedRight, dt);
}

} // namespace dockworld
