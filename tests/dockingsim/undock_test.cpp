// undock against the simulated robot in the docking room.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "trials/child_process.h"
#include "world/docking_room.h"
#include "robot/robot_server.h"
#include "test_support.h"

using namespace dockworld;

namespace {

struct UndockRun {
    int status = -1;
    std::string output;
    Station::Offsets before{0, 0, 0};
    Station::Offsets after{0, 0, 0};
};

// Runs undock with `options` against a robot at `start`.
UndockRun runUndock(const DockingRoom &room, const Pose &start, const std::vector<std::string> &options)
{
    UndockRun run;
    std::unique_ptr<RobotServer> server = makeRobotServer(room);
    std::string error;
    EXPECT_TRUE(server->start(start, &error)) << error;
    run.before = room.station().offsets(server->pose());
    kxtest::ScratchDir dir;
    std::vector<std::string> argv = {UNDOCK_PROGRAM, "-rh", "127.0.0.1", "-rrtp", std::to_string(server->port())};
    argv.insert(argv.end(), options.begin(), options.end());
    ChildProcess child;
    EXPECT_TRUE(child.start(argv, dir.path(), -1, dir.file("undock.log"), &error)) << error;
    EXPECT_TRUE(child.waitFor(40.0));
    if (child.exitedNormally())
        run.status = child.exitCode();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the robot comes to rest
    run.after = room.station().offsets(server->pose());
    run.output = kxtest::readFile(dir.file("undock.log"));
    return run;
}

} // namespace

TEST(Undock, BacksStraightOutOfTheStationThenTurnsAround)
{
    const DockingRoom room;
    const UndockRun run = runUndock(room, room.station().dockedPose(), {});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("undock: on the charger (bulk"), std::string::npos) << run.output;
    EXPECT_NEAR(run.after.gap - run.before.gap, 0.6, 0.05);
    EXPECT_LT(std::fabs(run.after.lateral), 0.03);
    EXPECT_GT(std::fabs(radToDeg(run.after.heading)), 175.0); // facing away from the plate
}

TEST(Undock, StopsWhenSomethingIsCloseBehind)
{
    // The screen stands 0.9 m behind a docked robot; asked to back out
    // 1.5 m, the robot must stop short of it.
    const DockingRoom room(true);
    const UndockRun run = runUndock(room, room.station().dockedPose(), {"--distance", "1.5"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("undock: stopped: obstacle"), std::string::npos) << run.output;
    const double rearToScreen = 1.5 - (StationLayout::plateDepth + run.after.gap + RobotBody::front + RobotBody::rear);
    EXPECT_GT(rearToScreen, 0.15);
    EXPECT_LT(rearToScreen, 0.35);
    EXPECT_LT(std::fabs(radToDeg(run.after.heading)), 5.0); // no turn after stopping
}

TEST(Undock, RefusesARobotThatIsNotOnItsCharger)
{
    const DockingRoom room;
    const Vec2 at = room.station().toWorld(1.0, 0.0);
    const Pose away{at.x, at.y, room.station().facing() + kPi};
    const UndockRun run = runUndock(room, away, {});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("not on its charger"), std::string::npos) << run.output;
    EXPECT_NEAR(run.after.gap, run.before.gap, 0.01);
}
