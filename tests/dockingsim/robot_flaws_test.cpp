// The robot's flaws: slipping wheels make odometry drift from the true
// motion by their factors, a real sonar ring scatters and misses echoes, and
// the body leans as it speeds up and brakes (the camera's pose history shows
// it).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "Aria.h"
#include "LinkHelpers.h"
#include "robot/RobotModel.h"
#include "robot/robot_server.h"

using namespace std::chrono_literals;

TEST(RobotFlaws, SlipAndSonarNoise)
{
    robotsim::World open;
    open.addWall({1000, -5000}, {1000, 5000}); // a wall 1 m ahead of the start
    robotsim::RobotModel robot(open);
    robot.reset({0, 0, 0});
    const auto ideal = robot.sonarRanges();
    // Left wheel counts 4% too far, right 2% too short: driving straight,
    // odometry runs 1% long and turns right by the difference over the track.
    robot.setWheelFactors(1.04, 0.98, 330.0);
    robot.setEnabled(true);
    robot.setVelocity(-300); // away from the wall
    for (int i = 0; i < 200; ++i)
        robot.step(0.01);
    const double travelled = -robot.truePose().x;
    ASSERT_GT(travelled, 200.0);
    EXPECT_NEAR(-robot.odometry().x, travelled * 1.01, 1.0); // the drifting heading curves it a little
    EXPECT_NEAR(robot.odometry().th, (0.98 - 1.04) * -travelled / 330.0 * 180.0 / M_PI, 0.01);

    robot.reset({0, 0, 0});
    robot.setSonarNoise(true, 7);
    int missed = 0, heard = 0;
    double sum = 0, squares = 0;
    for (int n = 0; n < 400; ++n) {
        const auto ranges = robot.sonarRanges();
        for (size_t i = 0; i < ranges.size(); ++i) {
            if (ideal[i] >= 2000) // only the sonars that hear the wall
                continue;
            missed += ranges[i] >= 5000;
            if (ranges[i] >= 5000)
                continue;
            const double error = (ranges[i] - ideal[i]) / (10.0 + 0.01 * ideal[i]);
            sum += error;
            squares += error * error;
            ++heard;
        }
    }
    ASSERT_GT(heard, 1000);
    EXPECT_NEAR(static_cast<double>(missed) / (missed + heard), 0.05, 0.015);
    EXPECT_NEAR(sum / heard, 0.0, 0.1);
    EXPECT_NEAR(std::sqrt(squares / heard), 1.0, 0.1); // scattered by 1 cm + 1% of the range
}

TEST(RobotFlaws, BodyLeansWithAccelerationAndThePoseHistoryKeepsIt)
{
    using namespace dockworld;
    const DockingRoom room;
    RobotFlaws flaws;
    flaws.pitchPerAccel = degToRad(2.0); // per m/s^2
    std::unique_ptr<RobotServer> server = makeRobotServer(room, 1.0, flaws);
    std::string error;
    ASSERT_TRUE(server->start({3.0, 2.25, 0.0}, &error)) << error;
    ArRobot robot;
    ASSERT_TRUE(ariatest::connectTo(robot, server->port()));
    robot.runAsync(true);
    robot.comInt(4, 1);
    // From the history only, 0.1 s back and more: physics steps are all in
    // by then, also on a busy machine.
    const auto speedAt = [&](double t) { return (server->bodyAt(t).pose.x - server->bodyAt(t - 0.05).pose.x) / 0.05; };
    const auto recentSpeed = [&] { return speedAt(server->clock() - 0.1); };
    // Half way through a speed change: the acceleration over 0.2 s and the
    // lean in its middle, settled by then.
    const auto leanAgainstAcceleration = [&](double &lean, double &accel) {
        const double t = server->clock() - 0.1;
        accel = (speedAt(t) - speedAt(t - 0.2)) / 0.2;
        lean = server->bodyAt(t - 0.1).pitch;
    };
    // A 1 m move: speeding up, then braking to stop on the distance.
    double lean = 0, accel = 0;
    robot.lock();
    robot.move(1000);
    robot.unlock();
    ASSERT_TRUE(ariatest::eventually([&] { return recentSpeed() > 0.2; }, 5000ms));
    leanAgainstAcceleration(lean, accel);
    EXPECT_GT(accel, 0.1);
    EXPECT_NEAR(lean, flaws.pitchPerAccel * accel, 0.15 * flaws.pitchPerAccel * accel) << "nose up";
    ASSERT_TRUE(ariatest::eventually([&] { return recentSpeed() > 0.45; }, 5000ms));
    ASSERT_TRUE(ariatest::eventually([&] { return recentSpeed() < 0.3; }, 5000ms));
    leanAgainstAcceleration(lean, accel);
    EXPECT_LT(accel, -0.1);
    EXPECT_NEAR(lean, flaws.pitchPerAccel * accel, 0.15 * flaws.pitchPerAccel * -accel) << "braking: nose down";
    // The history is the true past: a second ago the robot was behind.
    EXPECT_LT(server->bodyAt(server->clock() - 1.0).pose.x, server->pose().x - 0.1);
    robot.stopRunning();
    server->stop();
}
