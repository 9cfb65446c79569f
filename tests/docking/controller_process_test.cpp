// The docking controller as a whole program: start-up failures, the modes,
// the steering figures, arrival, and every way of stopping it.
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "controller_run.h"

using namespace dockingtest;

namespace {

// A listening socket that never answers: connections to it wait in its
// backlog.
struct SilentListener {
    int fd = -1;
    int port = -1;
    SilentListener()
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 && listen(fd, 4) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
    }
    ~SilentListener() { close(fd); }
    bool connectionPending(int waitMs)
    {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, waitMs) == 1;
    }
};

} // namespace

TEST_F(ControllerRun, WithoutAVisionProgramFailsAtSemget)
{
    startController({}, unusedPort());
    EXPECT_EQ(controller->waitForExit(seconds(10)), 1);
    EXPECT_EQ(controller->errors().rfind("semget: ", 0), 0u) << controller->errors();
}

TEST_F(ControllerRun, AnUnknownWordListsTheOptionsWithoutConnecting)
{
    startVision();
    SilentListener robot;
    ASSERT_GT(robot.port, 0);
    startController({"--fast"}, robot.port);
    EXPECT_EQ(controller->waitForExit(seconds(10)), 1);
    EXPECT_NE(controller->output().find("-remoteHost"), std::string::npos) << controller->output();
    EXPECT_FALSE(robot.connectionPending(0));
    EXPECT_TRUE(vision->running());
}

TEST_F(ControllerRun, WithoutARobotGivesUpAndLeavesTheVisionRunning)
{
    startVision();
    startController({}, unusedPort());
    EXPECT_EQ(controller->waitForExit(seconds(30)), 1);
    EXPECT_NE(controller->output().find("Could not connect to robot... exiting\n"), std::string::npos)
        << controller->output();
    EXPECT_TRUE(vision->running());
}

