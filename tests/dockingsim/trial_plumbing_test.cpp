// The trial runner's plumbing: starting and stopping programs, following
// the controller's output through a pseudo-terminal, and removing the IPC
// objects whoever left them.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <thread>

#include "trials/child_process.h"
#include "trials/controller_output.h"
#include "report_ipc.h"
#include "trials/report_watch.h"
#include "robot/realtime.h"
#include "robot/robot_server.h"
#include "robot/sim_clock.h"
#include "test_support.h"

using namespace dockworld;

TEST(ChildProcess, ReportsAProgramThatCannotStart)
{
    kxtest::ScratchDir dir;
    ChildProcess child;
    std::string error;
    EXPECT_FALSE(child.start({dir.file("no-such-program")}, dir.path(), -1, dir.file("log"), &error));
    EXPECT_NE(error.find("no-such-program"), std::string::npos);
    EXPECT_FALSE(child.running());
}

TEST(ChildProcess, RunsInItsDirectoryWithOutputLogged)
{
    kxtest::ScratchDir dir;
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start({"/bin/sh", "-c", "pwd; exit 3"}, dir.path(), -1, dir.file("log"), &error)) << error;
    ASSERT_TRUE(child.waitFor(10.0));
    EXPECT_EQ(child.exitCode(), 3);
    EXPECT_NE(kxtest::readFile(dir.file("log")).find(dir.path()), std::string::npos);
}

TEST(ChildProcess, StopEndsAProgramThatIgnoresInterrupts)
{
    kxtest::ScratchDir dir;
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start({"/bin/sh", "-c", "trap '' INT TERM; while :; do sleep 0.05; done"}, dir.path(), -1,
                            dir.file("log"), &error));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(child.running());
    const auto before = std::chrono::steady_clock::now();
    child.stop(0.3);
    EXPECT_FALSE(child.running());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    EXPECT_FALSE(child.exitedNormally()); // it took SIGKILL
}

// At speed 10 a program's two-second sleep takes a fifth of a second; a
// program ended by force leaves libfaketime's segment, which the runner
// removes.
TEST(ChildProcess, RunsOnTheSimulatedClockAtSpeed)
{
    kxtest::ScratchDir dir;
    std::vector<std::string> env;
    std::string error;
    ASSERT_TRUE(speedEnvironment(10.0, env, &error)) << error;
    ChildProcess child;
    child.setExtraEnvironment(env);
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(child.start({"/bin/sleep", "2"}, dir.path(), -1, dir.file("log"), &error)) << error;
    ASSERT_TRUE(child.waitFor(10.0));
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1500));

    ChildProcess killed;
    killed.setExtraEnvironment(env);
    ASSERT_TRUE(killed.start({"/bin/sleep", "100"}, dir.path(), -1, dir.file("log"), &error)) << error;
    const std::string segment = "/dev/shm/faketime_shm_" + std::to_string(killed.pid());
    for (int i = 0; i < 200 && !std::filesystem::exists(segment); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(std::filesystem::exists(segment));
    killed.signal(SIGKILL);
    ASSERT_TRUE(killed.waitFor(10.0));
    EXPECT_TRUE(std::filesystem::exists(segment));
    removeFakeTimeLeftovers(killed.pid());
    EXPECT_FALSE(std::filesystem::exists(segment));
}

// A trial's robot server and controller run ahead of the other trials'
// vision and rendering; nothing else it starts does.
TEST(ChildProcess, RealTimeOnlyWhereAsked)
{
    if (!realTimePermitted())
        GTEST_SKIP() << "real-time priority is not permitted here";
    kxtest::ScratchDir dir;
    std::string error;
    ChildProcess controller, vision;
    controller.setRealTime(true);
    ASSERT_TRUE(controller.start({"/bin/sleep", "30"}, dir.path(), -1, dir.file("log"), &error)) << error;
    ASSERT_TRUE(vision.start({"/bin/sleep", "30"}, dir.path(), -1, dir.file("log"), &error)) << error;
    EXPECT_TRUE(runsAtRealTime(controller.pid()));
    EXPECT_FALSE(runsAtRealTime(vision.pid()));

    const DockingRoom room;
    const auto robot = makeRobotServer(room);
    robot->runAtRealTime();
    ASSERT_TRUE(robot->start(room.station().dockedPose(), &error)) << error;
    bool found = false; // the server's thread raises itself as it begins
    for (int i = 0; i < 200 && !found; ++i) {
        for (const auto &task : std::filesystem::directory_iterator("/proc/self/task"))
            found = found || runsAtRealTime(std::stoi(task.path().filename().string()));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(runsAtRealTime(0)); // the caller's own thread is left as it was
}

TEST(ControllerOutput, FollowsModesAndArrivalThroughATerminal)
{
    kxtest::ScratchDir dir;
    ControllerOutput output;
    std::string error;
    ASSERT_TRUE(output.open(dir.file("docking.log"), &error)) << error;
    ChildProcess child;
    // The banners as the controller prints them; the pause shows that a line
    // arrives before the program ends (no block buffering).
    ASSERT_TRUE(child.start({"/bin/sh", "-c",
                             "printf '\\n== Wander Mode ==\\n'; sleep 0.5; printf '\\n== Docking Mode ==\\n';"
                             "sleep 0.5; printf '\\nRobot arrivato alla stazione....ora si sconette\\n'"},
                            dir.path(), output.childEnd(), "", &error));
    output.closeChildEnd();
    output.start();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (output.mode() != DriveMode::Wander && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(output.mode(), DriveMode::Wander);
    EXPECT_FALSE(output.arrived());
    ASSERT_TRUE(child.waitFor(10.0));
    // The program has ended: once its terminal is drained, its last line counts.
    EXPECT_TRUE(output.waitDrained(5.0));
    EXPECT_TRUE(output.arrived());
    output.close();
    EXPECT_EQ(output.mode(), DriveMode::Docking);
    EXPECT_TRUE(output.dockingSeen());
    EXPECT_TRUE(output.arrived());
    EXPECT_NE(kxtest::readFile(dir.file("docking.log")).find("== Docking Mode =="), std::string::npos);
}

TEST(ReportWatch, ReadsMarkersAndRemovesWhatTheProgramsLeft)
{
    kxtest::ScratchDir dir;
    const std::string key = dir.file("quorvantel");
    ASSERT_TRUE(kxtest::writeFile(key, ""));
    ReportWatch watch(key);
    EXPECT_FALSE(watch.visionReady());
    EXPECT_FALSE(watch.attach());

    ReportIpc ipc;
    ASSERT_EQ(createReportIpc(key.c_str(), ipc), nullptr);
    EXPECT_TRUE(watch.visionReady());
    ASSERT_TRUE(watch.attach());
    TargetReport report{};
    report.urRow = 200;
    report.lrRow = 300;
    report.llRow = 301;
    writePositions(*ipc.data, report);
    EXPECT_EQ(watch.markersSeen(), 3);
    EXPECT_EQ(watch.latest().lrRow, 300);
    shmdt(ipc.data); // as a killed vision program would leave them: set and segment

    EXPECT_TRUE(watch.removeIpc());
    const key_t k = ftok(key.c_str(), kReportKeyProject);
    EXPECT_EQ(semget(k, 1, 0), -1);
    EXPECT_EQ(shmget(k, kReportBytes, 0), -1);
    EXPECT_TRUE(watch.removeIpc()); // nothing left: still fine
}
