#include "world/camera_model.h"

#include <cmath>

namespace dockworld {

namespace {
double radialScale(const CameraModel &camera, double r2) { return 1.0 + r2 * (camera.k1 + camera.k2 * r2); }
} // namespace

void distortNormalised(const CameraModel &camera, double &x, double &y)
{
    const double s = radialScale(camera, x * x + y * y);
    x *= s;
    y *= s;
}

bool undistortNormalised(const CameraModel &camera, double &x, double &y)
{
    if (!camera.distorted())
        return true;
    // Newton on the radius: r (1 + k1 r^2 + k2 r^4) = rd.
    const double rd = std::sqrt(x * x + y * y);
    if (rd < 1e-12)
        return true;
    double r = rd;
    for (int i = 0; i < 8; ++i) {
        const double r2 = r * r;
        const double f = r * radialScale(camera, r2) - rd;
        const double slope = 1.0 + r2 * (3.0 * camera.k1 + 5.0 * camera.k2 * r2);
        if (slope <= 1e-6)
            return false;
        r -= f / slope;
        if (r <= 0.0)
            return false;
    }
    const double k = r / rd;
    x *= k;
    y *= k;
    return true;
}

CameraFrame cameraFrame(const CameraModel &camera, const Pose &robot, double bodyPitch)
{
    CameraFrame frame;
    // The body leans about the wheel axle: the mast's foot behind it swings
    // down as the nose comes up.
    const double cb = std::cos(bodyPitch), sb = std::sin(bodyPitch);
    const double mast = camera.mountHeight + camera.heightOffset;
    const double forward = -camera.behindAxle * cb - mast * sb;
    const double height = -camera.behindAxle * sb + mast * cb;
    const Vec2 foot = robot.toWorld(forward, 0.0);
    frame.centre = {foot.x, foot.y, height};
    const Vec2 ahead = unitVector(robot.heading + camera.yaw);
    const Vec2 side = leftNormal(ahead);
    const double pitch = camera.pitch + bodyPitch;
    const double cp = std::cos(pitch);
    const double sp = std::sin(pitch);
    frame.forward = {cp * ahead.x, cp * ahead.y, sp};
    frame.up = {-sp * ahead.x, -sp * ahead.y, cp};
    frame.left = {side.x, side.y, 0.0};
    return frame;
}

ImagePoint project(const CameraModel &camera, const CameraFrame &frame, const Vec3 &world)
{
    const Vec3 d = world - frame.centre;
    ImagePoint p;
    p.depth = dot(d, frame.forward);
    if (!p.inFront())
        return p;
    double x = -dot(d, frame.left) / p.depth;
    double y = -dot(d, frame.up) / p.depth;
    const double r2 = x * x + y * y;
    if (camera.distorted() && 1.0 + r2 * (3.0 * camera.k1 + 5.0 * camera.k2 * r2) <= 0.0) {
        // Beyond the fold of the distortion model: outside the image circle.
        p.col = p.row = -1e9;
        return p;
    }
    distortNormalised(camera, x, y);
    p.col = camera.centreCol + camera.focalPx * x;
    p.row = camera.centreRow + camera.focalPx * y;
    return p;
}

ImagePoint project(const CameraModel &camera, const Pose &robot, const Vec3 &world)
{
    return project(camera, cameraFrame(camera, robot), world);
}

bool pixelRay(const CameraModel &camera, const CameraFrame &frame, double col, double row, Vec3 &ray)
{
    double x = (col - camera.centreCol) / camera.focalPx;
    double y = (row - camera.centreRow) / camera.focalPx;
    const bool seen = undistortNormalised(camera, x, y);
    ray = frame.forward + (-x) * frame.left + (-y) * frame.up;
    return seen;
}

Vec3 pixelRay(const CameraModel &camera, const CameraFrame &frame, double col, double row)
{
    Vec3 ray;
    pixelRay(camera, frame, col, row, ray);
    return ray;
}

} // namespace dockworld
