// Plane geometry of the simulated room: vectors, poses and wall segments.
// World frame: x east, y north, z up, metres; headings in radians,
// counter-clockwise from the x axis (the robot library's convention).
#pragma once

#include <cmath>

namespace dockworld {

constexpr double kPi = 3.14159265358979323846;

inline double degToRad(double degrees) { return degrees * kPi / 180.0; }
inline double radToDeg(double radians) { return radians * 180.0 / kPi; }
// The same angle in (-pi, pi].
double normalizeAngle(double radians);

struct Vec2 {
    double x = 0.0;
    double y = 0.0;
};

inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(double s, Vec2 a) { return {s * a.x, s * a.y}; }
inline double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
inline double cross(Vec2 a, Vec2 b) { return a.x * b.y - a.y * b.x; }
inline double length(Vec2 a) { return std::sqrt(dot(a, a)); }
inline Vec2 unitVector(double heading) { return {std::cos(heading), std::sin(heading)}; }
// `a` turned a quarter turn counter-clockwise.
inline Vec2 leftNormal(Vec2 a) { return {-a.y, a.x}; }

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// A robot's place: the middle of its wheel axle and the way it faces.
struct Pose {
    double x = 0.0;
    double y = 0.0;
    double heading = 0.0;
    Vec2 position() const { return {x, y}; }
    // Robot-frame point (forward, left) in world coordinates.
    Vec2 toWorld(double forward, double left) const;
};

struct Segment {
    Vec2 a;
    Vec2 b;
};

// Distance from `p` to the closest point of `s`.
double distanceToSegment(Vec2 p, const Segment &s);
// Whether two closed segments share a point.
bool segmentsIntersect(const Segment &s, const Segment &t);
// Parameter t >= 0 along origin + t * direction where the ray meets `s`, or a
// negative value when it misses.
double rayHitsSegment(Vec2 origin, Vec2 direction, const Segment &s);

} // namespace dockworld
