// The whole system in the simulated room: the robot starts about 3 m in
// front of the station, facing it; the vision program and the controller
// must bring it onto the contacts, at the simulator's default speed.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "robot/sim_clock.h"
#include "test_support.h"
#include "trial_checks.h"
#include "trials/trial_runner.h"

using namespace dockworld;

TEST(DockTrial, FacingTheStationFromThreeMetresDocks)
{
    kxtest::ScratchDir out;
    TrialSetup setup;
    const Station station = DockingRoom().station();
    const Vec2 at = station.toWorld(3.0, 0.3);
    setup.start = {at.x, at.y, station.facing() + kPi + degToRad(8.0)};
    setup.timeLimit = 90.0;
    setup.outputDir = out.path();
    setup.visionProgram = VISION_PROGRAM;
    setup.dockingProgram = DOCKING_PROGRAM;
    setup.progress = false;
    setup.speed = DOCK_TEST_SPEED > 0 ? DOCK_TEST_SPEED : kDefaultSpeed;
    const std::atomic<bool> never{false};
    const TrialResult r = runTrial(setup, never);

    EXPECT_EQ(r.end, TrialEnd::Docked) << trialEndName(r.end) << " after " << r.seconds << " s: " << r.error;
    EXPECT_GE(r.dockingModeAt, 0.0);
    EXPECT_LT(r.dockingModeAt, 3.0); // the markers are in view from the start
    EXPECT_LT(std::fabs(r.offsets.lateral), 0.03);
    EXPECT_LT(r.offsets.gap, 0.03);
    EXPECT_LT(std::fabs(radToDeg(r.offsets.heading)), 10.0);
    EXPECT_TRUE(r.cleanedUp);
    EXPECT_FALSE(std::filesystem::exists(r.workDir));
    EXPECT_EQ(dockingtest::processesMentioning(r.workDir), 0);
    ASSERT_FALSE(r.picture.empty());
    EXPECT_GT(std::filesystem::file_size(r.picture), 1000u);
    EXPECT_NE(kxtest::readFile(out.file("dockingsim-docking.log")).find("Robot arrivato alla stazione"),
              std::string::npos);
}
