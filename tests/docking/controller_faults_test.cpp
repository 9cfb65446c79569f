// The controller when the vision side fails it: reports that stop coming, a
// vision program that ends on its own, a lock that is never given back. In
// every case the robot is stopped and disconnected (the simulator hears
// "motors disabled") without waiting for the robot's own watchdog.
#include <csignal>
#include <thread>

#include "controller_run.h"

using namespace dockingtest;
using Clock = std::chrono::steady_clock;

namespace {

// No steering marker: speed 0 and the turn doubled (the target column may
// still be the old one in that cycle).
const char kStale[] = "\n -0.769231 ";
const char kSteering[] = "\n -0.384615 300 2.000000"; // both left markers: speed 200

} // namespace

// Docking at 2.0 m with the markers in view, then the reports stop (a hung
// vision program): the centering action soon sees no marker (speed 0), a
// stall against something meanwhile is no arrival, and after five seconds
// the controller gives up with status 1 and tells the vision program to stop.
TEST_F(ControllerRun, ReportsThatStopComingStopTheRobot)
{
    ASSERT_TRUE(startDocking());
    ASSERT_TRUE(expectOutput(kSteering));

    stopFrames();
    const auto silent = Clock::now();
    ASSERT_TRUE(expectOutput(kStale, seconds(3)));
    // Half a second of staleness, with a wide margin for a loaded machine.
    EXPECT_LT(Clock::now() - silent, milliseconds(2500));
    EXPECT_EQ(controller->output().find(kSteering, seen), std::string::npos);
    simulator->sendLine("stall on");

    ASSERT_TRUE(expectOutput("Vision program gone (no new report for 5 s)", seconds(10)));
    EXPECT_EQ(controller->waitForExit(seconds(5)), 1);
    EXPECT_GE(Clock::now() - silent, milliseconds(4900));
    EXPECT_EQ(controller->output().find(kArrival), std::string::npos);
    EXPECT_NE(simulator->waitForErrors("motors disabled", seconds(5)), std::string::npos);
    EXPECT_EQ(occurrences(controller->output(), kStopNotice), 1);
    EXPECT_FALSE(vision->running());
}

// The vision program ends by itself and removes its semaphore set.
TEST_F(ControllerRun, AVisionProgramThatEndsStopsTheRobotWithStatus1)
{
    ASSERT_TRUE(startDocking());
    stopFrames();
    vision->removeSemaphore();
    ASSERT_TRUE(expectOutput("Vision program gone (its semaphore set was removed)", seconds(2)));
    EXPECT_EQ(controller->waitForExit(seconds(5)), 1);
    EXPECT_NE(simulator->waitForErrors("motors disabled", seconds(5)), std::string::npos);
    EXPECT_EQ(occurrences(controller->output(), kStopNotice), 0);
}

// A vision side hung while holding the lock: Ctrl-C still ends the
// controller within seconds, with the robot stopped and the run flag
// cleared without the lock.
TEST_F(ControllerRun, CtrlCEndsTheControllerWhileTheLockIsNeverGivenBack)
{
    startVision();
    ASSERT_TRUE(startSimulator());
    startController();
    ASSERT_TRUE(expectOutput(kWanderBanner));
    stopFrames();
    vision->lock();
    std::this_thread::sleep_for(milliseconds(500));

    const auto asked = Clock::now();
    controller->sendSignal(SIGINT);
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    // The lock's one second, the robot's goodbye, and a margin for load.
    EXPECT_LT(Clock::now() - asked, seconds(5));
    EXPECT_NE(simulator->waitForErrors("motors disabled", seconds(5)), std::string::npos);
    EXPECT_EQ(occurrences(controller->output(), kStopNotice), 1);
    EXPECT_FALSE(vision->running());
    vision->unlock();
}
