// robotsim's command line and control channel.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>

#include "SimProcess.h"
#include "test_support.h"

using ariatest::ChildProcess;
using namespace std::chrono_literals;

namespace {

int exitStatus(ChildProcess &p)
{
    int status = p.wait(5000ms);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(RobotsimCli, StartPoseComesFromTheWorldFileUnlessGiven)
{
    kxtest::ScratchDir dir;
    ASSERT_TRUE(kxtest::writeFile(dir.file("hall.world"),
                                  "room 0 0 20000 4000  # a long hall\nstart 1000 2000 180\n"));
    {
        simtest::SimProcess sim({"--world", dir.file("hall.world")});
        ASSERT_NE(sim.port(), 0) << sim.process().output();
        robotsim::Pose p = sim.where();
        EXPECT_DOUBLE_EQ(p.x, 1000);
        EXPECT_DOUBLE_EQ(p.y, 2000);
        EXPECT_DOUBLE_EQ(p.th, 180);
        // The control channel moves the robot.
        sim.command("pose 5000 1500 -45.5");
        p = sim.where();
        EXPECT_DOUBLE_EQ(p.x, 5000);
        EXPECT_DOUBLE_EQ(p.th, -45.5);
        sim.command("pose 1 2");
        sim.command("fly away");
        EXPECT_TRUE(sim.process().waitForOutput("unknown command 'fly'", 2000ms));
        EXPECT_DOUBLE_EQ(sim.where().x, 5000); // the bad lines changed nothing
    }
    simtest::SimProcess sim({"--world", dir.file("hall.world"), "--pose", "300,400,10"});
    ASSERT_NE(sim.port(), 0);
    robotsim::Pose p = sim.where();
    EXPECT_DOUBLE_EQ(p.x, 300);
    EXPECT_DOUBLE_EQ(p.th, 10);
}

TEST(RobotsimCli, BadArgumentsAndWorldFilesAreRefused)
{
    kxtest::ScratchDir dir;
    ASSERT_TRUE(kxtest::writeFile(dir.file("bad.world"), "room 0 0 10 10\nbox 1 2\n"));
    ChildProcess badWorld({ROBOTSIM_PATH, "--port", "0", "--world", dir.file("bad.world")});
    EXPECT_EQ(exitStatus(badWorld), 2);
    EXPECT_NE(badWorld.output().find("bad.world:2: 'box' needs 4 numbers"), std::string::npos)
        << badWorld.output();

    ChildProcess missing({ROBOTSIM_PATH, "--port", "0", "--world", dir.file("none.world")});
    EXPECT_EQ(exitStatus(missing), 2);

    ChildProcess badPose({ROBOTSIM_PATH, "--port", "0", "--pose", "1,2"});
    EXPECT_EQ(exitStatus(badPose), 2);

    ChildProcess badPort({ROBOTSIM_PATH, "--port", "70000"});
    EXPECT_EQ(exitStatus(badPort), 2);

    ChildProcess unknown({ROBOTSIM_PATH, "--fast"});
    EXPECT_EQ(exitStatus(unknown), 2);
    EXPECT_NE(unknown.output().find("usage: robotsim"), std::string::npos);
}
