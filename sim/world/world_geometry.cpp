#include "world/world_geometry.h"

#include <algorithm>

namespace dockworld {

double normalizeAngle(double radians)
{
    double a = std::fmod(radians, 2.0 * kPi);
    if (a <= -kPi)
        a += 2.0 * kPi;
    else if (a > kPi)
        a -= 2.0 * kPi;
    return a;
}

Vec2 Pose::toWorld(double forward, double left) const
{
    const Vec2 f = unitVector(heading);
    return position() + forward * f + left * leftNormal(f);
}

double distanceToSegment(Vec2 p, const Segment &s)
{
    const Vec2 d = s.b - s.a;
    const double len2 = dot(d, d);
    double t = len2 > 0.0 ? dot(p - s.a, d) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return length(p - (s.a + t * d));
}

bool segmentsIntersect(const Segment &s, const Segment &t)
{
    const Vec2 r = s.b - s.a;
    const Vec2 q = t.b - t.a;
    const double d1 = cross(r, t.a - s.a);
    const double d2 = cross(r, t.b - s.a);
    const double d3 = cross(q, s.a - t.a);
    const double d4 = cross(q, s.b - t.a);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
        return true;
    // Touching or collinear cases: an end point lying on the other segment.
    const double eps = 1e-12;
    return distanceToSegment(t.a, s) < eps || distanceToSegment(t.b, s) < eps ||
           distanceToSegment(s.a, t) < eps || distanceToSegment(s.b, t) < eps;
}

double rayHitsSegment(Vec2 origin, Vec2 direction, const Segment &s)
{
    const Vec2 e = s.b - s.a;
    const double denom = cross(direction, e);
    if (std::fabs(denom) < 1e-15)
        return -1.0;
    const Vec2 w = s.a - origin;
    const double t = cross(w, e) / denom;
    const double u = cross(w, direction) / denom;
    if (t < 0.0 || u < 0.0 || u > 1.0)
        return -1.0;
    return t;
}

} // namespace dockworld
