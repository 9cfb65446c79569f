// dockingsim: docking trials in the simulated room. Starts the simulated
// robot and camera, the vision program and the controller, follows the run,
// and reports how it ended (see sim/README.md).
#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "trials/fault_table.h"
#include "trials/imperfect_world.h"
#include "trials/imperfections.h"
#include "trials/cycle_runner.h"
#include "robot/sim_clock.h"
#include "trials/start_poses.h"
#include "trials/trial_runner.h"

using namespace dockworld;

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int) { interrupted = true; }

void installSignals()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a vision program that goes away must not end the runner
}

const char kUsage[] =
    "usage: dockingsim [options]\n"
    "  --start X,Y,DEG     start pose: metres from the room's south-west corner, heading in\n"
    "                      degrees counter-clockwise from east (default 3.6,3.0,-30: the\n"
    "                      station is out of sight)\n"
    "  --random N          N seeded random start poses, 1.5-4 m from the station, within 30\n"
    "                      degrees of its centre line and facing it within 40 degrees\n"
    "  --anywhere          with --random: poses anywhere in the room, any heading\n"
    "  --seed S            seed of the random poses and the camera noise (default 1)\n"
    "  --time-limit S      simulated seconds per trial (default 180)\n"
    "  --cycles K          K cycles on one robot: dock, confirm charging, undock, dock again\n"
    "  --speed N           simulated seconds per wall-clock second (default " DEFAULT_SPEED_TEXT ";\n"
    "                      above 1 the programs run under libfaketime)\n"
    "  --hide-station      stand a screen in front of the station\n"
    "  --view              show the camera picture with the published markers\n"
    "  --out DIR           folder for pictures and logs (default dockingsim-out)\n"
    "  --quiet             no progress lines\n"
    "  --fault F@T         inject a fault T simulated seconds into each trial: camera-loss@T[:S]\n"
    "                      (the camera's stream ends for S seconds, default 1), vision-kill@T,\n"
    "                      vision-stop@T (SIGSTOP) or robot-drop@T (the robot closes the link)\n"
    "  --vision PATH       the vision program (default: beside dockingsim, installed or in the build tree)\n"
    "  --controller PATH   the controller (default: likewise)\n"
    "  --undock PATH       the undock program, for --cycles (default: likewise)\n"
    ;

struct Options {
    std::vector<Pose> starts;
    bool randomPoses = false;
    int randomCount = 0;
    bool anywhere = false;
    uint32_t seed = 1;
    double timeLimit = 180.0;
    double speed = kDefaultSpeed;
    bool hideStation = false;
    bool view = false;
    bool quiet = false;
    std::string out = "dockingsim-out";
    std::string vision;
    std::string controller;
    Fault fault;
    int cycles = 0;
    std::string undock;
    Imperfections imperfections;
};

