// A minute of wandering in the standard room without touching anything.
#include <gtest/gtest.h>

#include <cmath>

#include "Aria.h"
#include "LinkHelpers.h"
#include "SimProcess.h"
#include "world/World.h"

using namespace ariatest;
using namespace std::chrono_literals;

TEST(Wander, SixtySecondsInTheRoomWithoutTouchingAWall)
{
    simtest::SimProcess sim;
    ASSERT_NE(sim.port(), 0);
    robotsim::World room = robotsim::World::standard();

    // The same actions, strengths and priorities as the docking controller's
    // wander mode.
    ArSonarDevice sonar(24, 64, "sonar");
    ArActionStallRecover recover("stall recover", 225, 50, 150, 45);
    ArActionAvoidFront near("Avoid Front Near", 225, 0, 15, true);
    ArActionAvoidFront far("avoid front obstacles", 450, 200, 15, true);
    ArActionConstantVelocity cruise("Constant Velocity", 400);
    // The robot comes after what its cycle uses: destroyed first, it
    // ends the cycle before they go.
    ArRobot robot;
    ArActionGroup wander(&robot);
    wander.addAction(&recover, 100);
    wander.addAction(&near, 50);
    wander.addAction(&far, 45);
    wander.addAction(&cruise, 25);
    robot.addRangeDevice(&sonar);
    ASSERT_TRUE(connectTo(robot, sim.port()));
    robot.comInt(4, 1);
    robot.runAsync(true);
    wander.activateExclusive();

    double minClearance = 1e9, travelled = 0;
    bool stalled = false;
    robotsim::Pose last = sim.where();
    auto end = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < end && robot.isRunning()) {
        std::this_thread::sleep_for(100ms);
        robotsim::Pose p = sim.where();
        ASSERT_FALSE(std::isnan(p.x));
        minClearance = std::min(minClearance, room.clearance({p.x, p.y}));
        travelled += std::hypot(p.x - last.x, p.y - last.y);
        last = p;
        stalled = stalled || robot.isLeftMotorStalled() || robot.isRightMotorStalled();
    }
    EXPECT_TRUE(robot.isRunning());
    EXPECT_FALSE(stalled);
    // The body (radius 250 mm) never reached a wall or a box.
    EXPECT_GT(minClearance, 250) << "closest approach " << minClearance;
    // And it really went places: well over ten metres in the minute.
    EXPECT_GT(travelled, 10000);
    RecordProperty("closest_approach_mm", static_cast<int>(minClearance));
    RecordProperty("travelled_mm", static_cast<int>(travelled));
    std::printf("closest approach %.0f mm, travelled %.0f mm\n", minClearance, travelled);
}
