// The camera's flaws in the picture: a mount pitched, raised or turned, a
// distorting lens, a late frame and a long exposure each move or smear the
// markers as their physical model says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "camera/camera_feed.h"
#include "frame_blobs.h"

using namespace dockworld;
using dockingtest::findBlobs;

namespace {

const DockingRoom kRoom; // station on the west wall at y 2.25, facing east
const double kFocal = CameraModel().focalPx;

// The robot 2 m (camera to plate) in front of the station, facing it.
Pose facing(double side = 0.0) { return {kRoom.station().face().x + 2.0 + CameraModel().behindAxle, 2.25 + side, kPi}; }

const Vec3 kMiddleLeft = kRoom.station().markers()[static_cast<int>(MarkerId::MiddleLeft)].centre;

// The middle-left marker's blob as `camera` sees it from `robot`.
dockingtest::Blob middleLeftBlob(const CameraModel &camera, const Pose &robot)
{
    CameraRenderer renderer(camera, RenderSettings(), 3);
    YuvFrame frame;
    renderer.render(robot, markerEmitters(kRoom.station()), nullptr, frame);
    const ImagePoint p = project(camera, robot, kMiddleLeft);
    const auto blobs = findBlobs(frame);
    if (blobs.empty())
        return {}; // at (0, 0): fails every comparison
    return *std::min_element(blobs.begin(), blobs.end(), [&](const auto &a, const auto &b) {
        return std::hypot(a.col - p.col, a.row - p.row) < std::hypot(b.col - p.col, b.row - p.row);
    });
}

// The robot in front of the station turning on the spot at 2 rad/s.
BodyPose turning(double t) { return BodyPose{{facing().x, 2.25, kPi + 2.0 * t}, 0.0}; }

// The frame written at time 0 of that turn, exposed for `exposure` seconds.
YuvFrame turningFrame(const DockingRoom &room, double exposure)
{
    FeedTiming timing;
    timing.exposure = exposure;
    CameraFeed camera(room, CameraModel(), turning, [] { return 0.0; }, 3, 1.0, timing);
    YuvFrame picture;
    camera.renderAt(0.0, picture);
    return picture;
}

} // namespace

TEST(CameraFlaws, MountErrorsMoveTheMarkersAsTheGeometrySays)
{
    const CameraModel ideal;
    const auto at = middleLeftBlob(ideal, facing());
    CameraModel pitched = ideal;
    pitched.pitch = degToRad(1.0); // up: the markers go down the picture
    EXPECT_NEAR(middleLeftBlob(pitched, facing()).row - at.row, kFocal * std::tan(degToRad(1.0)), 1.0);
    CameraModel raised = ideal;
    raised.mountHeight += 0.01; // 1 cm at 2 m: 1.8 px down
    EXPECT_NEAR(middleLeftBlob(raised, facing()).row - at.row, kFocal * 0.01 / 2.0, 0.5);
    CameraModel turned = ideal;
    turned.yaw = degToRad(1.0); // to the left: the markers go right
    EXPECT_NEAR(middleLeftBlob(turned, facing()).col - at.col, kFocal * std::tan(degToRad(1.0)), 1.0);
}

