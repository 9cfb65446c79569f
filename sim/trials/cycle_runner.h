// Repeated docking cycles on one simulated robot: dock (the controller's own
// wander and docking), confirm that the robot reports charging, undock (the
// `undock` program), and again, the next docking run starting wherever the
// last undock left the robot.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "trials/trial_runner.h"

namespace dockworld {

struct CycleSetup {
    Pose start;               // of the first cycle
    int cycles = 1;
    double timeLimit = 180.0; // simulated seconds per docking run
    std::string outputDir = ".";
    std::string visionProgram;
    std::string dockingProgram;
    std::string undockProgram;
    bool progress = true;
    uint32_t seed = 1;
    CameraModel camera; // as mounted
    double speed = 1.0;       // simulated seconds per wall-clock second
};

struct CycleResult {
    TrialResult docking;       // the docking run, charging confirmation included
    bool undockForced = false; // undock ran with --force: the robot was not charging
    int undockStatus = -1;     // undock's exit status; -1 when it did not run or end
    std::string undockLine;    // its last line of output
    double undockSeconds = 0.0;
    double seconds = 0.0;      // the whole cycle
};

// Runs up to setup.cycles cycles, calling `done` after each. Stops early when
// `interrupt` becomes true or when a cycle cannot be set up.
std::vector<CycleResult> runCycles(const CycleSetup &setup, const std::atomic<bool> &interrupt,
                                   const std::function<void(size_t index, const CycleResult &)> &done);

// One line per cycle (result, charging, docking time, undock, cycle time)
// and a count of the cycles that docked and charged.
void printCycleTable(const std::vector<CycleResult> &results);

} // namespace dockworld
