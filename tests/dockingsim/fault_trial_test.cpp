// Fault injection in a whole trial, and its command-line form.
#include <gtest/gtest.h>

#include <filesystem>

#include "trials/fault_injection.h"
#include "test_support.h"
#include "trial_checks.h"
#include "trials/trial_runner.h"

using namespace dockworld;

TEST(FaultInjection, ParsesEachFaultAndRefusesTheRest)
{
    Fault f;
    std::string why;
    ASSERT_TRUE(parseFault("camera-loss@6.5:2", &f, &why)) << why;
    EXPECT_EQ(f.kind, FaultKind::CameraLoss);
    EXPECT_DOUBLE_EQ(f.at, 6.5);
    EXPECT_DOUBLE_EQ(f.seconds, 2.0);
    ASSERT_TRUE(parseFault("camera-loss@3", &f, &why));
    EXPECT_DOUBLE_EQ(f.seconds, 1.0);
    ASSERT_TRUE(parseFault("vision-stop@0", &f, &why));
    EXPECT_EQ(f.kind, FaultKind::VisionStop);
    EXPECT_EQ(describeFault(f), "vision-stop@0");
    for (const char *bad : {"vision-kill", "vision-kill@", "vision-kill@-1", "vision-kill@2:1", "robot-drop@x",
                            "camera-loss@2:0", "camera-loss@2:", "lamp-off@3"})
        EXPECT_FALSE(parseFault(bad, &f, &why)) << bad;
}

// The vision program hangs (SIGSTOP) while the robot docks: the controller
// stops driving as soon as the reports are stale, gives up after five
// seconds with status 1, and the trial still leaves nothing behind.
TEST(FaultInjection, AHungVisionProgramStopsTheRobot)
{
    kxtest::ScratchDir out;
    TrialSetup setup;
    // Facing the station 3 m away: docking from the first reports, and still
    // on the way 6 s later even when the sanitizers slow the vision down.
    setup.start = {3.5, 2.25, kPi};
    setup.timeLimit = 30.0;
    setup.outputDir = out.path();
    setup.visionProgram = VISION_PROGRAM;
    setup.dockingProgram = DOCKING_PROGRAM;
    setup.progress = false;
    std::string why;
    ASSERT_TRUE(parseFault("vision-stop@6", &setup.fault, &why)) << why;
    const std::atomic<bool> never{false};
    const TrialResult r = runTrial(setup, never);

    EXPECT_EQ(r.end, TrialEnd::ControllerEnded) << trialEndName(r.end) << ": " << r.error;
    EXPECT_GE(r.faultAt, 6.0);
    EXPECT_LT(r.dockingModeAt, r.faultAt);
    EXPECT_GE(r.standstill.commanded, 0.45); // reports count as stale after 0.5 s
    // Half a second of staleness and a control pass; the rest is margin for
    // a loaded machine, on which the simulation's clock follows the wall.
    EXPECT_LE(r.standstill.commanded, 2.0);
    EXPECT_GE(r.standstill.actual, 0.0);
    EXPECT_EQ(r.controllerExit, 1);
    EXPECT_GE(r.seconds, r.faultAt + 4.9);
    EXPECT_TRUE(r.cleanedUp);
    EXPECT_FALSE(std::filesystem::exists(r.workDir));
    EXPECT_EQ(dockingtest::processesMentioning(r.workDir), 0);
}
