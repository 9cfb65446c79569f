// Trials that do not dock still leave nothing behind: a station hidden
// behind a screen runs into the time limit, and Ctrl-C on dockingsim ends
// every program it started and removes the IPC objects.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <thread>

#include "trials/child_process.h"
#include "test_support.h"
#include "trial_checks.h"
#include "trials/trial_runner.h"

using namespace dockworld;

TEST(TrialCleanup, HiddenStationEndsByTheTimeLimit)
{
    kxtest::ScratchDir out;
    TrialSetup setup;
    setup.start = {4.0, 2.25, kPi}; // facing the screen that hides the station
    setup.hideStation = true;
    setup.timeLimit = 12.0;
    setup.outputDir = out.path();
    setup.visionProgram = VISION_PROGRAM;
    setup.dockingProgram = DOCKING_PROGRAM;
    setup.progress = false;
    const std::atomic<bool> never{false};
    const TrialResult r = runTrial(setup, never);

    EXPECT_EQ(r.end, TrialEnd::TimeLimit) << trialEndName(r.end) << ": " << r.error;
    EXPECT_GE(r.seconds, 12.0);
    EXPECT_LT(r.dockingModeAt, 0.0); // the markers never showed
    EXPECT_TRUE(r.cleanedUp);
    EXPECT_FALSE(std::filesystem::exists(r.workDir));
    EXPECT_EQ(dockingtest::processesMentioning(r.workDir), 0);
    EXPECT_FALSE(r.picture.empty());
}

TEST(TrialCleanup, VisionProgramKilledMidwayEndsTheTrialAndItsLeftovers)
{
    kxtest::ScratchDir out;
    // The real vision program, killed without its orderly shutdown: it
    // leaves its semaphore set and segment behind.
    const std::string wrapper = out.file("dying-vision");
    ASSERT_TRUE(kxtest::writeFile(wrapper, std::string("#!/bin/sh\n\"") + VISION_PROGRAM +
                                               "\" \"$1\" & pid=$!\nsleep 4\nkill -9 $pid\nwait $pid\nexit 0\n"));
    ASSERT_EQ(chmod(wrapper.c_str(), 0755), 0);
    TrialSetup setup;
    setup.start = {3.0, 2.25, kPi};
    setup.timeLimit = 60.0;
    setup.outputDir = out.path();
    setup.visionProgram = wrapper;
    setup.dockingProgram = DOCKING_PROGRAM;
    setup.progress = false;
    const std::atomic<bool> never{false};
    const TrialResult r = runTrial(setup, never);

    EXPECT_EQ(r.end, TrialEnd::Failed) << trialEndName(r.end);
    EXPECT_NE(r.error.find("vision program ended"), std::string::npos) << r.error;
    EXPECT_LT(r.seconds, 20.0);
    EXPECT_TRUE(r.cleanedUp);
    EXPECT_EQ(dockingtest::processesMentioning(r.workDir), 0);
}

TEST(TrialCleanup, InterruptEndsEverything)
{
    kxtest::ScratchDir out;
    const std::string log = out.file("dockingsim.out");
    ChildProcess sim;
    std::string error;
    ASSERT_TRUE(sim.start({DOCKINGSIM_PROGRAM, "--out", out.path(), "--time-limit", "60", "--vision", VISION_PROGRAM,
                           "--controller", DOCKING_PROGRAM},
                          out.path(), -1, log, &error))
        << error;
    // Wait for the trial to be under way: progress lines after the programs
    // have started.
    std::string workDir;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
        const std::string text = kxtest::readFile(log);
        const size_t at = text.find("working directory ");
        if (at != std::string::npos && text.find("   2.0 s  mode") != std::string::npos) {
            workDir = text.substr(at + 18, text.find('\n', at) - at - 18);
            break;
        }
        ASSERT_TRUE(sim.running()) << text;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(workDir.empty()) << kxtest::readFile(log);
    const key_t key = ftok((workDir + "/quorvantel").c_str(), 74);
    ASSERT_NE(key, -1);
    ASSERT_NE(semget(key, 1, 0), -1); // the vision program's semaphore set exists
    EXPECT_GE(dockingtest::processesMentioning(workDir), 1);

    sim.signal(SIGINT);
    ASSERT_TRUE(sim.waitFor(20.0));
    EXPECT_EQ(sim.exitCode(), 130);
    const std::string text = kxtest::readFile(log);
    EXPECT_NE(text.find("result: interrupted"), std::string::npos) << text;
    EXPECT_EQ(text.find("warning: not everything"), std::string::npos) << text;
    EXPECT_EQ(dockingtest::processesMentioning(workDir), 0);
    EXPECT_EQ(semget(key, 1, 0), -1);
    EXPECT_EQ(shmget(key, 56, 0), -1);
    EXPECT_FALSE(std::filesystem::exists(workDir));
}
