#include "trials/cycle_runner.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "trials/child_process.h"
#include "robot/robot_server.h"
#include "robot/sim_clock.h"

namespace dockworld {

namespace {

// Backing out and turning take seconds; a hung undock is ended after this.
constexpr double kUndockPatience = 60.0;

// undock's own last message (the robot library logs around it).
std::string lastUndockLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line))
        if (line.rfind("undock:", 0) == 0)
            last = line;
    return last;
}

void undock(const CycleSetup &setup, const std::string &name, RobotServer &robot,
            const std::atomic<bool> &interrupt, CycleResult &cycle)
{
    std::vector<std::string> argv = {setup.undockProgram, "-rh", "127.0.0.1", "-rrtp",
                                     std::to_string(robot.port())};
    // A robot that did not report charging sits somewhere else: undock
    // refuses that unless forced, and backing it out is still the way on.
    cycle.undockForced = !cycle.docking.charge.chargerPowerGood;
    if (cycle.undockForced)
        argv.push_back("--force");
    const std::string log = setup.outputDir + "/" + name + "-undock.log";
    std::error_code ignored;
    std::filesystem::remove(log, ignored);
    ChildProcess child;
    std::string error;
    std::vector<std::string> env;
    if (!speedEnvironment(setup.speed, env, &error)) {
        cycle.undockLine = error;
        return;
    }
    child.setExtraEnvironment(env);
    const double started = robot.clock();
    if (!child.start(argv, setup.outputDir, -1, log, &error)) {
        cycle.undockLine = error;
        return;
    }
    while (child.running() && !interrupt && robot.clock() - started < kUndockPatience)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    child.stop(2.0);
    cycle.undockSeconds = robot.clock() - started;
    cycle.undockStatus = child.exitedNormally() ? child.exitCode() : -1;
    cycle.undockLine = lastUndockLine(log);
    if (setup.speed > 1.0 && child.pid() > 0)
        removeFakeTimeLeftovers(child.pid());
}

} // namespace

std::vector<CycleResult> runCycles(const CycleSetup &setup, const std::atomic<bool> &interrupt,
                                   const std::function<void(size_t, const CycleResult &)> &done)
{
    std::vector<CycleResult> results;
    std::error_code ec;
    std::filesystem::create_directories(setup.outputDir, ec);
    const DockingRoom room(false);
    std::unique_ptr<RobotServer> robot = makeRobotServer(room, setup.speed);
    std::string error;
    if (!room.fits(setup.start) || !robot->start(setup.start, &error)) {
        CycleResult failed;
        failed.docking.error = error.empty() ? "the start pose is not clear of walls, furniture and the station" : error;
        results.push_back(failed);
        done(0, failed);
        return results;
    }
    for (int k = 0; k < setup.cycles && !interrupt; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "cycle-%02d", k + 1);
        const double started = robot->clock();
        // The controller resets the simulator when it starts: the robot is
        // to stay where the last undock left it.
        robot->setResetPose(robot->pose());

        TrialSetup trial;
        trial.start = robot->pose();
        trial.timeLimit = setup.timeLimit;
        trial.outputDir = setup.outputDir;
        trial.name = name;
        trial.visionProgram = setup.visionProgram;
        trial.dockingProgram = setup.dockingProgram;
        trial.progress = setup.progress;
        trial.seed = setup.seed + static_cast<uint32_t>(k);
        trial.camera = setup.camera;
        trial.robot = robot.get();
        trial.speed = setup.speed;
        CycleResult cycle;
        cycle.docking = runTrial(trial, interrupt);
        const bool carryOn = cycle.docking.end != TrialEnd::Failed && cycle.docking.end != TrialEnd::Interrupted;
        if (carryOn)
            undock(setup, name, *robot, interrupt, cycle);
        cycle.seconds = robot->clock() - started;
        results.push_back(cycle);
        done(results.size() - 1, cycle);
        if (!carryOn)
            break;
    }
    robot->stop();
    return results;
}

} // namespace dockworld

namespace dockworld {

void printCycleTable(const std::vector<CycleResult> &results)
{
    std::printf("\n cycle  result                          charging               dock time  undock  cycle time\n");
    int charged = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const CycleResult &c = results[i];
        const ChargeReport &q = c.docking.charge;
        char charging[64];
        if (!q.answered)
            std::snprintf(charging, sizeof charging, "no answer");
        else if (q.chargerPowerGood)
            std::snprintf(charging, sizeof charging, "yes, %s %.1f V", chargeStateName(q.chargeState), q.volts);
        else
            std::snprintf(charging, sizeof charging, "no");
        const char *undock = c.undockStatus == 0 ? (c.undockForced ? "forced" : "done")
                             : c.undockStatus < 0 ? "-" : "stopped";
        std::printf("%6zu  %-30s  %-21s %7.1f s  %-7s %8.1f s\n", i + 1, trialEndName(c.docking.end), charging,
                    c.docking.seconds, undock, c.seconds);
        if (c.docking.end == TrialEnd::Docked)
            ++charged;
    }
    std::printf("\ndocked and charging in %d of %zu cycles\n", charged, results.size());
}

} // namespace dockworld
