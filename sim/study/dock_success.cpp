// Docking success in the simulated room, as a study: seeded random starts in
// three groups (facing the station 1.5-4 m out; approaching it 0.8-1.5 m out;
// anywhere in the room), each trial with 3 simulated minutes, run faster than
// real time and several side by side. Prints each trial's row when it ends
// and appends it to a CSV; at the end, per group, the success rate with its
// 95% Wilson interval, time to dock, final errors and the failures by cause,
// and a success map (see sim/README.md).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "study/failure_cause.h"
#include "robot/sim_clock.h"
#include "trials/start_poses.h"
#include "study/study_stats.h"
#include "study/success_map.h"
#include "trials/trial_runner.h"

using namespace dockworld;

namespace {

const char kUsage[] = "usage: dock_success [--trials N] [--group facing|approach|anywhere]... [--jobs N]"
                      " [--speed N] [--seed S] [--time-limit S] [--out DIR]\n";

const char kHelp[] =
    "  --trials N        trials per group (default 500)\n"
    "  --group NAME      only this group (repeatable; default all three)\n"
    "  --jobs N          trials side by side (default 2)\n"
    "  --speed N         simulated seconds per wall-clock second (default " DEFAULT_SPEED_TEXT ")\n"
    "  --seed S          seed of the start poses and camera noise (default 2026)\n"
    "  --time-limit S    simulated seconds per trial (default 180)\n"
    "  --out DIR         CSV, maps, and pictures and logs of failed trials (default dock_success-out)\n";

std::atomic<bool> interrupted{false};
void onSignal(int) { interrupted = true; }

struct Group {
    const char *name;
    const char *description;
    std::vector<Pose> (*poses)(const DockingRoom &, int, uint32_t);
    uint32_t seedOffset;
};

const Group kGroups[] = {
    {"facing", "starts 1.5-4 m from the station, within 30 degrees of its centre line, facing it within 40 degrees",
     posesFacingStation, 0},
    {"approach", "starts 0.8-1.5 m from the station, within 45 degrees of its centre line, facing it within 30 degrees",
     posesApproaching, 2},
    {"anywhere", "starts anywhere in the room, any heading", posesAnywhere, 1},
};

struct Options {
    int trials = 500;
    std::vector<std::string> groups;
    int jobs = 2;
    double speed = kDefaultSpeed;
    uint32_t seed = 2026;
    double timeLimit = 180.0;
    std::string out = "dock_success-out";
};

struct Job {
    const Group *group;
    int index; // within its group, from 1
    Pose start;
    TrialResult result;
    FailureCause cause = FailureCause::Other;
    bool done = false;
};

bool parseNumber(const char *text, double low, double high, double &value)
{
    char *end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value) && value >= low && value <= high;
}

int usageError(const std::string &why)
{
    std::fprintf(stderr, "dock_success: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// 0 to go on, otherwise the exit status.
int parseOptions(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf("%s%s", kUsage, kHelp);
            return -1;
        }
        if (i + 1 >= argc)
            return usageError("unknown or incomplete option '" + a + "'");
        const char *value = argv[++i];
        double number = 0.0;
        if (a == "--trials" && parseNumber(value, 1, 100000, number) && number == std::floor(number))
            o.trials = static_cast<int>(number);
        else if (a == "--group" && (std::string(value) == "facing" || std::string(value) == "approach" ||
                                    std::string(value) == "anywhere"))
            o.groups.push_back(value);
        else if (a == "--jobs" && parseNumber(value, 1, 16, number) && number == std::floor(number))
            o.jobs = static_cast<int>(number);
        else if (a == "--speed" && parseNumber(value, 1, 100, number))
            o.speed = number;
        else if (a == "--seed" && parseNumber(value, 0, 4294967295.0, number) && number == std::floor(number))
            o.seed = static_cast<uint32_t>(number);
        else if (a == "--time-limit" && parseNumber(value, 1, 86400, number))
            o.timeLimit = number;
        else if (a == "--out" && *value)
            o.out = value;
        else
            return usageError("bad option or value '" + a + " " + value + "'");
    }
    return 0;
}

std::string trialName(const Job &job)
{
    char name[48];
    std::snprintf(name, sizeof name, "%s-%04d", job.group->name, job.index);
    return name;
}

