// The robot's webcam: where it sits on the robot and how it maps the room to
// 640 x 480 pixels (a pin-hole with square pixels).
#pragma once

#include "world/world_geometry.h"

namespace dockworld {

struct CameraModel {
    int width = 640;
    int height = 480;
    // Focal length in pixels: 355 px gives an 84 x 68 degree field of view,
    // a common wide webcam lens.
    double focalPx = 355.0;
    double centreCol = 320.0;
    double centreRow = 240.0;
    // On a mast on the centreline behind the wheel axle: far enough back that
    // the station's outer markers are still in view until the nose is a few
    // centimetres from the plate, then leave the picture together.
    double behindAxle = 0.30;
    double mountHeight = 0.45;
    // A mount built off its design: the station is built for mountHeight,
    // the camera sits heightOffset metres higher (negative: lower).
    double heightOffset = 0.0;
    double pitch = 0.0; // radians, positive tilts the view up
    double yaw = 0.0;   // radians, positive turns the view left
};

// A point of the room as the camera sees it.
struct ImagePoint {
    double col = 0.0;
    double row = 0.0;
    double depth = 0.0; // along the optical axis, metres; not positive = behind the camera
    bool inFront() const { return depth > 1e-6; }
    bool inFrame(const CameraModel &camera) const
    {
        return inFront() && col >= 0.0 && row >= 0.0 && col < camera.width && row < camera.height;
    }
};

// The camera's optical centre and its three axes, in the world frame.
struct CameraFrame {
    Vec3 centre;
    Vec3 forward;
    Vec3 left;
    Vec3 up;
};

CameraFrame cameraFrame(const CameraModel &camera, const Pose &robot);
ImagePoint project(const CameraModel &camera, const CameraFrame &frame, const Vec3 &world);
ImagePoint project(const CameraModel &camera, const Pose &robot, const Vec3 &world);
// Direction of the ray through image point (col, row), scaled to unit length
// along the optical axis. Pixel centres lie on whole coordinates.
Vec3 pixelRay(const CameraModel &camera, const CameraFrame &frame, double col, double row);

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

} // namespace dockworld
