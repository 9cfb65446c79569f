// One docking trial: a fresh working directory with the key file and the
// camera FIFO, the simulated robot and camera, the vision program and the
// controller; progress while it runs; the result, a top-down picture and
// the programs' logs when it ends; and everything it started ended and
// removed again, also when it is interrupted.
#pragma once

#include <atomic>
#include <string>

#include "trials/charge_probe.h"
#include "world/docking_room.h"
#include "trials/fault_injection.h"
#include "trials/loop_timing.h"
#include "trials/imperfections.h"
#include "picture/topdown_map.h"

namespace dockworld {

class RobotServer;

struct TrialSetup {
    Pose start;
    double timeLimit = 180.0; // simulated seconds
    bool hideStation = false;
    std::string outputDir = ".";
    std::string name = "dockingsim"; // stem of the picture and log files
    std::string visionProgram;       // path of quorvantel
    std::string dockingProgram;      // path of docking
    bool progress = true;            // one line per simulated second
    bool view = false;               // live camera window
    uint32_t seed = 1;               // camera noise
    CameraModel camera;              // the robot's camera as mounted (the station is built for the design)
    Fault fault;                     // none by default
    // A simulated robot already started (its pose is the start), which the
    // trial drives and leaves running; null: the trial starts its own.
    RobotServer *robot = nullptr;
    double speed = 1.0;              // simulated seconds per wall-clock second
    // The robot server and the controller at real-time priority where the
    // system permits it (robot/realtime.h): their timing then holds with
    // more trials side by side.
    bool realTime = false;
    // The robot's, camera's and room's flaws; resolved with `seed` when
    // `realistic`.
    Imperfections imperfections;
};

enum class TrialEnd {
    Docked,           // the controller reported arrival, the robot sits on the contacts and reports charging
    ArrivedElsewhere, // the controller reported arrival somewhere else
    ControllerEnded,  // the controller ended without arrival
    TimeLimit,
    Interrupted,
    Failed // could not be set up
};

const char *trialEndName(TrialEnd end);

struct TrialResult {
    TrialEnd end = TrialEnd::Failed;
    double seconds = 0.0;             // simulated time at the end
    double dockingModeAt = -1.0;      // simulated time of the first docking mode, or -1
    Pose finalPose;
    Station::Offsets offsets{0, 0, 0}; // at the end, relative to the docked pose
    ChargeReport charge;              // what the robot reported after the controller ended
    std::string picture;              // path of the top-down picture ("" if none)
    std::string error;                // why it failed
    std::string workDir;              // the trial's working directory (removed at the end)
    bool cleanedUp = false;           // every process ended and every IPC object removed
    double faultAt = -1.0;            // simulated time the fault fired, or -1
    Standstill standstill;            // after the fault, from the robot's motion log
    int controllerExit = -1;          // the controller's exit status, -1 if it did not exit
    double wallSeconds = 0.0;         // wall-clock time of the whole trial, set-up and wind-up included
    long framesWritten = 0;           // camera frames the vision program took
    long framesDropped = 0;           // camera frames it could not take in time
    double renderMillis = 0.0;        // wall-clock time the simulator took to draw a frame, on average
    DriveMode finalMode = DriveMode::Unknown; // the controller's mode at the end
    double stillFor = 0.0;            // simulated seconds before the end without moving 10 cm or turning 20 degrees
    LoopTiming timing;                // the control passes and the reports' age, simulated time
    std::string imperfections;        // the values the trial ran with (describeImperfections; "" for the ideal world)
};

// Runs one trial. `interrupt` is polled; when it becomes true the trial is
// wound up as Interrupted.
TrialResult runTrial(const TrialSetup &setup, const std::atomic<bool> &interrupt);

} // namespace dockworld
