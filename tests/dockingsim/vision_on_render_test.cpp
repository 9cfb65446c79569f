// The simulated camera through the real video path: frames written as a
// YUV4MPEG2 file, read by the library's grabber, processed by the vision
// program's frame pass. The published markers must be the station's, at the
// projected places, with the distances the controller expects.
#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <unistd.h>

#include "world/docking_room.h"
#include "contact_check.h"
#include "frame.h"
#include "kelvix.h"
#include "test_support.h"
#include "camera/y4m_writer.h"

using namespace dockworld;

namespace {

struct Published {
    int candidates = 0;
    BlobRecord goal[kGoalSize];
};

class VisionOnRender : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(createVisionImages(state_)); }
    void TearDown() override
    {
        kxGrabShutdown();
        destroyVisionImages(state_);
    }

    // Renders the room from `robot`, passes the frame through the grabber and
    // the vision program's frame pass.
    Published see(const Pose &robot, const CameraModel &camera = CameraModel(), int32_t bandTop = kBandTop,
                  int32_t bandBottom = kBandBottom)
    {
        CameraRenderer renderer(camera, RenderSettings(), 11);
        YuvFrame frame;
        renderer.render(robot, room_.emitters(),
                        [this](const Vec3 &a, const Vec3 &b) { return room_.lineOfSight(a, b); }, frame);
        const std::string path = dir_.file("frame.y4m");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        Y4mWriter writer(fd);
        EXPECT_TRUE(writer.write(frame));
        ::close(fd);
        kxGrabShutdown();
        EXPECT_EQ(kxGrabInit(path.c_str(), 0, 640, 480, 1), 0);
        EXPECT_EQ(kxGrabImage(state_.pic), 0);
        clearGoalPositions(state_.goal);
        Published p;
        p.candidates = processFrame(state_, bandTop, bandBottom);
        for (int i = 0; i < kGoalSize; ++i)
            p.goal[i] = state_.goal[i];
        return p;
    }

    ImagePoint projected(const Pose &robot, int marker) const
    {
        return project(CameraModel(), robot, room_.station().markers()[marker].centre);
    }

    kxtest::ScratchDir dir_;
    DockingRoom room_;
    VisionState state_;
};

// Station coordinates to a robot pose facing the plate's middle.
Pose facingStation(const Station &s, double out, double side, double headingOffsetDeg = 0.0)
{
    const Vec2 at = s.toWorld(out, side);
    const Vec2 look = s.face() - at;
    return {at.x, at.y, std::atan2(look.y, look.x) + degToRad(headingOffsetDeg)};
}

} // namespace

TEST_F(VisionOnRender, PublishesAllSixMarkersWhereTheyAre)
{
    for (const Pose &robot : {facingStation(room_.station(), 3.0, 0.0), facingStation(room_.station(), 1.5, 0.4, 10.0),
                              facingStation(room_.station(), 2.2, -0.8, -15.0)}) {
        const Published p = see(robot);
        EXPECT_GE(p.candidates, 6);
        for (int marker = 0; marker < 6; ++marker) {
            const ImagePoint want = projected(robot, marker);
            EXPECT_NEAR(p.goal[marker].row, want.row, 1.5) << "marker " << marker << " at " << robot.x << "," << robot.y;
            EXPECT_NEAR(p.goal[marker].col, want.col, 1.5) << "marker " << marker << " at " << robot.x << "," << robot.y;
        }
    }
}

TEST_F(VisionOnRender, RowDistanceReadsAsMetres)
{
    for (double out : {1.0, 2.0, 3.0, 3.8}) {
        const Pose robot = facingStation(room_.station(), out, 0.0);
        const Published p = see(robot);
        const int urRow = p.goal[1].row, lrRow = p.goal[5].row;
        ASSERT_NE(urRow, 0) << out;
        ASSERT_NE(lrRow, 0) << out;
        const double cameraDistance = out + CameraModel().behindAxle;
        EXPECT_NEAR(106.0 / (lrRow - urRow), cameraDistance, 0.05 * cameraDistance) << out;
    }
}

TEST_F(VisionOnRender, OuterPairsVanishAtTheGuideAndTheMiddlePairIsNotEnough)
{
    // Nose at the plate.
    const Published p = see(facingStation(room_.station(), RobotBody::front, 0.0));
    EXPECT_LT(p.candidates, 4);
    for (int marker = 0; marker < 6; ++marker) {
        EXPECT_EQ(p.goal[marker].row, 0);
        EXPECT_EQ(p.goal[marker].col, 0);
    }
}

TEST_F(VisionOnRender, NoMarkersWhenLookingAway)
{
    // In the middle of the room facing the window and the lamp.
    const Published p = see({3.0, 2.25, degToRad(20.0)});
    EXPECT_EQ(p.goal[1].row, 0);
    EXPECT_EQ(p.goal[5].row, 0);
}

TEST(DockingRoom, ScreenHidesTheStation)
{
    const DockingRoom open(false), hidden(true);
    const Vec3 eye{4.0, 2.25, 0.45};
    const Vec3 marker = open.station().markers()[0].centre;
    EXPECT_TRUE(open.lineOfSight(eye, marker));
    EXPECT_FALSE(hidden.lineOfSight(eye, marker));
    EXPECT_TRUE(open.fits({4.0, 2.25, 0.0}));
    EXPECT_FALSE(open.fits({0.2, 0.2, 0.0}));  // in a corner
    EXPECT_FALSE(open.fits({4.0, 4.2, 0.0}));  // in the cabinet
}

// stationview's contact check on the simulated camera at the contacts: the
// station's own design passes; a camera pitched a degree up, or mounted a
// centimetre high, is told to tilt down by about as much as it is off
// (1 cm at the 0.51 m contact distance is 1.1 degrees).
TEST_F(VisionOnRender, ContactCheckTellsTheCameraMountsError)
{
    const Pose docked = room_.station().dockedPose();
    const auto verdict = [&](const CameraModel &camera) {
        const Published p = see(docked, camera, 0, kFrameHeight - 1);
        OuterRows rows;
        rows.add(p.goal[kUpperLeft].row, p.goal[kUpperRight].row, p.goal[kLowerLeft].row, p.goal[kLowerRight].row);
        return contactVerdict(rows, camera.focalPx, kDesignMarkerSpacing);
    };
    EXPECT_EQ(verdict(CameraModel()).verdict, "ok");
    CameraModel pitched;
    pitched.pitch = degToRad(1.0);
    const ContactVerdict up = verdict(pitched);
    ASSERT_EQ(up.verdict.rfind("tilt-down ", 0), 0u) << up.verdict;
    EXPECT_NEAR(std::stod(up.verdict.substr(10)), 1.0, 0.2) << up.verdict;
    CameraModel high;
    high.heightOffset = 0.01;
    const ContactVerdict raised = verdict(high);
    ASSERT_EQ(raised.verdict.rfind("tilt-down ", 0), 0u) << raised.verdict;
    EXPECT_NEAR(std::stod(raised.verdict.substr(10)), 1.1, 0.2) << raised.verdict;
}
