// undock's stop paths against the robot simulator: a signal, a motor stall,
// a lost connection and the time-out each end it with status 1, and (while
// the robot is there to hear it) with the motors off and the link closed.
#include <csignal>
#include <cstdlib>

#include <gtest/gtest.h>

#include "process_runner.h"
#include "test_support.h"

using namespace dockingtest;
using std::chrono::seconds;

namespace {

class UndockStop : public ::testing::Test {
protected:
    void TearDown() override
    {
        undock.reset();
        if (simulator) simulator->sendSignal(SIGCONT);
        simulator.reset(); // killed
    }

    // undock backing `distance` m (no turn) from the middle of robotsim's
    // room; returns once the motors are on.
    ::testing::AssertionResult startBacking(const char *distance)
    {
        simulator = std::make_unique<RunningProgram>(
            std::vector<std::string>{ROBOTSIM_PATH, "--port", "0", "--pose", "4000,3000,0"}, scratch.path());
        size_t at = simulator->waitForOutput("listening on 127.0.0.1:", seconds(10));
        if (at == std::string::npos || simulator->waitForOutput("\n", seconds(2), at) == std::string::npos)
            return ::testing::AssertionFailure() << "no simulator";
        undock = std::make_unique<RunningProgram>(
            std::vector<std::string>{UNDOCK_PATH, "-rh", "127.0.0.1", "-rrtp",
                                     std::to_string(atoi(simulator->output().c_str() + at)),
                                     "--distance", distance, "--turn", "0", "--force"},
            scratch.path());
        if (simulator->waitForErrors("motors enabled", seconds(10)) == std::string::npos)
            return ::testing::AssertionFailure() << undock->output();
        return ::testing::AssertionSuccess();
    }

    void expectStoppedBy(const std::string &why, bool robotHears = true)
    {
        EXPECT_EQ(undock->waitForExit(seconds(30)), 1);
        EXPECT_NE(undock->output().find("undock: stopped: " + why + "\n"), std::string::npos) << undock->output();
        if (robotHears) {
            EXPECT_NE(simulator->waitForErrors("motors disabled", seconds(5)), std::string::npos);
            EXPECT_NE(simulator->waitForErrors("client closed the connection", seconds(5)), std::string::npos);
        }
    }

    kxtest::ScratchDir scratch;
    std::unique_ptr<RunningProgram> simulator;
    std::unique_ptr<RunningProgram> undock;
};

} // namespace

TEST_F(UndockStop, SignalsThatWouldEndItStopTheRobotFirst)
{
    for (int signalNumber : {SIGINT, SIGQUIT, SIGPIPE}) {
        ASSERT_TRUE(startBacking("2"));
        undock->sendSignal(signalNumber);
        expectStoppedBy("interrupted");
    }
}

TEST_F(UndockStop, AStallOrALostConnectionStopsIt)
{
    ASSERT_TRUE(startBacking("2"));
    simulator->sendLine("stall on");
    expectStoppedBy("a drive motor stalled");

    ASSERT_TRUE(startBacking("2"));
    simulator->sendSignal(SIGKILL);
    expectStoppedBy("lost the connection to the robot", false);
}

// The simulator frozen while the robot backs 0.1 m: after its patience
// (about 6.3 s, before the link's own 8 s limit) undock gives up.
TEST_F(UndockStop, TheTimeOutStopsIt)
{
    ASSERT_TRUE(startBacking("0.1"));
    simulator->sendSignal(SIGSTOP);
    undock->waitForOutput("did not get there in time", seconds(20));
    simulator->sendSignal(SIGCONT);
    expectStoppedBy("the robot did not get there in time");
}