bool parseNumber(const char *text, double &value)
{
    char *end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

bool parsePose(const char *text, Pose &pose)
{
    double x, y, deg;
    char tail;
    if (std::sscanf(text, "%lf,%lf,%lf%c", &x, &y, &deg, &tail) != 3)
        return false;
    pose = {x, y, normalizeAngle(degToRad(deg))};
    return true;
}

// Directory of this executable; the other programs are found from it.
std::string ownDirectory()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    std::string path(buffer, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

// A program beside this one (installed copies share one directory), else
// where the build tree puts it.
std::string siblingProgram(const std::string &here, const std::string &buildDir, const std::string &name)
{
    const std::string installed = here + "/" + name;
    struct stat st;
    if (::stat(installed.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(installed.c_str(), X_OK) == 0)
        return installed;
    return here + "/../" + buildDir + "/" + name;
}

int usageError(const std::string &why)
{
    std::fprintf(stderr, "dockingsim: %s\n%s%s", why.c_str(), kUsage, imperfectionUsage());
    return 2;
}

void printSummary(const TrialResult &r)
{
    // A trial that never started has no result to speak of, only a reason.
    if (r.end == TrialEnd::Failed && r.seconds == 0.0) {
        std::printf("\nnot started: %s\n", r.error.empty() ? "set-up failed" : r.error.c_str());
        if (!r.cleanedUp)
            std::printf("warning: not everything could be cleaned up\n");
        return;
    }
    std::printf("\nresult: %s after %.1f s", trialEndName(r.end), r.seconds);
    if (r.dockingModeAt >= 0.0)
        std::printf(" (docking mode from %.1f s)", r.dockingModeAt);
    std::printf("\nfinal error at the station: lateral %+.1f cm, gap %.1f cm, heading %+.1f deg\n",
                100.0 * r.offsets.lateral, 100.0 * r.offsets.gap, radToDeg(r.offsets.heading));
    if (!r.imperfections.empty())
        std::printf("imperfections: %s\n", r.imperfections.c_str());
    if (r.charge.answered && r.charge.chargerPowerGood)
        std::printf("robot reported charging: yes (%s, %.1f V)\n", chargeStateName(r.charge.chargeState),
                    r.charge.volts);
    else
        std::printf("robot reported charging: %s\n", r.charge.answered ? "no" : "no answer");
    if (r.wallSeconds > 0.0)
        std::printf("speed: %.1f simulated seconds per wall-clock second, set-up included; camera frames %ld taken, "
                    "%ld dropped, %.1f ms to draw each\n",
                    r.seconds / r.wallSeconds, r.framesWritten, r.framesDropped, r.renderMillis);
    if (r.framesDropped > r.framesWritten) // more than half
        std::printf("warning: the vision program missed %ld of %ld camera frames: this machine does not keep up "
                    "with this speed (try a lower --speed)\n",
                    r.framesDropped, r.framesDropped + r.framesWritten);
    if (!r.error.empty())
        std::printf("problem: %s\n", r.error.c_str());
    if (!r.cleanedUp)
        std::printf("warning: not everything could be cleaned up\n");
    if (!r.picture.empty())
        std::printf("picture: %s\n", r.picture.c_str());
}

void printTable(const std::vector<Pose> &starts, const std::vector<TrialResult> &results)
{
    std::printf("\n trial   start x    y   heading  result                          time   lateral   gap   heading\n");
    std::vector<double> times;
    int docked = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const TrialResult &r = results[i];
        std::printf("%5zu  %6.2f %6.2f %7.0f   %-30s %6.1f s %+6.1f cm %4.1f cm %+5.1f deg\n", i + 1, starts[i].x,
                    starts[i].y, radToDeg(starts[i].heading), trialEndName(r.end), r.seconds,
                    100.0 * r.offsets.lateral, 100.0 * r.offsets.gap, radToDeg(r.offsets.heading));
        if (r.end == TrialEnd::Docked) {
            ++docked;
            times.push_back(r.seconds);
        }
    }
    std::printf("\ndocked %d of %zu (%.0f%%)", docked, results.size(), 100.0 * docked / results.size());
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        const size_t n = times.size();
        const double median = n % 2 ? times[n / 2] : 0.5 * (times[n / 2 - 1] + times[n / 2]);
        std::printf("; time to dock median %.1f s, worst %.1f s", median, times.back());
    }
    std::printf("\n");
}

int runCycleMode(const Options &o)
{
    CycleSetup setup;
    setup.start = o.starts.empty() ? demoStartPose() : o.starts.front();
    setup.cycles = o.cycles;
    setup.timeLimit = o.timeLimit;
    setup.outputDir = o.out;
    setup.visionProgram = o.vision;
    setup.dockingProgram = o.controller;
    setup.undockProgram = o.undock;
    setup.progress = !o.quiet;
    setup.seed = o.seed;
    setup.speed = o.speed;
    setup.imperfections = o.imperfections;
    installSignals();
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("== %d cycles from %.2f, %.2f, %.0f deg\n", o.cycles, setup.start.x, setup.start.y,
                radToDeg(setup.start.heading));
    const std::vector<CycleResult> results =
        runCycles(setup, interrupted, [](size_t i, const CycleResult &c) {
            std::printf("== cycle %zu", i + 1);
            printSummary(c.docking);
            if (c.undockStatus >= 0 || !c.undockLine.empty())
                std::printf("undock (status %d, %.1f s): %s\n", c.undockStatus, c.undockSeconds,
                            c.undockLine.c_str());
        });
    printCycleTable(results);
    if (interrupted) {
        std::printf("interrupted: every program ended, IPC objects removed\n");
        return 130;
    }
    const bool failed = std::any_of(results.begin(), results.end(),
                                    [](const CycleResult &c) { return c.docking.end == TrialEnd::Failed; });
    const bool allDocked = std::all_of(results.begin(), results.end(), [](const CycleResult &c) {
        return c.docking.end == TrialEnd::Docked && c.undockStatus == 0;
    });
    return failed ? 3 : allDocked ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        double number = 0.0;
        std::string why;
        const int taken = parseImperfectionOption(o.imperfections, argc, argv, &i, &why);
        if (taken < 0)
            return usageError(why);
        if (taken > 0) {
            --i; // the loop steps past the option's last word
            continue;
        }
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(imperfectionUsage(), stdout);
            return 0;
        } else if (a == "--start" && hasValue) {
            Pose p;
            if (!parsePose(argv[++i], p))
                return usageError(std::string("bad start pose '") + argv[i] + "'");
            o.starts.push_back(p);
        } else if (a == "--random" && hasValue) {
            if (!parseNumber(argv[++i], number) || number < 1 || number > 1000 || number != std::floor(number))
                return usageError("--random needs a whole number from 1 to 1000");
            o.randomPoses = true;
            o.randomCount = static_cast<int>(number);
        } else if (a == "--anywhere") {
            o.anywhere = true;
        } else if (a == "--seed" && hasValue) {
            if (!parseNumber(argv[++i], number) || number < 0 || number > 4294967295.0)
                return usageError("--seed needs a whole number");
            o.seed = static_cast<uint32_t>(number);
        } else if (a == "--time-limit" && hasValue) {
            if (!parseNumber(argv[++i], number) || number <= 0 || number > 86400)
                return usageError("--time-limit needs a number of seconds");
            o.timeLimit = number;
        } else if (a == "--cycles" && hasValue) {
            if (!parseNumber(argv[++i], number) || number < 1 || number > 1000 || number != std::floor(number))
                return usageError("--cycles needs a whole number from 1 to 1000");
            o.cycles = static_cast<int>(number);
        } else if (a == "--undock" && hasValue) {
            o.undock = argv[++i];
        } else if (a == "--speed" && hasValue) {
            if (!parseNumber(argv[++i], number) || number < 1 || number > 100)
                return usageError("--speed needs a number from 1 to 100");
            o.speed = number;
        } else if (a == "--hide-station") {
            o.hideStation = true;
        } else if (a == "--view") {
            o.view = true;
        } else if (a == "--fault" && hasValue) {
            std::string why;
            if (!parseFault(argv[++i], &o.fault, &why))
                return usageError(why);
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--out" && hasValue) {
            o.out = argv[++i];
        } else if (a == "--vision" && hasValue) {
            o.vision = argv[++i];
        } else if (a == "--controller" && hasValue) {
            o.controller = argv[++i];
        } else {
            return usageError("unknown or incomplete option '" + a + "'");
        }
    }
    if (o.randomPoses && !o.starts.empty())
        return usageError("--start and --random exclude each other");
    if (o.anywhere && !o.randomPoses)
        return usageError("--anywhere goes with --random");
    if (o.cycles > 0 && (o.randomPoses || o.starts.size() > 1 || o.hideStation || o.view))
        return usageError("--cycles takes one --start and excludes --random, --hide-station and --view");
    const std::string here = ownDirectory();
    if (o.vision.empty())
        o.vision = siblingProgram(here, "vision", "quorvantel");
    if (o.controller.empty())
        o.controller = siblingProgram(here, "docking", "docking");
    if (o.undock.empty())
        o.undock = siblingProgram(here, "docking", "undock");
    for (const std::string &program : {o.vision, o.controller})
        if (::access(program.c_str(), X_OK) != 0)
            return usageError("cannot run " + program + " (build it, or give its path)");
    if (o.cycles > 0 && ::access(o.undock.c_str(), X_OK) != 0)
        return usageError("cannot run " + o.undock + " (build it, or give its path)");
    if (o.cycles > 0)
        return runCycleMode(o);

    const DockingRoom room = imperfectRoom(o.imperfections, o.hideStation);
    if (o.randomPoses)
        o.starts = o.anywhere ? posesAnywhere(room, o.randomCount, o.seed)
                              : posesFacingStation(room, o.randomCount, o.seed);
    if (o.starts.empty())
        o.starts.push_back(demoStartPose());

    installSignals();
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<TrialResult> results;
    for (size_t i = 0; i < o.starts.size() && !interrupted; ++i) {
        TrialSetup setup;
        setup.start = o.starts[i];
        setup.timeLimit = o.timeLimit;
        setup.hideStation = o.hideStation;
        setup.outputDir = o.out;
        setup.visionProgram = o.vision;
        setup.dockingProgram = o.controller;
        setup.progress = !o.quiet;
        setup.view = o.view;
        setup.fault = o.fault;
        setup.seed = o.seed + static_cast<uint32_t>(i);
        setup.speed = o.speed;
        setup.imperfections = o.imperfections;
        if (o.starts.size() > 1) {
            char name[32];
            std::snprintf(name, sizeof name, "trial-%02zu", i + 1);
            setup.name = name;
        }
        std::printf("== %s: start %.2f, %.2f, %.0f deg\n", setup.name.c_str(), setup.start.x, setup.start.y,
                    radToDeg(setup.start.heading));
        results.push_back(runTrial(setup, interrupted));
        printSummary(results.back());
        if (o.fault.kind != FaultKind::None)
            printFaultSummary(results.back());
    }
    if (results.size() > 1)
        printTable(o.starts, results);
    if (o.fault.kind != FaultKind::None && results.size() > 1)
        printFaultTable(o.fault, results);
    if (interrupted) {
        std::printf("interrupted: every program ended, IPC objects removed\n");
        return 130;
    }
    const bool allDocked = std::all_of(results.begin(), results.end(),
                                       [](const TrialResult &r) { return r.end == TrialEnd::Docked; });
    const bool failed = std::any_of(results.begin(), results.end(),
                                    [](const TrialResult &r) { return r.end == TrialEnd::Failed; });
    return failed ? 3 : allDocked ? 0 : 1;
}
