// The README's station drawings and the simulated station describe the same
// station: every number the drawings carry against the simulator's geometry.
#include <cmath>

#include <gtest/gtest.h>

#include "picture/station_plan.h"
#include "world/station.h"

using namespace dockworld;
using P = StationPlan;

namespace {

// Half a millimetre: the drawings give heights to the millimetre.
constexpr double kTolerance = 0.0005;

// Whether `segments` has one from (out0, side0) to (out1, side1), in
// station coordinates, either way round.
bool hasSegment(const Station &station, const std::vector<Segment> &segments, double out0, double side0,
                double out1, double side1)
{
    const auto near = [](Vec2 a, double out, double side) {
        return std::fabs(a.x - out) < kTolerance && std::fabs(a.y - side) < kTolerance;
    };
    for (const Segment &s : segments) {
        const Vec2 a = station.toStation(s.a), b = station.toStation(s.b);
        if ((near(a, out0, side0) && near(b, out1, side1)) || (near(b, out0, side0) && near(a, out1, side1)))
            return true;
    }
    return false;
}

} // namespace

TEST(StationPlan, DrawsTheSimulatedStation)
{
    const CameraModel camera;
    const Station station({1.0, 2.0}, 0.3, camera);
    const double wall = -P::plateDepth;
    EXPECT_TRUE(hasSegment(station, station.plateSegments(), 0, -P::plateWidth / 2, 0, P::plateWidth / 2));
    for (double sign : {-1.0, 1.0}) {
        const double w = sign * P::plateWidth / 2;
        EXPECT_TRUE(hasSegment(station, station.plateSegments(), 0, w, wall, w));
        const double rail = sign * P::railGap / 2, bend = sign * P::bendWidth / 2, mouth = sign * P::mouthWidth / 2;
        EXPECT_TRUE(hasSegment(station, station.guideSegments(), wall, rail, P::railEnd, rail)) << sign;
        EXPECT_TRUE(hasSegment(station, station.guideSegments(), P::railEnd, rail, P::bendOut, bend)) << sign;
        // The steep part is drawn as tall as the housing: it hides the markers.
        EXPECT_TRUE(hasSegment(station, station.opaqueSegments(), P::bendOut, bend, P::mouthOut, mouth)) << sign;
        EXPECT_TRUE(hasSegment(station, station.housingSegments(), P::mouthOut, mouth, wall, mouth)) << sign;
    }
    EXPECT_NEAR(StationLayout::guideHeight, P::guideHeight, kTolerance);
    EXPECT_NEAR(camera.mountHeight, P::cameraHeight, kTolerance);

    const double heights[3] = {P::upperHeight, P::middleHeight, P::lowerHeight};
    ASSERT_EQ(station.markers().size(), 6u);
    for (const Marker &m : station.markers()) {
        const int level = static_cast<int>(m.id) / 2;
        EXPECT_NEAR(m.centre.z, heights[level], kTolerance) << static_cast<int>(m.id);
        EXPECT_NEAR(2 * m.radius, P::markerDiameter, kTolerance);
        EXPECT_NEAR(std::fabs(station.toStation({m.centre.x, m.centre.y}).y), P::columnSpacing / 2, kTolerance);
        EXPECT_NEAR(station.toStation({m.centre.x, m.centre.y}).x, 0.0, kTolerance);
    }
    // Housing and steep flares stand above the upper markers' top edge.
    EXPECT_GT(P::housingHeight, P::upperHeight + P::markerDiameter / 2);
}
