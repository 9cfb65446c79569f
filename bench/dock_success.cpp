// Docking success in the simulated room: 20 seeded random starts 1.5-4 m
// from the station, within 30 degrees of its centre line and facing it within
// 40 degrees, and 10 from anywhere in the room, each with 3 simulated minutes. Prints one line per trial, then the
// success rate, the median and worst time to dock and the final errors of
// each group. Trials run in real time (the controller's clock is the wall
// clock); --jobs runs several side by side.
//
//   dock_success [--jobs N] [--seed S] [--facing N] [--anywhere N] [--out DIR]
#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "start_poses.h"
#include "trial_runner.h"

using namespace dockworld;

namespace {

std::atomic<bool> interrupted{false};
void onSignal(int) { interrupted = true; }

struct Job {
    std::string group;
    int index;
    Pose start;
    TrialResult result;
};

double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

void summarise(const std::vector<Job> &jobs, const std::string &group)
{
    std::vector<double> times, lateral, heading;
    int total = 0, docked = 0;
    for (const Job &j : jobs) {
        if (j.group != group)
            continue;
        ++total;
        if (j.result.end != TrialEnd::Docked)
            continue;
        ++docked;
        times.push_back(j.result.seconds);
        lateral.push_back(std::fabs(100.0 * j.result.offsets.lateral));
        heading.push_back(std::fabs(radToDeg(j.result.offsets.heading)));
    }
    if (total == 0)
        return;
    std::printf("%-9s docked %2d of %2d (%3.0f%%)", group.c_str(), docked, total, 100.0 * docked / total);
    if (!times.empty())
        std::printf("  time median %5.1f s, worst %5.1f s  |lateral| median %.1f cm, worst %.1f cm"
                    "  |heading| median %.1f deg, worst %.1f deg",
                    median(times), *std::max_element(times.begin(), times.end()), median(lateral),
                    *std::max_element(lateral.begin(), lateral.end()), median(heading),
                    *std::max_element(heading.begin(), heading.end()));
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    int jobsAtOnce = 1, facing = 20, anywhere = 10;
    uint32_t seed = 2026;
    std::string out = "dock_success-out";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (a == "--jobs")
            jobsAtOnce = static_cast<int>(std::clamp(value, 1L, 8L));
        else if (a == "--seed")
            seed = static_cast<uint32_t>(value);
        else if (a == "--facing")
            facing = static_cast<int>(std::clamp(value, 0L, 500L));
        else if (a == "--anywhere")
            anywhere = static_cast<int>(std::clamp(value, 0L, 500L));
        else if (a == "--out")
            out = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: dock_success [--jobs N] [--seed S] [--facing N] [--anywhere N] [--out DIR]\n");
            return 2;
        }
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    const DockingRoom room;
    std::vector<Job> jobs;
    int n = 0;
    for (const Pose &p : posesFacingStation(room, facing, seed))
        jobs.push_back({"facing", ++n, p, {}});
    for (const Pose &p : posesAnywhere(room, anywhere, seed + 1))
        jobs.push_back({"anywhere", ++n, p, {}});

    std::printf("trial group      start x    y  heading  result                         time   lateral    gap  heading\n");
    std::atomic<size_t> next{0};
    std::mutex printing;
    const auto worker = [&] {
        for (size_t k = next++; k < jobs.size() && !interrupted; k = next++) {
            Job &job = jobs[k];
            TrialSetup setup;
            setup.start = job.start;
            setup.timeLimit = 180.0;
            setup.outputDir = out;
            char name[32];
            std::snprintf(name, sizeof name, "trial-%02d", job.index);
            setup.name = name;
            setup.visionProgram = VISION_PROGRAM;
            setup.dockingProgram = DOCKING_PROGRAM;
            setup.progress = false;
            setup.seed = seed + static_cast<uint32_t>(job.index);
            job.result = runTrial(setup, interrupted);
            const TrialResult &r = job.result;
            std::lock_guard<std::mutex> lock(printing);
            std::printf("%5d %-8s %6.2f %5.2f %6.0f   %-30s %5.1f s %+6.1f cm %5.1f cm %+5.1f deg%s\n", job.index,
                        job.group.c_str(), job.start.x, job.start.y, radToDeg(job.start.heading), trialEndName(r.end),
                        r.seconds, 100.0 * r.offsets.lateral, 100.0 * r.offsets.gap, radToDeg(r.offsets.heading),
                        r.cleanedUp ? "" : "  (clean-up incomplete)");
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> workers;
    for (int w = 0; w < jobsAtOnce; ++w)
        workers.emplace_back(worker);
    for (std::thread &t : workers)
        t.join();
    std::printf("\n");
    summarise(jobs, "facing");
    summarise(jobs, "anywhere");
    std::printf("pictures and logs in %s\n", out.c_str());
    return interrupted ? 130 : 0;
}