TEST_F(ControllerRun, WandersAtStartAndStopsEverythingOnCtrlC)
{
    startVision();
    ASSERT_TRUE(startSimulator());
    startController();
    ASSERT_TRUE(expectOutput(kWanderBanner));
    stopFrames();
    vision->publish(makeReport(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    // Each control pass acknowledges the newest report.
    for (int i = 0; i < 100 && vision->newReport(); ++i)
        std::this_thread::sleep_for(milliseconds(20));
    EXPECT_FALSE(vision->newReport());

    controller->sendSignal(SIGINT);
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    std::string out = controller->output();
    EXPECT_EQ(occurrences(out, kStopNotice), 1) << out;
    EXPECT_EQ(occurrences(out, kDockingBanner), 0);
    EXPECT_EQ(occurrences(out, std::string(kWanderBanner) + " "), 1);
    EXPECT_FALSE(vision->running());
    EXPECT_FALSE(vision->newReport());
    EXPECT_EQ(vision->semaphoreValue(), 1);
    EXPECT_NE(simulator->waitForErrors("client gone", seconds(5)), std::string::npos);
}

TEST_F(ControllerRun, DocksOnTheRightMarkersAndSteersByDistanceAndMiddleMarker)
{
    startVision();
    ASSERT_TRUE(startSimulator());
    startController();
    ASSERT_TRUE(expectOutput(kWanderBanner));

    // 106 / (203 - 150) = 2.0; middle-left seen, so the near target 300.
    show(150, 203, 300, 310, 250, 301);
    ASSERT_TRUE(expectOutput(kDockingBanner));
    EXPECT_TRUE(expectOutput("\n -0.384615 300 2.000000"));

    // 106 / 42 = 2.524 is far; no middle-left marker: 575 (turn limited to 5).
    show(150, 192, 300, 310);
    EXPECT_TRUE(expectOutput("\n 5.000000 575 2.523810"));

    // Half a middle-left marker leaves the column alone.
    show(150, 203, 300, 310, 0, 120);
    EXPECT_TRUE(expectOutput("\n 5.000000 575 2.000000"));

    // Equal rows: an infinite distance, far; middle-left seen: 350.
    show(200, 200, 300, 310, 250, 301);
    EXPECT_TRUE(expectOutput("\n 3.461538 350 inf"));

    // Right markers gone: the distance keeps its last value.
    show(0, 0, 300, 310, 250, 301);
    EXPECT_TRUE(expectOutput("\n 3.461538 350 inf"));

    controller->sendSignal(SIGINT);
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    std::string out = controller->output();
    EXPECT_EQ(occurrences(out, kDockingBanner), 1);
    EXPECT_EQ(occurrences(out, kStopNotice), 1);
    EXPECT_FALSE(vision->running());
}

TEST_F(ControllerRun, ArrivesOnAStallWithTheRightMarkersGone)
{
    ASSERT_TRUE(startDocking());
    ASSERT_TRUE(expectOutput(" 300 2.000000"));

    // Near the station every marker leaves the picture: stop and turn.
    showNothing();
    ASSERT_TRUE(expectOutput("\n -0.769231 540 2.000000"));
    simulator->sendLine("stall on");
    ASSERT_TRUE(expectOutput(kArrival));
    EXPECT_TRUE(expectOutput(kStopNotice));
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    EXPECT_FALSE(vision->running());
    EXPECT_FALSE(vision->newReport());
    EXPECT_EQ(occurrences(controller->output(), kStopNotice), 1);
    EXPECT_NE(simulator->waitForErrors("client gone", seconds(5)), std::string::npos);
}

TEST_F(ControllerRun, AStallWhileTheRightMarkersAreSeenIsNoArrival)
{
    ASSERT_TRUE(startDocking());
    simulator->sendLine("stall on");
    std::this_thread::sleep_for(milliseconds(1000));
    EXPECT_EQ(controller->output().find(kArrival), std::string::npos);
    EXPECT_TRUE(vision->running());

    // Far away (distance above 2.0) a stall without markers is no arrival
    // either.
    show(150, 190, 300, 310, 250, 301);
    ASSERT_TRUE(expectOutput(" 350 2.650000"));
    showNothing();
    std::this_thread::sleep_for(milliseconds(1000));
    EXPECT_EQ(controller->output().find(kArrival), std::string::npos);

    controller->sendSignal(SIGTERM);
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    EXPECT_FALSE(vision->running());
}

TEST_F(ControllerRun, AStallBeforeAnyEstimateCountsAsArrival)
{
    startVision();
    ASSERT_TRUE(startSimulator());
    // Through a pipe, as under a service manager: each line comes when it is
    // written, not when the program ends.
    outputThroughPipe = true;
    startController();
    ASSERT_TRUE(expectOutput(kWanderBanner));
    simulator->sendLine("stall on");
    ASSERT_TRUE(expectOutput(kArrival));
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    EXPECT_FALSE(vision->running());
    // The simulator's answers to the status request of every pass are taken.
    EXPECT_EQ(controller->output().find("No packet handler wanted"), std::string::npos)
        << controller->output();
}

TEST_F(ControllerRun, EscapeEndsTheRunThroughAria)
{
    ASSERT_TRUE(startDocking());
    ASSERT_TRUE(controller->sendBytes("\x1b"));
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    EXPECT_EQ(occurrences(controller->output(), kStopNotice), 1);
    EXPECT_FALSE(vision->running());
    EXPECT_NE(simulator->waitForErrors("client gone", seconds(5)), std::string::npos);
}

TEST_F(ControllerRun, ALostConnectionEndsTheRun)
{
    startVision();
    ASSERT_TRUE(startSimulator());
    startController();
    ASSERT_TRUE(expectOutput(kWanderBanner));
    simulator->sendLine("quit");
    EXPECT_EQ(simulator->waitForExit(seconds(10)), 0);
    EXPECT_EQ(controller->waitForExit(seconds(30)), 0);
    EXPECT_EQ(occurrences(controller->output(), kStopNotice), 1);
    EXPECT_FALSE(vision->running());
}

TEST_F(ControllerRun, CtrlCWhileConnectingStopsTheVisionProgram)
{
    startVision();
    SilentListener robot;
    ASSERT_GT(robot.port, 0);
    startController({}, robot.port);
    ASSERT_TRUE(robot.connectionPending(10000));
    controller->sendSignal(SIGINT);
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    EXPECT_EQ(occurrences(controller->output(), kStopNotice), 1);
    EXPECT_FALSE(vision->running());
}

// The simulator streams its laser's scans after command 230 (as the peer
// simulator does), so data is in flight towards the controller when it
// ends: its motors-off and CLOSE must still reach the robot, session after
// session, and no scan is reported as unwanted.
TEST_F(ControllerRun, TheRobotHearsTheCloseWhileItsLaserStreams)
{
    startVision();
    for (int session = 0; session < 5; ++session) {
        SCOPED_TRACE(session);
        ASSERT_TRUE(startSimulator());
        startController();
        ASSERT_TRUE(expectOutput(kWanderBanner));
        ASSERT_NE(simulator->waitForErrors("laser scans on", seconds(5)), std::string::npos);
        std::this_thread::sleep_for(milliseconds(300));
        controller->sendSignal(SIGINT);
        EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
        EXPECT_NE(simulator->waitForErrors("client closed the connection", seconds(3)), std::string::npos)
            << simulator->errors();
        EXPECT_EQ(controller->output().find("No packet handler wanted"), std::string::npos);
        simulator->sendLine("quit");
        vision->setRunning(true);
    }
}
