// The docking station: a contact plate standing out from a wall, six bright
// markers in the plane of the plate's face, and a low guide at its mouth
// (two parallel rails that flare into a funnel).
//
// Station coordinates: `out` metres from the plate's face into the room,
// `side` metres to the left as seen by a robot facing the plate.
#pragma once

#include <array>
#include <vector>

#include "world/camera_model.h"
#include "world/world_geometry.h"

namespace dockworld {

// Dimensions of the robot body (a Pioneer-sized base); the pose point is the
// middle of the wheel axle.
struct RobotBody {
    static constexpr double front = 0.21;      // bumper ahead of the axle
    static constexpr double rear = 0.301;      // back behind the axle
    static constexpr double halfWidth = 0.2125;
    static constexpr double noseHalfWidth = 0.12; // flat part of the nose
    static constexpr double chamfer = 0.07;       // the nose's corners are cut back this far
    static constexpr double wheelTrack = 0.33;
    // Outline, counter-clockwise, in robot coordinates (forward, left).
    static std::array<Vec2, 6> outline();
};

struct StationLayout {
    // Marker discs, all the same size so that the middle pair is seen at every
    // range (at least 6 pixels out to about 6 m).
    static constexpr double markerRadius = 0.025;
    // Left column this far to the left of the plate's middle, right column as
    // far to the right.
    static constexpr double columnOffset = 0.045;
    static constexpr double plateHalfWidth = 0.16;
    static constexpr double plateDepth = 0.10; // from the wall to the plate's face
    // Guide: straight rails this far from the centre line (the robot's half
    // width plus 1.5 cm) up to railLength from the plate, then a flare to
    // funnelHalfWidth at funnelLength.
    static constexpr double railHalfGap = RobotBody::halfWidth + 0.015;
    static constexpr double railLength = 0.45;
    // The flare bends once: 41 degrees off the centre line, shallow enough for
    // a robot to slide along, up to bendLength, then 60 degrees to the mouth,
    // wide enough that robots coming in 35 degrees off the line meet it from
    // the inside and slide on to the shallow part.
    static constexpr double bendHalfWidth = 0.576;
    static constexpr double bendLength = 0.85;
    static constexpr double funnelHalfWidth = 1.096;
    static constexpr double funnelLength = 1.15;
    static constexpr double guideHeight = 0.12; // low: the camera looks over it

    // Marker heights chosen for the default camera: focal length times the
    // upper-to-lower spacing is 106 px m, so 106 / (row difference) is the
    // camera's distance to the marker plane in metres; and both outer pairs
    // leave the row band 166..364 at the same distance, 106 / 199 m, which the
    // camera reaches when the robot's nose is about 5 cm from the plate.
    static double upperHeight(const CameraModel &camera);
    static double lowerHeight(const CameraModel &camera);
    static double middleHeight(const CameraModel &camera);
};

enum class MarkerId { UpperLeft, UpperRight, MiddleLeft, MiddleRight, LowerLeft, LowerRight };

struct Marker {
    MarkerId id;
    Vec3 centre;
    double radius;
};

// One station placed in the room.
class Station {
public:
    // `face` is the middle of the plate's face on the floor, `facing` the
    // direction the plate faces (into the room).
    Station(Vec2 face, double facing, const CameraModel &camera = CameraModel());

    Vec2 face() const { return face_; }
    double facing() const { return facing_; }
    // World point of station coordinates (out, side).
    Vec2 toWorld(double out, double side) const;
    // Station coordinates (out, side) of a world point.
    Vec2 toStation(Vec2 world) const;

    const std::vector<Marker> &markers() const { return markers_; }
    // The plate (its face and sides), rigid.
    std::vector<Segment> plateSegments() const;
    // Rails and flares; they give way a little and let a robot slide along.
    std::vector<Segment> guideSegments() const;
    // The station's body beside the funnel: from each end of the mouth
    // straight back to the wall, so that no robot gets between a flare and
    // the wall. Rigid like a wall, and taller than the markers.
    std::vector<Segment> housingSegments() const;
    // What of the station blocks the camera's view: the housing sides and
    // the steep outer parts of the flares, which are as tall as the housing.
    // Together they hide the markers from robots more than about 34 degrees
    // off the centre line, whose straight run at the markers would meet the
    // mouth's corner. The rails and the shallow parts of the flares stay low.
    std::vector<Segment> opaqueSegments() const;
    // Whether a floor point lies within the station's body (between a flare
    // and its housing side, or behind the plate).
    bool insideBody(Vec2 world) const;

    // The pose of a robot that sits squarely on the contacts.
    Pose dockedPose() const;
    // How far a robot is from sitting on the contacts: sideways offset of its
    // axle from the centre line (metres, positive to the left), gap between its
    // nose and the plate (metres), and heading error (radians, positive when
    // turned to the left).
    struct Offsets {
        double lateral;
        double gap;
        double heading;
    };
    Offsets offsets(const Pose &robot) const;

private:
    Vec2 face_;
    double facing_;
    Vec2 normal_;
    Vec2 sideAxis_;
    std::vector<Marker> markers_;
};

} // namespace dockworld