// The cause of a failure, or "docked"; "interrupted" for a trial cut short
// (left out of the figures).
const char *outcome(const Job &job)
{
    return job.result.end == TrialEnd::Interrupted ? "interrupted" : failureCauseName(job.cause);
}

void printRow(FILE *to, const Job &job)
{
    const TrialResult &r = job.result;
    std::fprintf(to, "%-13s %6.2f %5.2f %5.0f  %-31s %6.1f s %+6.1f cm %5.1f cm %+6.1f deg %5.1fx%s\n",
                 trialName(job).c_str(), job.start.x, job.start.y, radToDeg(job.start.heading), outcome(job), r.seconds, 100.0 * r.offsets.lateral, 100.0 * r.offsets.gap,
                 radToDeg(r.offsets.heading), r.wallSeconds > 0.0 ? r.seconds / r.wallSeconds : 0.0,
                 r.cleanedUp ? "" : "  (clean-up incomplete)");
}

void writeCsvRow(FILE *csv, const Job &job)
{
    const TrialResult &r = job.result;
    std::fprintf(csv, "%s,%s,%d,%.3f,%.3f,%.1f,%s,%s,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%ld,%ld,%.2f\n",
                 trialName(job).c_str(), job.group->name, job.index, job.start.x, job.start.y,
                 radToDeg(job.start.heading), r.end == TrialEnd::Docked ? "docked" : "failed", outcome(job), r.seconds, r.dockingModeAt, 100.0 * r.offsets.lateral,
                 100.0 * r.offsets.gap, radToDeg(r.offsets.heading), r.stillFor, r.framesWritten, r.framesDropped,
                 r.wallSeconds);
    std::fflush(csv);
}

// A docked trial's picture and logs are not kept: hundreds of them say
// nothing the table does not.
void removeTrialFiles(const std::string &out, const std::string &name)
{
    std::error_code ignored;
    for (const char *suffix : {".png", "-path.csv", "-docking.log", "-vision.log"})
        std::filesystem::remove(out + "/" + name + suffix, ignored);
}