TEST(CameraFlaws, LensDistortionMovesPointsMarkersAndTheHorizon)
{
    CameraModel lens;
    lens.k1 = -0.12;
    lens.k2 = 0.02;
    // A corner point: x_d = x (1 + k1 r^2 + k2 r^4) in normalised coordinates.
    const Pose robot{0.0, 0.0, 0.0};
    const CameraFrame view = cameraFrame(lens, robot);
    const double x = 0.8, y = 0.5, r2 = x * x + y * y, s = 1.0 + lens.k1 * r2 + lens.k2 * r2 * r2;
    const ImagePoint p = project(lens, view, view.centre + view.forward - x * view.left - y * view.up);
    EXPECT_NEAR(p.col, 320.0 + kFocal * x * s, 1e-6);
    EXPECT_NEAR(p.row, 240.0 + kFocal * y * s, 1e-6);
    // Rendered: a marker seen far off to one side lands where the lens puts
    // it, 5 px or more nearer the middle than through an ideal lens.
    const Pose offside = facing(1.3);
    const auto bent = middleLeftBlob(lens, offside), straight = middleLeftBlob(CameraModel(), offside);
    const ImagePoint expected = project(lens, offside, kRoom.station().markers()[2].centre);
    EXPECT_NEAR(bent.col, expected.col, 0.5);
    EXPECT_NEAR(bent.row, expected.row, 0.5);
    EXPECT_GT(bent.col - straight.col, 5.0);
    // The floor's edge (the horizon of a camera pitched down 10 degrees) bows:
    // in the picture's first column it lies nearer the middle row, where the
    // level ray that the lens bends onto that column lands.
    lens.pitch = degToRad(-10.0);
    RenderSettings contrast;
    contrast.floorLuma = 120.0;
    contrast.noiseSigma = 0.0;
    CameraRenderer renderer(lens, contrast);
    YuvFrame frame;
    renderer.render(robot, {}, nullptr, frame);
    const auto firstFloorRow = [&](int col) {
        int row = 0;
        while (row < 480 && frame.lumaAt(col, row) < 70)
            ++row;
        return row;
    };
    const double level = -std::tan(degToRad(10.0));
    double ideal = -320.0 / kFocal, scale = 1.0; // the level ray's x before the lens, found by iteration
    for (int i = 0; i < 50; ++i) {
        const double r2 = ideal * ideal + level * level;
        scale = 1.0 + lens.k1 * r2 + lens.k2 * r2 * r2;
        ideal = -320.0 / kFocal / scale;
    }
    EXPECT_NEAR(firstFloorRow(320), 240.0 + kFocal * level, 1.0);
    EXPECT_NEAR(firstFloorRow(0), 240.0 + kFocal * level * scale, 1.0);
}

TEST(CameraFlaws, ALateFrameShowsThePoseOfThenAndExposureSmearsATurn)
{
    // The robot slides sideways at 1 m/s: a frame written at 0.5 s with 100 ms
    // of latency shows the markers where they were at 0.4 s, 10 px or more
    // from where they are at 0.5 s.
    const auto sliding = [](double t) { return BodyPose{{facing().x, 2.25 + t, kPi}, 0.0}; };
    FeedTiming late;
    late.latency = 0.1;
    CameraFeed feed(kRoom, CameraModel(), sliding, [] { return 0.0; }, 3, 1.0, late);
    YuvFrame frame;
    feed.renderAt(0.5, frame);
    const ImagePoint then = project(CameraModel(), sliding(0.4).pose, kMiddleLeft);
    const ImagePoint now = project(CameraModel(), sliding(0.5).pose, kMiddleLeft);
    double nearest = 1e9;
    for (const auto &b : findBlobs(frame))
        nearest = std::min(nearest, std::hypot(b.col - then.col, b.row - then.row));
    EXPECT_LT(nearest, 0.5);
    EXPECT_GT(std::fabs(now.col - then.col), 10.0);

    // Turning at 2 rad/s with a 30 ms exposure: the lit run along the middle
    // markers' row grows by the distance their image travels meanwhile.
    const auto litSpan = [&](double exposure) {
        const YuvFrame picture = turningFrame(kRoom, exposure);
        const int row = static_cast<int>(std::lround(project(CameraModel(), turning(0.0).pose, kMiddleLeft).row));
        int first = -1, last = -1;
        for (int col = 0; col < picture.width; ++col)
            if (picture.lumaAt(col, row) > dockingtest::kVisionLumaThreshold) {
                first = first < 0 ? col : first;
                last = col;
            }
        return last - first;
    };
    const double travel = project(CameraModel(), turning(-0.03).pose, kMiddleLeft).col -
                          project(CameraModel(), turning(0.0).pose, kMiddleLeft).col;
    EXPECT_NEAR(litSpan(0.03) - litSpan(0.0), std::fabs(travel), 2.5);
}

TEST(CameraFlaws, MarkersBrighterThanSaturationStaySaturatedThroughTheSmear)
{
    // Turning at 2 rad/s with a 30 ms exposure, the middle-left marker's image
    // sweeps 19 px, about twice its width: a marker that just saturates the
    // sensor dims, one four times as bright does not.
    const auto peak = [](double brightness) {
        const YuvFrame picture =
                turningFrame(DockingRoom(false, CameraModel(), false, Lights::Dark, brightness), 0.03);
        const ImagePoint p = project(CameraModel(), turning(-0.015).pose, kMiddleLeft);
        int most = 0;
        for (int col = static_cast<int>(p.col) - 5; col <= static_cast<int>(p.col) + 5; ++col)
            most = std::max(most, static_cast<int>(picture.lumaAt(col, static_cast<int>(std::lround(p.row)))));
        return most;
    };
    EXPECT_LT(peak(1.0), 200);
    EXPECT_GE(peak(4.0), 250);
}
