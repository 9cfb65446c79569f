#include "world/camera_model.h"

namespace dockworld {

CameraFrame cameraFrame(const CameraModel &camera, const Pose &robot)
{
    CameraFrame frame;
    const Vec2 mast = robot.toWorld(-camera.behindAxle, 0.0);
    frame.centre = {mast.x, mast.y, camera.mountHeight + camera.heightOffset};
    const Vec2 ahead = unitVector(robot.heading + camera.yaw);
    const Vec2 side = leftNormal(ahead);
    const double cp = std::cos(camera.pitch);
    const double sp = std::sin(camera.pitch);
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
    p.col = camera.centreCol - camera.focalPx * dot(d, frame.left) / p.depth;
    p.row = camera.centreRow - camera.focalPx * dot(d, frame.up) / p.depth;
    return p;
}

ImagePoint project(const CameraModel &camera, const Pose &robot, const Vec3 &world)
{
    return project(camera, cameraFrame(camera, robot), world);
}

Vec3 pixelRay(const CameraModel &camera, const CameraFrame &frame, double col, double row)
{
    const double left = (camera.centreCol - col) / camera.focalPx;
    const double up = (camera.centreRow - row) / camera.focalPx;
    return frame.forward + left * frame.left + up * frame.up;
}

} // namespace dockworld
