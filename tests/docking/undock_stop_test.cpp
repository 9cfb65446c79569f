// undock's stop paths against the robot simulator: a signal, a motor stall,
// a lost connection and the time-out each end it with status 1, and (where
// the robot is still there to hear it) with the robot told to stop.
#include <csignal>
#include <cstdlib>

#include <gtest/gtest.h>

#include "process_runner.h"
#include "test_support.h"

using namespace dockingtest;
using std::chrono::milliseconds;
using std::chrono::seconds;

namespace {

class UndockStop : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (undock && HasFailure())
            std::cerr << "undock output:\n" << undock->output() << "\nrobotsim log:\n" << simulator->errors();
        undock.reset();
        if (simulator) {
            simulator->sendSignal(SIGCONT);
            simulator->sendLine("quit");
        }
        simulator.reset();
    }

    // robotsim with the robot in the middle of its room, facing +x (so that
    // it backs 2 m without meeting a wall), then undock backing out `distance`
    // metres; returns once the robot has been told to move.
    ::testing::AssertionResult startBacking(const char *distance)
    {
        simulator = std::make_unique<RunningProgram>(
            std::vector<std::string>{ROBOTSIM_PATH, "--port", "0", "--pose", "4000,3000,0"}, scratch.path());
        const std::string banner = "listening on 127.0.0.1:";
        size_t at = simulator->waitForOutput(banner, seconds(10));
        if (at == std::string::npos || simulator->waitForOutput("\n", seconds(2), at) == std::string::npos)
            return ::testing::AssertionFailure() << "the simulator did not come up";
        const int port = atoi(simulator->output().c_str() + at);
        undock = std::make_unique<RunningProgram>(
            std::vector<std::string>{UNDOCK_PATH, "-rh", "127.0.0.1", "-rrtp", std::to_string(port), "--distance",
                                     distance, "--turn", "0", "--force"},
            scratch.path());
        if (simulator->waitForErrors("motors enabled", seconds(10)) == std::string::npos)
            return ::testing::AssertionFailure() << "undock did not start the motors";
        return ::testing::AssertionSuccess();
    }

    // undock ends with status 1 after saying why, and the simulator heard
    // the motors switched off.
    void expectStoppedBy(const std::string &why, bool robotHears = true)
    {
        EXPECT_EQ(undock->waitForExit(seconds(30)), 1);
        EXPECT_NE(undock->output().find("undock: stopped: " + why + "\n"), std::string::npos);
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
        SCOPED_TRACE(signalNumber);
        ASSERT_TRUE(startBacking("2"));
        undock->sendSignal(signalNumber);
        expectStoppedBy("interrupted");
    }
}

TEST_F(UndockStop, AStalledMotorStopsIt)
{
    ASSERT_TRUE(startBacking("2"));
    simulator->sendLine("stall on");
    expectStoppedBy("a drive motor stalled");
}

TEST_F(UndockStop, ALostConnectionStopsIt)
{
    ASSERT_TRUE(startBacking("2"));
    simulator->sendSignal(SIGKILL);
    expectStoppedBy("lost the connection to the robot", false);
}

// The simulator frozen while the robot backs 0.1 m: the robot never gets
// there, and after its patience (about 6.3 s, well before the connection's
// own 8 s limit) undock gives up and stops it.
TEST_F(UndockStop, TheTimeOutStopsIt)
{
    ASSERT_TRUE(startBacking("0.1"));
    simulator->sendSignal(SIGSTOP);
    EXPECT_NE(undock->waitForOutput("undock: stopped: the robot did not get there in time", seconds(20)),
              std::string::npos);
    simulator->sendSignal(SIGCONT);
    expectStoppedBy("the robot did not get there in time");
}
