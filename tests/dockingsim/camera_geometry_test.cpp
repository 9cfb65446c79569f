// The camera model and the station layout: where known points land in the
// picture, and that the markers give the controller the distances and the
// row-band behaviour it relies on.
#include <gtest/gtest.h>

#include <cmath>

#include "world/camera_model.h"
#include "world/station.h"

using namespace dockworld;

namespace {

const double kMast = CameraModel().behindAxle; // camera behind the axle

// A station on the floor at the origin facing +x; robots facing it look -x.
Station stationAtOrigin() { return Station({0.0, 0.0}, 0.0); }

// Robot whose camera is `cameraDistance` metres straight out from the plate,
// facing it.
Pose facingAt(double cameraDistance, double side = 0.0)
{
    const CameraModel camera;
    return {cameraDistance - camera.behindAxle, side, kPi};
}

ImagePoint markerImage(const Station &station, const Pose &pose, MarkerId id)
{
    return project(CameraModel(), pose, station.markers()[static_cast<int>(id)].centre);
}

} // namespace

TEST(CameraModel, ProjectsKnownPoints)
{
    CameraModel camera;
    const Pose robot{1.0, 2.0, kPi / 2}; // facing north; the camera is kMast south of the axle
    // A point 2 m ahead of the camera at its own height: the image centre.
    ImagePoint p = project(camera, robot, {1.0, 2.0 - kMast + 2.0, 0.45});
    EXPECT_NEAR(p.col, 320.0, 1e-9);
    EXPECT_NEAR(p.row, 240.0, 1e-9);
    EXPECT_NEAR(p.depth, 2.0, 1e-9);
    // 0.5 m to the left (west) and 0.2 m up at 2 m: left of and above the centre.
    p = project(camera, robot, {0.5, 2.0 - kMast + 2.0, 0.65});
    EXPECT_NEAR(p.col, 320.0 - 355.0 * 0.25, 1e-9);
    EXPECT_NEAR(p.row, 240.0 - 355.0 * 0.1, 1e-9);
    EXPECT_TRUE(p.inFrame(camera));
    // Behind the camera.
    EXPECT_FALSE(project(camera, robot, {1.0, 1.0, 0.45}).inFront());
    // A ray through a pixel projects back onto that pixel.
    const CameraFrame view = cameraFrame(camera, robot);
    const Vec3 ray = pixelRay(camera, view, 101.5, 377.5);
    p = project(camera, view, view.centre + 3.0 * ray);
    EXPECT_NEAR(p.col, 101.5, 1e-9);
    EXPECT_NEAR(p.row, 377.5, 1e-9);
    EXPECT_NEAR(p.depth, 3.0, 1e-9);
}

TEST(CameraModel, PitchMovesTheHorizon)
{
    CameraModel camera;
    camera.pitch = degToRad(2.0); // looking up: a far point at camera height drops in the picture
    const ImagePoint p = project(camera, Pose{0, 0, 0}, {100.0, 0.0, 0.45});
    EXPECT_NEAR(p.row, 240.0 + 355.0 * std::tan(degToRad(2.0)), 0.01);
}

TEST(StationLayout, RowDifferenceGivesDistanceInMetres)
{
    const Station station = stationAtOrigin();
    for (double d : {0.6, 1.0, 2.0, 2.5, 3.0, 4.5, 6.0}) {
        const Pose robot = facingAt(d);
        const double upper = markerImage(station, robot, MarkerId::UpperRight).row;
        const double lower = markerImage(station, robot, MarkerId::LowerRight).row;
        EXPECT_NEAR(106.0 / (lower - upper), d, 1e-6) << "at " << d << " m";
        // The integer rows the vision program publishes keep it within 4%.
        const int upperRow = static_cast<int>(upper);
        const int lowerRow = static_cast<int>(lower);
        EXPECT_NEAR(106.0 / (lowerRow - upperRow), d, 0.04 * d) << "at " << d << " m";
    }
}

TEST(StationLayout, OuterPairsLeaveTheRowBandTogetherBeforeContact)
{
    const Station station = stationAtOrigin();
    const auto inBand = [](double row) { return row >= 166.0 && row <= 364.0; };
    // Just before the nose reaches the plate every marker is in the band ...
    Pose robot = facingAt(0.55);
    for (const Marker &m : station.markers())
        EXPECT_TRUE(inBand(project(CameraModel(), robot, m.centre).row));
    // ... and within 3 mm of travel both outer pairs have left it while the
    // middle pair stays.
    robot = facingAt(0.532);
    for (const Marker &m : station.markers()) {
        const bool middle = m.id == MarkerId::MiddleLeft || m.id == MarkerId::MiddleRight;
        EXPECT_EQ(inBand(project(CameraModel(), robot, m.centre).row), middle);
    }
    // Docked, the camera is closer than that: the outer pairs are out of the band.
    const Pose docked = station.dockedPose();
    const double upper = project(CameraModel(), docked, station.markers()[1].centre).row;
    const double lower = project(CameraModel(), docked, station.markers()[5].centre).row;
    EXPECT_LT(upper, 166.0);
    EXPECT_GT(lower, 364.0);
}

TEST(StationLayout, LeftColumnIsOnTheRobotsLeft)
{
    const Station station({2.0, 1.0}, degToRad(90.0)); // facing north, robot looks south
    const Pose robot{2.0, 3.0, degToRad(-90.0)};
    const double left = project(CameraModel(), robot, station.markers()[0].centre).col;
    const double right = project(CameraModel(), robot, station.markers()[1].centre).col;
    EXPECT_LT(left, right);
    EXPECT_NEAR(right - left, 355.0 * 0.09 / (2.0 + kMast), 1e-6); // the camera is behind the axle
}

TEST(StationLayout, DockedRobotFitsBetweenTheRailsAgainstThePlate)
{
    const Station station({1.0, -1.0}, degToRad(30.0));
    const Pose docked = station.dockedPose();
    const Station::Offsets o = station.offsets(docked);
    EXPECT_NEAR(o.lateral, 0.0, 1e-9);
    EXPECT_NEAR(o.gap, 0.0, 1e-9);
    EXPECT_NEAR(o.heading, 0.0, 1e-9);
    const auto outline = RobotBody::outline();
    double closestRail = 1e9;
    for (size_t i = 0; i < outline.size(); ++i) {
        const Segment edge{docked.toWorld(outline[i].x, outline[i].y),
                           docked.toWorld(outline[(i + 1) % 6].x, outline[(i + 1) % 6].y)};
        for (const Segment &g : station.guideSegments()) {
            EXPECT_FALSE(segmentsIntersect(edge, g));
            closestRail = std::min(closestRail, distanceToSegment(edge.a, g));
        }
    }
    EXPECT_NEAR(closestRail, 0.015, 1e-6);
    // The nose's flat part lies on the plate's face.
    const Segment face = station.plateSegments()[0];
    EXPECT_NEAR(distanceToSegment(docked.toWorld(RobotBody::front, 0.0), face), 0.0, 1e-9);
    // A robot turned 8 degrees in place would cut into a rail.
    Pose turned = docked;
    turned.heading += degToRad(8.0);
    bool hits = false;
    for (size_t i = 0; i < outline.size(); ++i) {
        const Segment edge{turned.toWorld(outline[i].x, outline[i].y),
                           turned.toWorld(outline[(i + 1) % 6].x, outline[(i + 1) % 6].y)};
        for (const Segment &g : station.guideSegments())
            hits = hits || segmentsIntersect(edge, g);
    }
    EXPECT_TRUE(hits);
}
