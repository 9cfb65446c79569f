// The simulated robot's motion: limits, accelerations, heading control,
// stalls against the world, odometry.
#include <gtest/gtest.h>

#include <cmath>

#include "robot/RobotModel.h"
#include "world/World.h"

using robotsim::Pose;
using robotsim::RobotModel;
using robotsim::World;

namespace {

void run(RobotModel &robot, double seconds)
{
    for (int i = 0; i < static_cast<int>(std::lround(seconds / 0.02)); ++i)
        robot.step(0.02);
}

World openRoom()
{
    World w;
    w.addRoom({-20000, -20000}, {20000, 20000});
    return w;
}

} // namespace

TEST(RobotModel, MotorsStartDisabledAndDoNotMove)
{
    World w = openRoom();
    RobotModel robot(w);
    robot.reset({0, 0, 0});
    robot.setVelocity(500);
    run(robot, 1);
    EXPECT_DOUBLE_EQ(robot.truePose().x, 0);
    EXPECT_FALSE(robot.enabled());
}

TEST(RobotModel, AcceleratesAtItsLimitUpToTheMaximumSpeed)
{
    World w = openRoom();
    RobotModel robot(w);
    robot.reset({0, 0, 0});
    robot.setEnabled(true);
    robot.setTransAccel(300);
    robot.setTransVelMax(400);
    robot.setVelocity(2000);
    run(robot, 0.5);
    EXPECT_NEAR(robot.velocity(), 150, 1e-6);
    run(robot, 2);
    EXPECT_NEAR(robot.velocity(), 400, 1e-6);
    // Slowing down uses the deceleration.
    robot.setTransAccel(-800);
    robot.stop();
    run(robot, 0.3);
    EXPECT_NEAR(robot.velocity(), 160, 1e-6);
    // Backwards, and odometry follows the true motion.
    robot.setVelocity(-300);
    run(robot, 3);
    EXPECT_NEAR(robot.velocity(), -300, 1e-6);
    EXPECT_NEAR(robot.odometry().x, robot.truePose().x, 1e-6);
    // The emergency stop does not wait for the deceleration.
    robot.emergencyStop();
    EXPECT_DOUBLE_EQ(robot.velocity(), 0);
}

TEST(RobotModel, TurnsToAnAbsoluteHeadingAndStopsThere)
{
    World w = openRoom();
    RobotModel robot(w);
    robot.reset({0, 0, 90}); // odometry starts at 0 whatever the true heading
    robot.setEnabled(true);
    robot.setHeading(170);
    double peak = 0;
    for (int i = 0; i < 300; ++i) {
        robot.step(0.02);
        peak = std::max(peak, std::fabs(robot.rotVelocity()));
    }
    EXPECT_NEAR(robot.odometry().th, 170, 0.5);
    EXPECT_NEAR(robot.truePose().th, -100, 0.5);
    EXPECT_LE(peak, robot.limits().rotVelMax + 1e-9);
    EXPECT_NEAR(robot.rotVelocity(), 0, 1e-9);
    // The short way round, across +-180: 20 degrees to the left.
    robot.setHeading(-170);
    run(robot, 0.2);
    EXPECT_GT(robot.rotVelocity(), 0);
    run(robot, 5);
    EXPECT_NEAR(robot.odometry().th, -170, 0.5);
}

TEST(RobotModel, PushingIntoAWallStallsAndBackingAwayFrees)
{
    World w;
    w.addWall({1000, -2000}, {1000, 2000});
    RobotModel robot(w);
    robot.reset({0, 0, 0});
    robot.setEnabled(true);
    robot.setVelocity(400);
    run(robot, 5);
    EXPECT_TRUE(robot.stalled());
    EXPECT_LE(robot.truePose().x, 1000 - RobotModel::kRadius + 1e-6);
    EXPECT_GT(robot.truePose().x, 1000 - RobotModel::kRadius - 20);
    robot.setVelocity(-200);
    run(robot, 1);
    EXPECT_FALSE(robot.stalled());
    EXPECT_LT(robot.truePose().x, 700);
}

TEST(RobotModel, ForcedStallSetsTheBitsWithoutStoppingTheRobot)
{
    World w = openRoom();
    RobotModel robot(w);
    robot.reset({0, 0, 0});
    robot.setEnabled(true);
    robot.forceStall(true);
    EXPECT_TRUE(robot.stalled());
    robot.setVelocity(-150);
    run(robot, 1);
    EXPECT_LT(robot.truePose().x, -50);
    robot.forceStall(false);
    EXPECT_FALSE(robot.stalled());
}

TEST(RobotModel, SonarsMeasureFromTheirTransducers)
{
    World w;
    w.addWall({1500, -3000}, {1500, 3000});
    RobotModel robot(w);
    robot.reset({0, 0, 0});
    std::array<int, 16> r = robot.sonarRanges();
    EXPECT_EQ(r[3], 1355); // (1500 - 166) / cos 10, rounded
    EXPECT_EQ(r[4], 1355);
    EXPECT_EQ(r[2], static_cast<int>(std::lround((1500 - 148) / std::cos(30 * M_PI / 180))));
    EXPECT_EQ(r[0], 5000); // sideways: no echo
    EXPECT_EQ(r[11], 5000);
    // Turned around, the rear sonars see it.
    robot.setTruePose({0, 0, 180});
    EXPECT_EQ(robot.sonarRanges()[11], static_cast<int>(std::lround((1500 - 255) / std::cos(10 * M_PI / 180))));
}
