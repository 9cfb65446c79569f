// Imperfections by name, the realistic preset's draws, and the room's
// variants: the low-housing station and the lighting presets.
#include <gtest/gtest.h>

#include <cmath>

#include "camera/camera_render.h"
#include "frame_blobs.h"
#include "trials/imperfect_world.h"
#include "trials/imperfections.h"

using namespace dockworld;
using dockingtest::findBlobs;

TEST(Imperfections, SetByNameRefusedWithAReasonAndDescribedBack)
{
    Imperfections imp;
    EXPECT_EQ(describeImperfections(imp), "");
    std::string error;
    EXPECT_FALSE(setImperfection(imp, "camera-tilt", "1", &error));
    EXPECT_EQ(error, "unknown imperfection 'camera-tilt'");
    for (const auto &[name, bad] : {std::pair{"lens-k1", "-0.1x"}, {"exposure", "50"}, {"lights", "disco"},
                                    {"sonar-noise", "maybe"}})
        EXPECT_FALSE(setImperfection(imp, name, bad, &error)) << name; // 50 ms: longer than a frame at 30 fps
    EXPECT_EQ(describeImperfections(imp), "") << "a refused value changes nothing";
    ASSERT_TRUE(setImperfection(imp, "camera-pitch", "0.5", &error));
    ASSERT_TRUE(setImperfection(imp, "lights", "office", &error));
    ASSERT_TRUE(setImperfection(imp, "sonar-noise", "on", &error));
    ASSERT_TRUE(setImperfection(imp, "station", "low", &error));
    EXPECT_EQ(describeImperfections(imp), "camera-pitch=0.5 lights=office sonar-noise=on station=low");
    // Command lines: a switch takes no value, an option its next word.
    char a0[] = "x", a1[] = "--realistic", a2[] = "--latency", a3[] = "80", a4[] = "--seed";
    char *argv[] = {a0, a1, a2, a3, a4};
    int i = 1;
    EXPECT_EQ(parseImperfectionOption(imp, 5, argv, &i, &error), 1);
    EXPECT_EQ(i, 2);
    EXPECT_EQ(parseImperfectionOption(imp, 5, argv, &i, &error), 1);
    EXPECT_EQ(i, 4);
    EXPECT_EQ(parseImperfectionOption(imp, 5, argv, &i, &error), 0);
    EXPECT_TRUE(imp.realistic);
    EXPECT_EQ(imp.latencyMs, 80.0);
}

TEST(Imperfections, RealisticDrawsEachUnsetValueInItsRangePerSeed)
{
    Imperfections imp;
    std::string error;
    ASSERT_TRUE(setImperfection(imp, "realistic", "on", &error));
    ASSERT_TRUE(setImperfection(imp, "camera-pitch", "0", &error)); // given: stays ideal
    Imperfections allDrawn;
    allDrawn.realistic = true;
    double pitchSeen = 0.0, k1Low = 0.0, k1High = -1.0;
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        const Imperfections r = resolveImperfections(imp, seed);
        EXPECT_EQ(r.cameraPitchDeg, 0.0);
        EXPECT_LE(std::fabs(r.cameraHeightOffset), 0.01);
        EXPECT_LE(std::fabs(r.cameraYawDeg), 1.0);
        EXPECT_LE(std::fabs(r.latencyMs - 100.0), 50.0);
        EXPECT_LE(std::fabs(r.exposureMs - 20.0), 10.0);
        EXPECT_EQ(r.lights, "office");
        EXPECT_TRUE(r.sonarNoise);
        EXPECT_EQ(r.station, "built");
        EXPECT_EQ(r.markerBrightness, 1.0); // the markers as built, not drawn
        k1Low = std::min(k1Low, r.lensK1);
        k1High = std::max(k1High, r.lensK1);
        pitchSeen += std::fabs(resolveImperfections(allDrawn, seed).cameraPitchDeg);
        EXPECT_EQ(describeImperfections(resolveImperfections(r, seed + 1)), describeImperfections(r))
            << "resolved values are kept";
    }
    EXPECT_LT(k1Low, -0.09); // the range is used, not one value
    EXPECT_GT(k1High, -0.04);
    EXPECT_NEAR(pitchSeen / 200, 0.5, 0.1); // uniform within +-1 degree
    EXPECT_NE(describeImperfections(resolveImperfections(imp, 9)), describeImperfections(resolveImperfections(imp, 10)));
}

TEST(RoomVariants, LowHousingShowsMarkersFarOffTheLineAndLightsAddWhatTheySay)
{
    // 40 degrees off the centre line, 2.5 m out: the built station's housing
    // hides the markers, the low one does not.
    const DockingRoom built, low(false, CameraModel(), true);
    const Vec2 at = built.station().toWorld(2.5 * std::cos(degToRad(40)), 2.5 * std::sin(degToRad(40)));
    const Vec3 eye{at.x, at.y, CameraModel().mountHeight};
    const Vec3 marker = built.station().markers()[0].centre;
    EXPECT_FALSE(built.lineOfSight(eye, marker));
    EXPECT_TRUE(low.lineOfSight(eye, marker));
    EXPECT_EQ(low.obstacles().size(), built.obstacles().size()) << "low, but just as solid";

    // Facing the station from 3.5 m: the dark room shows six markers; the
    // lamp beside it adds one more in the row band; the office adds the
    // window beside the station and the markers' reflections in the floor,
    // and brightens the background without reaching the threshold.
    const Pose robot{built.station().face().x + 3.5, 2.25, kPi};
    const auto blobsIn = [&](Lights lights, int rowFrom, int rowTo) {
        const DockingRoom room(false, CameraModel(), false, lights);
        CameraRenderer renderer(CameraModel(), renderSettingsFor(lights), 4);
        YuvFrame frame;
        renderer.render(robot, room.emitters(), [&](const Vec3 &a, const Vec3 &b) { return room.lineOfSight(a, b); },
                        frame);
        int count = 0;
        for (const auto &b : findBlobs(frame, dockingtest::kVisionLumaThreshold, 3))
            count += b.row >= rowFrom && b.row <= rowTo;
        return count;
    };
    EXPECT_EQ(blobsIn(Lights::Dark, 0, 479), 6);
    EXPECT_EQ(blobsIn(Lights::LampBeside, 166, 364), 7);
    const Vec3 mirrored{marker.x, marker.y, -marker.z};
    const int reflectionRow = static_cast<int>(project(CameraModel(), robot, mirrored).row);
    EXPECT_GE(blobsIn(Lights::Office, reflectionRow - 30, 479), 2) << "markers mirrored in the floor";
    EXPECT_GE(blobsIn(Lights::Office, 0, 479), 6 + 1 + 2);
    EXPECT_GT(renderSettingsFor(Lights::Office).backgroundLuma, RenderSettings().backgroundLuma);
    EXPECT_LE(renderSettingsFor(Lights::Office).floorLuma + 3 * RenderSettings().noiseSigma, 29.0);
}
