// The simulated camera picture: markers land where the camera model puts
// them, with the size the vision program needs, and nothing else in a dark
// room crosses its threshold.
#include <gtest/gtest.h>

#include <cmath>

#include "camera/camera_render.h"
#include "frame_blobs.h"
#include "world/station.h"

using namespace dockworld;
using dockingtest::Blob;
using dockingtest::findBlobs;

namespace {

const double kMast = CameraModel().behindAxle; // camera behind the axle

const Station kStation({0.0, 0.0}, 0.0); // facing +x

YuvFrame renderFrom(const Pose &robot, const std::vector<Emitter> &emitters, const LineOfSight &clear = nullptr,
                    uint32_t seed = 7)
{
    CameraRenderer renderer(CameraModel(), RenderSettings(), seed);
    YuvFrame frame;
    renderer.render(robot, emitters, clear, frame);
    return frame;
}

// For each marker, the blob closest to its projected centre.
void expectMarkersFound(const Pose &robot, double tolerancePx)
{
    const YuvFrame frame = renderFrom(robot, markerEmitters(kStation));
    const std::vector<Blob> blobs = findBlobs(frame);
    ASSERT_EQ(blobs.size(), 6u) << "pose " << robot.x << "," << robot.y;
    for (const Marker &m : kStation.markers()) {
        const ImagePoint p = project(CameraModel(), robot, m.centre);
        double best = 1e9;
        for (const Blob &b : blobs)
            best = std::min(best, std::hypot(b.col - p.col, b.row - p.row));
        EXPECT_LT(best, tolerancePx) << "marker " << static_cast<int>(m.id) << " from " << robot.x;
    }
}

} // namespace

TEST(CameraRender, FrameHasWebcamSizeAndNeutralChroma)
{
    const YuvFrame frame = renderFrom({3.0, 0.0, kPi}, {});
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 480);
    EXPECT_EQ(frame.bytes.size(), 640u * 480u * 3u / 2u);
    // A dark room with noise: nothing reaches the vision threshold.
    EXPECT_TRUE(findBlobs(frame, dockingtest::kVisionLumaThreshold, 1).empty());
    long sumU = 0;
    const YuvFrame &f = frame;
    for (size_t i = 640 * 480; i < 640 * 480 + 320 * 240; ++i)
        sumU += f.bytes[i];
    EXPECT_NEAR(static_cast<double>(sumU) / (320 * 240), 128.0, 1.0);
}

TEST(CameraRender, MarkersLandWhereProjected)
{
    expectMarkersFound({3.0, 0.0, kPi}, 0.5);                   // straight on at 3 m
    expectMarkersFound({1.2, 0.25, kPi - 0.3}, 0.5);            // off to one side, turned
    expectMarkersFound({0.9, -0.1, kPi + 0.1}, 0.5);            // close up
}

TEST(CameraRender, FarMarkersStayBigEnoughAndSeparate)
{
    // Four metres away each marker still makes a blob of six pixels or more,
    // apart from its neighbour in the other column (9 cm = 8 px). Beyond
    // about 4.3 m the blurred pairs run together.
    const YuvFrame frame = renderFrom({4.0 - kMast, 0.0, kPi}, markerEmitters(kStation));
    const std::vector<Blob> blobs = findBlobs(frame, dockingtest::kVisionLumaThreshold, 1);
    ASSERT_EQ(blobs.size(), 6u);
    for (const Blob &b : blobs)
        EXPECT_GE(b.pixels, 6);
}

TEST(CameraRender, CloseMarkersDoNotMerge)
{
    // At the distance where the outer pairs leave the row band the discs are
    // big but still apart.
    const YuvFrame frame = renderFrom({0.54 - kMast + 0.02, 0.0, kPi}, markerEmitters(kStation));
    const std::vector<Blob> blobs = findBlobs(frame);
    EXPECT_EQ(blobs.size(), 6u);
}

TEST(CameraRender, BlockedLineOfSightHidesMarkers)
{
    const auto wallBetween = [](const Vec3 &from, const Vec3 &to) { return (from.x - 1.0) * (to.x - 1.0) > 0; };
    const YuvFrame frame = renderFrom({3.0, 0.0, kPi}, markerEmitters(kStation), wallBetween);
    EXPECT_TRUE(findBlobs(frame, dockingtest::kVisionLumaThreshold, 1).empty());
}

TEST(CameraRender, MarkersFacingAwayAreNotSeen)
{
    // Behind the station's wall, looking at its back.
    const YuvFrame frame = renderFrom({-2.0, 0.0, 0.0}, markerEmitters(kStation));
    EXPECT_TRUE(findBlobs(frame, dockingtest::kVisionLumaThreshold, 1).empty());
}

TEST(CameraRender, LampShowsAsOneRoundBlobWithItsColour)
{
    Emitter lamp;
    lamp.shape = Emitter::Shape::Ball;
    lamp.centre = {0.0, 1.0, 0.45};
    lamp.radius = 0.1;
    lamp.luma = 200.0;
    lamp.chromaV = 30.0; // warm
    const Pose robot{3.0, 1.0, kPi};
    const YuvFrame frame = renderFrom(robot, {lamp});
    const std::vector<Blob> blobs = findBlobs(frame);
    ASSERT_EQ(blobs.size(), 1u);
    const ImagePoint p = project(CameraModel(), robot, lamp.centre);
    EXPECT_NEAR(blobs[0].col, p.col, 0.3);
    EXPECT_NEAR(blobs[0].row, p.row, 0.3);
    const double radiusPx = 355.0 * 0.1 / p.depth;
    EXPECT_NEAR(blobs[0].pixels, kPi * radiusPx * radiusPx, 0.35 * kPi * radiusPx * radiusPx);
    YuvFrame copy = frame;
    const size_t c = static_cast<size_t>(640 * 480 + 320 * 240) + static_cast<size_t>(p.row / 2) * 320 +
                     static_cast<size_t>(p.col / 2);
    EXPECT_GT(copy.bytes[c], 150); // V plane: reddish
}

TEST(CameraRender, NoiseChangesFromFrameToFrame)
{
    CameraRenderer renderer(CameraModel(), RenderSettings(), 3);
    YuvFrame a, b;
    renderer.render({3.0, 0.0, kPi}, {}, nullptr, a);
    renderer.render({3.0, 0.0, kPi}, {}, nullptr, b);
    EXPECT_NE(a.bytes, b.bytes);
}
