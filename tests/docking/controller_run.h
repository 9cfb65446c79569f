// The controller as a process, against a scripted vision side and the robot
// simulator, in a scratch directory of the test's own.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "process_runner.h"
#include "scripted_vision.h"
#include "test_support.h"

namespace dockingtest {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A TCP port on 127.0.0.1 that nothing listens on (bound once, then let go).
int unusedPort();

// How many times `needle` occurs in `text`.
int occurrences(const std::string &text, const std::string &needle);

class ControllerRun : public ::testing::Test {
protected:
    // Creates the scratch directory with its quorvantel file.
    void SetUp() override;
    void TearDown() override;

    // A scripted vision side that, like the vision program, publishes the
    // report shown last once per frame (every 40 ms) while its run flag is
    // set, so that the controller's reports stay fresh.
    void startVision();
    // Ends the frames: from then on only show() publishes.
    void stopFrames();
    // Starts the simulator on a free port; false when it does not come up.
    bool startSimulator();
    // Starts the controller with `extra` after the connection options that
    // point it at the simulator (or at `port` when given).
    void startController(const std::vector<std::string> &extra = {}, int port = -1);

    // Publishes a report with the given markers (others 0).
    void show(int urRow, int lrRow, int ulCol, int llCol, int mlRow = 0, int mlCol = 0);
    void showNothing() { show(0, 0, 0, 0); }

    // Vision side, simulator and controller started; once the controller
    // wanders, the station is shown in front (both left markers, middle-left
    // seen) until it switches to docking.
    ::testing::AssertionResult startDocking();

    // Waits for `text` on the controller's output after the last match.
    ::testing::AssertionResult expectOutput(const std::string &text, milliseconds timeout = seconds(10));

    kxtest::ScratchDir scratch;
    std::unique_ptr<ScriptedVision> vision;
    std::mutex shownMutex;
    TargetReport shown{};
    std::atomic<bool> framesStop{false};
    std::thread frames;
    std::unique_ptr<RunningProgram> simulator;
    std::unique_ptr<RunningProgram> controller;
    int simulatorPort = -1;
    size_t seen = 0; // controller output already matched
    bool outputThroughPipe = false; // the controller's standard output: a pipe, not a terminal
};

extern const char kWanderBanner[];
extern const char kDockingBanner[];
extern const char kStopNotice[];
extern const char kArrival[];

} // namespace dockingtest
