// Our ARIA layer driving robotsim over TCP, as a program would.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cmath>

#include "Aria.h"
#include "LinkHelpers.h"
#include "SimProcess.h"

using namespace ariatest;
using namespace std::chrono_literals;
using simtest::SimProcess;

TEST(ClosedLoop, ConnectEnableAndDriveForward)
{
    SimProcess sim({"--pose", "1000,3000,0"});
    ASSERT_NE(sim.port(), 0);
    ArActionConstantVelocity cruise("Constant Velocity", 400);
    // The robot comes after what its cycle uses: destroyed first, it
    // ends the cycle before they go.
    ArRobot robot;
    ArActionGroup group(&robot);
    group.addAction(&cruise, 25);
    ASSERT_TRUE(connectTo(robot, sim.port()));
    robot.comInt(4, 1);
    robot.runAsync(true);
    group.activateExclusive();
    EXPECT_TRUE(sim.process().waitForOutput("motors enabled", 2000ms));
    std::this_thread::sleep_for(2500ms);
    robotsim::Pose p = sim.where();
    // Accelerating at 300 mm/s2 to 400 mm/s: over 500 mm in 2.5 s, straight ahead.
    EXPECT_GT(p.x, 1500);
    EXPECT_NEAR(p.y, 3000, 5);
    EXPECT_NEAR(p.th, 0, 1);
    // Without the motors enabled nothing would have moved; disabling stops it.
    robot.comInt(4, 0);
    std::this_thread::sleep_for(300ms);
    robotsim::Pose q = sim.where();
    std::this_thread::sleep_for(300ms);
    EXPECT_DOUBLE_EQ(sim.where().x, q.x);
}

TEST(ClosedLoop, ForcedStallReachesBothMotorStallQueries)
{
    SimProcess sim;
    ASSERT_NE(sim.port(), 0);
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, sim.port()));
    robot.runAsync(true);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(robot.isLeftMotorStalled());
    EXPECT_FALSE(robot.isRightMotorStalled());
    sim.command("stall on");
    EXPECT_TRUE(eventually([&] { return robot.isLeftMotorStalled() && robot.isRightMotorStalled(); }, 1000ms));
    sim.command("stall off");
    EXPECT_TRUE(eventually([&] { return !robot.isLeftMotorStalled() && !robot.isRightMotorStalled(); }, 1000ms));
}

TEST(ClosedLoop, StallRecoveryBacksAwayAfterAForcedStall)
{
    SimProcess sim({"--pose", "3000,1000,90"});
    ASSERT_NE(sim.port(), 0);
    ArSonarDevice sonar;
    ArActionStallRecover recover("stall recover", 225, 50, 150, 45);
    ArActionConstantVelocity cruise("Constant Velocity", 400);
    // The robot comes after what its cycle uses: destroyed first, it
    // ends the cycle before they go.
    ArRobot robot;
    robot.addRangeDevice(&sonar);
    ArActionGroup wander(&robot);
    wander.addAction(&recover, 100);
    wander.addAction(&cruise, 25);
    ASSERT_TRUE(connectTo(robot, sim.port()));
    robot.comInt(4, 1);
    robot.runAsync(true);
    wander.activateExclusive();
    std::this_thread::sleep_for(1500ms);
    robotsim::Pose before = sim.where();
    sim.command("stall on");
    std::this_thread::sleep_for(300ms);
    sim.command("stall off");
    // Recovery runs 50 cycles: slow down from 400 mm/s, back up at 150 mm/s
    // while turning by 45 degrees. Follow how far forward it got first.
    double furthest = before.y;
    robotsim::Pose after = before;
    for (int i = 0; i < 47; ++i) {
        std::this_thread::sleep_for(100ms);
        after = sim.where();
        furthest = std::max(furthest, after.y);
    }
    EXPECT_GT(furthest, before.y) << "the stall did not interrupt a forward drive";
    EXPECT_LT(after.y, furthest - 150) << "did not back away";
    EXPECT_NEAR(std::fabs(after.th - before.th), 45, 3);
    // Then cruising resumes: forward again along the new heading.
    std::this_thread::sleep_for(2000ms);
    robotsim::Pose later = sim.where();
    double forward = (later.x - after.x) * std::cos(after.th * M_PI / 180) +
                     (later.y - after.y) * std::sin(after.th * M_PI / 180);
    EXPECT_GT(forward, 100);
}

TEST(ClosedLoop, SonarReadingsOfTheSimulatedWallReachTheSonarDevice)
{
    // The standard room's east wall is at x = 8000: 1500 mm ahead.
    SimProcess sim({"--pose", "6500,3000,0"});
    ASSERT_NE(sim.port(), 0);
    ArSonarDevice sonar;
    // The robot comes after what its cycle uses: destroyed first, it
    // ends the cycle before they go.
    ArRobot robot;
    robot.addRangeDevice(&sonar);
    ASSERT_TRUE(connectTo(robot, sim.port()));
    robot.runAsync(true);
    ASSERT_TRUE(eventually([&] { return sonar.currentReadingPolar(-90, 90) < 5000; }, 1000ms));
    double angle = 0;
    // Front sonars at +-10 degrees: (1500 - 166) / cos 10 from the transducer,
    // 1522 mm from the centre at about 9.9 degrees.
    EXPECT_NEAR(sonar.currentReadingPolar(-90, 90, &angle), 1522, 3);
    EXPECT_NEAR(std::fabs(angle), 9.9, 0.5);
    // The side sonars see the north and south walls 3000 mm away.
    EXPECT_NEAR(sonar.currentReadingPolar(80, 100), 3000, 5);
}

TEST(ClosedLoop, KillingTheSimulatorEndsTheCycleInTime)
{
    SimProcess sim;
    ASSERT_NE(sim.port(), 0);
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, sim.port()));
    robot.runAsync(true);
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(robot.isRunning());
    auto killed = std::chrono::steady_clock::now();
    sim.process().signal(SIGKILL);
    EXPECT_TRUE(eventually([&] { return !robot.isRunning(); }, 8500ms));
    EXPECT_LT(std::chrono::steady_clock::now() - killed, 8500ms);
}

TEST(ClosedLoop, SimulatorServesOneClientAfterAnotherAndQuitsCleanly)
{
    SimProcess sim;
    ASSERT_NE(sim.port(), 0);
    {
        ArRobot first;
        ASSERT_TRUE(connectTo(first, sim.port()));
        // A second client is refused while the first is connected.
        ArRobot second;
        EXPECT_FALSE(connectTo(second, sim.port()));
        EXPECT_TRUE(first.disconnect());
    }
    EXPECT_TRUE(sim.process().waitForOutput("waiting for the next one", 2000ms));
    ArRobot again;
    ASSERT_TRUE(connectTo(again, sim.port()));
    again.runAsync(true);
    sim.command("quit");
    int status = sim.process().wait(3000ms);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(eventually([&] { return !again.isRunning(); }, 2000ms));
}

TEST(ClosedLoop, SimulatorEndsCleanlyOnSigintAndSigterm)
{
    for (int sig : {SIGINT, SIGTERM}) {
        SimProcess sim;
        ASSERT_NE(sim.port(), 0);
        ArRobot robot;
        ASSERT_TRUE(connectTo(robot, sim.port()));
        sim.process().signal(sig);
        int status = sim.process().wait(3000ms);
        ASSERT_NE(status, -1) << "signal " << sig;
        EXPECT_TRUE(WIFEXITED(status)) << "signal " << sig;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}