void summarise(const DockingRoom &room, const Group &group, const std::vector<Job> &jobs, const std::string &out)
{
    std::vector<double> times, lateral, heading;
    std::map<FailureCause, int> causes;
    std::vector<MapEntry> entries;
    int total = 0;
    for (const Job &j : jobs) {
        if (j.group != &group || !j.done || j.result.end == TrialEnd::Interrupted)
            continue;
        ++total;
        entries.push_back({j.start, j.cause});
        if (j.cause != FailureCause::None) {
            ++causes[j.cause];
            continue;
        }
        times.push_back(j.result.seconds);
        lateral.push_back(std::fabs(100.0 * j.result.offsets.lateral));
        heading.push_back(std::fabs(radToDeg(j.result.offsets.heading)));
    }
    if (total == 0)
        return;
    const int docked = static_cast<int>(times.size());
    const Interval ci = wilsonInterval(docked, total);
    std::printf("\n%s: %d %s\n", group.name, total, group.description);
    std::printf("  docked %d of %d: %.1f%% (95%% interval %.1f-%.1f%%)\n", docked, total, 100.0 * docked / total,
                100.0 * ci.low, 100.0 * ci.high);
    if (docked > 0) {
        std::printf("  time to dock: median %.1f s, 95th percentile %.1f s\n", percentile(times, 50),
                    percentile(times, 95));
        std::printf("  final |sideways| error: median %.1f cm, worst %.1f cm; |heading| error: median %.1f deg, "
                    "worst %.1f deg\n",
                    percentile(lateral, 50), percentile(lateral, 100), percentile(heading, 50),
                    percentile(heading, 100));
    }
    std::printf("  failures:");
    if (causes.empty())
        std::printf(" none");
    for (const auto &[cause, count] : causes)
        std::printf(" %s %d;", failureCauseName(cause), count);
    std::printf("\n");
    std::string error;
    const std::string map = out + "/map-" + group.name + ".png";
    if (writeSuccessMap(room, entries, map, &error))
        std::printf("  map: %s\n", map.c_str());
    else
        std::printf("  map not written: %s\n", error.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (const int status = parseOptions(argc, argv, o))
        return status < 0 ? 0 : status;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    setvbuf(stdout, nullptr, _IOLBF, 0);

    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    const std::string csvPath = o.out + "/trials.csv";
    std::unique_ptr<FILE, int (*)(FILE *)> csv(std::fopen(csvPath.c_str(), "w"), std::fclose);
    if (!csv) {
        std::fprintf(stderr, "dock_success: cannot write %s\n", csvPath.c_str());
        return 1;
    }
    std::fputs("trial,group,index,x,y,heading_deg,result,cause,seconds,docking_mode_at,lateral_cm,gap_cm,"
               "heading_err_deg,still_s,frames,frames_dropped,wall_s\n",
               csv.get());

    // Trials of the groups taken in turn, so that a study cut short still
    // covers every group alike.
    const DockingRoom room;
    std::vector<const Group *> chosen;
    for (const Group &g : kGroups)
        if (o.groups.empty() || std::find(o.groups.begin(), o.groups.end(), g.name) != o.groups.end())
            chosen.push_back(&g);
    std::vector<std::vector<Pose>> starts;
    for (const Group *g : chosen)
        starts.push_back(g->poses(room, o.trials, o.seed + g->seedOffset));
    std::vector<Job> jobs;
    for (int i = 0; i < o.trials; ++i)
        for (size_t g = 0; g < chosen.size(); ++g)
            jobs.push_back({chosen[g], i + 1, starts[g][static_cast<size_t>(i)], {}});

    std::printf("%zu trials, %d side by side at speed %g, %g simulated seconds each at most\n", jobs.size(), o.jobs,
                o.speed, o.timeLimit);
    std::printf("trial          start x    y  head  result                            time   sideways     gap"
                "    heading  speed\n");
    const auto began = std::chrono::steady_clock::now();
    std::atomic<size_t> next{0};
    std::mutex printing;
    const auto worker = [&] {
        for (size_t k = next++; k < jobs.size() && !interrupted; k = next++) {
            Job &job = jobs[k];
            TrialSetup setup;
            setup.start = job.start;
            setup.timeLimit = o.timeLimit;
            setup.outputDir = o.out;
            setup.name = trialName(job);
            setup.visionProgram = VISION_PROGRAM;
            setup.dockingProgram = DOCKING_PROGRAM;
            setup.progress = false;
            setup.seed = o.seed + static_cast<uint32_t>(k);
            setup.speed = o.speed;
            job.result = runTrial(setup, interrupted);
            job.cause = failureCause(job.result, room);
            if (job.cause == FailureCause::None)
                removeTrialFiles(o.out, setup.name);
            std::lock_guard<std::mutex> lock(printing);
            job.done = true;
            printRow(stdout, job);
            std::fflush(stdout);
            writeCsvRow(csv.get(), job);
        }
    };
    std::vector<std::thread> workers;
    for (int w = 0; w < o.jobs; ++w)
        workers.emplace_back(worker);
    for (std::thread &t : workers)
        t.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    double simulated = 0.0, trialWall = 0.0;
    long frames = 0, dropped = 0;
    int finished = 0;
    for (const Job &j : jobs)
        if (j.done) {
            ++finished;
            simulated += j.result.seconds;
            trialWall += j.result.wallSeconds;
            frames += j.result.framesWritten;
            dropped += j.result.framesDropped;
        }
    for (const Group *g : chosen)
        summarise(room, *g, jobs, o.out);
    std::printf("\n%d trials in %.0f s wall-clock time (%.1f min); %.0f simulated seconds: %.1f simulated seconds "
                "per wall-clock second over the study, %.1f per trial (speed %g, set-up included)\n",
                finished, wall, wall / 60.0, simulated, simulated / std::max(wall, 1e-9),
                simulated / std::max(trialWall, 1e-9), o.speed);
    std::printf("camera frames: %ld taken, %ld dropped (%.1f%%)\n", frames, dropped,
                100.0 * static_cast<double>(dropped) / std::max(1.0, static_cast<double>(frames + dropped)));
    std::printf("every trial in %s; pictures and logs of the failed ones in %s\n", csvPath.c_str(), o.out.c_str());
    return interrupted ? 130 : 0;
}
