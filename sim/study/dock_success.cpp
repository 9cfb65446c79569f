// Docking success in the simulated room, as a study: seeded random starts in
// four groups (facing the station; approaching it; anywhere in the room;
// beside it), each trial with 3 simulated minutes, run faster than real
// time and several side by side; a study can be cut into shards run
// anywhere and merged, swept over an imperfection's values, or compared
// with another run of the same starts (see sim/README.md).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "robot/realtime.h"
#include "study/study_merge.h"
#include "study/study_options.h"
#include "study/study_report.h"
#include "study/study_stats.h"
#include "trials/imperfect_world.h"
#include "trials/start_poses.h"
#include "trials/trial_runner.h"

using namespace dockworld;

namespace {

std::atomic<bool> interrupted{false};
void onSignal(int) { interrupted = true; }

void printRow(const TrialRecord &r, double speedAchieved)
{
    std::printf("%-16s %6.2f %5.2f %5.0f  %-31s %6.1f s %+6.1f cm %5.1f cm %+6.1f deg %5.1fx %5.0f %5.0f ms\n",
                r.name.c_str(), r.start.x, r.start.y, radToDeg(r.start.heading),
                r.interrupted ? "interrupted" : failureCauseName(r.cause), r.seconds, r.lateralCm, r.gapCm,
                r.headingErrDeg, speedAchieved, r.passP99Ms, r.reportAgeMedianMs);
    if (r.cause == FailureCause::SetUp)
        std::printf("  %s refused at set-up: %s\n", r.name.c_str(), r.note.c_str());
}

TrialRecord recordOf(const PlannedTrial &t, const TrialResult &r, FailureCause cause, const Imperfections &drawn)
{
    TrialRecord rec;
    rec.imperfections = describeImperfections(drawn);
    rec.position = t.position;
    rec.name = t.name;
    rec.group = t.group->name;
    rec.index = t.index;
    rec.sweepIndex = t.sweepIndex;
    rec.sweepValue = t.sweepValue;
    rec.start = t.start;
    rec.interrupted = r.end == TrialEnd::Interrupted;
    rec.docked = r.end == TrialEnd::Docked;
    rec.cause = rec.interrupted ? FailureCause::Other : cause;
    rec.seconds = r.seconds;
    rec.dockingModeAt = r.dockingModeAt;
    rec.lateralCm = 100.0 * r.offsets.lateral;
    rec.gapCm = 100.0 * r.offsets.gap;
    rec.headingErrDeg = radToDeg(r.offsets.heading);
    rec.stillFor = r.stillFor;
    rec.frames = r.framesWritten;
    rec.framesDropped = r.framesDropped;
    rec.wallSeconds = r.wallSeconds;
    rec.passMedianMs = r.timing.passMedianMs;
    rec.passP99Ms = r.timing.passP99Ms;
    rec.passWorstMs = r.timing.passWorstMs;
    rec.reportAgeMedianMs = r.timing.reportAgeMedianMs;
    rec.reportAgeP99Ms = r.timing.reportAgeP99Ms;
    if (r.end == TrialEnd::Failed)
        rec.note = r.error;
    return rec;
}

// A docked trial's picture and logs are not kept: hundreds of them say
// nothing the table does not.
void removeTrialFiles(const std::string &out, const std::string &name)
{
    std::error_code ignored;
    for (const char *suffix : {".png", "-path.csv", "-docking.log", "-vision.log", "-robot.csv"})
        std::filesystem::remove(out + "/" + name + suffix, ignored);
}

// The imperfections of a trial: the study's conditions, then its swept value.
Imperfections trialImperfections(const StudyDefinition &d, const PlannedTrial &t)
{
    Imperfections imp;
    std::string ignored; // checked when the options were read
    for (const std::string &c : d.conditions)
        applyCondition(imp, c, &ignored);
    if (!d.sweepName.empty())
        applyCondition(imp, d.sweepName + "=" + t.sweepValue, &ignored);
    return imp;
}

std::string sweepNameOf(const std::string &study)
{
    const size_t at = study.find(" sweep=");
    if (at == std::string::npos || study.compare(at + 7, 4, "none") == 0)
        return "";
    const size_t from = at + 7;
    return study.substr(from, study.find('=', from) - from);
}

int merge(const StudyOptions &o)
{
    std::vector<StudyRun> runs(o.mergeDirs.size());
    std::string error;
    for (size_t i = 0; i < runs.size(); ++i)
        if (!readStudyRun(o.mergeDirs[i], runs[i], &error)) {
            std::fprintf(stderr, "dock_success: %s\n", error.c_str());
            return 1;
        }
    std::vector<TrialRecord> merged;
    if (!mergeStudyRuns(runs, merged, &error)) {
        std::fprintf(stderr, "dock_success: %s\n", error.c_str());
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    const RunFile &run = runs.front().run;
    std::printf("merged %zu runs of the study %s: %zu of its %zu trials%s\n", runs.size(), run.study.c_str(),
                merged.size(), run.trialsInStudy,
                merged.size() == run.trialsInStudy ? "" : " (some shards are missing)");
    std::unique_ptr<FILE, int (*)(FILE *)> csv(std::fopen((o.out + "/trials.csv").c_str(), "w"), std::fclose);
    if (csv) {
        std::fprintf(csv.get(), "%s\n", trialCsvHeader());
        for (const TrialRecord &r : merged)
            std::fprintf(csv.get(), "%s\n", trialCsvRow(r).c_str());
    }
    printStudyReport(DockingRoom(), merged, sweepNameOf(run.study), o.out);
    return 0;
}

int compare(const StudyOptions &o)
{
    StudyRun a, b;
    std::string error;
    PairedOutcomes p;
    if (!readStudyRun(o.compareDirs[0], a, &error) || !readStudyRun(o.compareDirs[1], b, &error) ||
        !pairStudyRuns(a, b, p, &error)) {
        std::fprintf(stderr, "dock_success: %s\n", error.c_str());
        return 1;
    }
    const int n = p.both + p.onlyA + p.onlyB + p.neither;
    std::printf("A %s: %s\nB %s: %s\n", a.dir.c_str(), a.run.study.c_str(), b.dir.c_str(), b.run.study.c_str());
    std::printf("%d starts in both: docked in both %d, only in A %d, only in B %d, in neither %d\n", n, p.both,
                p.onlyA, p.onlyB, p.neither);
    std::printf("docked: A %d of %d (%.1f%%), B %d of %d (%.1f%%); McNemar's exact test: p = %.4g\n",
                p.both + p.onlyA, n, 100.0 * (p.both + p.onlyA) / n, p.both + p.onlyB, n,
                100.0 * (p.both + p.onlyB) / n, mcnemarExactP(p.onlyA, p.onlyB));
    for (const StudyRun *run : {&a, &b}) {
        std::vector<double> pass, age;
        for (const TrialRecord &r : run->records)
            if (!r.interrupted && std::isfinite(r.passP99Ms) && std::isfinite(r.reportAgeMedianMs)) {
                pass.push_back(r.passP99Ms);
                age.push_back(r.reportAgeMedianMs);
            }
        std::printf("%s: control-pass interval 99th percentile %.1f ms, frame-to-report age %.1f ms (medians over "
                    "the trials, simulated time)\n",
                    run == &a ? "A" : "B", percentile(pass, 50), percentile(age, 50));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    StudyOptions o;
    if (const int status = parseStudyOptions(argc, argv, o))
        return status < 0 ? 0 : status;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (!o.mergeDirs.empty())
        return merge(o);
    if (!o.compareDirs.empty())
        return compare(o);

    const DockingRoom room;
    const std::vector<PlannedTrial> plan = planStudy(room, o.study);
    std::vector<PlannedTrial> mine;
    for (const PlannedTrial &t : plan)
        if (inShard(t.position, o.shard))
            mine.push_back(t);
    if (o.listStarts) {
        for (const PlannedTrial &t : mine)
            std::printf("%zu %s %.4f %.4f %.3f\n", t.position, t.name.c_str(), t.start.x, t.start.y,
                        radToDeg(t.start.heading));
        return 0;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    std::string error;
    const RunFile run{describeStudy(o.study), o.shard, plan.size()};
    const std::string csvPath = o.out + "/trials.csv";
    std::unique_ptr<FILE, int (*)(FILE *)> csv(std::fopen(csvPath.c_str(), "w"), std::fclose);
    if (!csv || !writeRunFile(o.out, run, &error)) {
        std::fprintf(stderr, "dock_success: cannot write %s\n", csv ? error.c_str() : csvPath.c_str());
        return 1;
    }
    std::fprintf(csv.get(), "%s\n", trialCsvHeader());
    std::fflush(csv.get());

    // With the robot server and the controller ahead of the other trials'
    // vision and rendering, three trials side by side keep the control loop's
    // timing on two cores; without, two.
    const bool realTime = realTimePermitted();
    if (o.jobs == 0)
        o.jobs = realTime ? 3 : 2;
    std::printf("study %s\n", run.study.c_str());
    std::printf("shard %d/%d: %zu of its %zu trials, %d side by side\n", o.shard.k, o.shard.n, mine.size(),
                plan.size(), o.jobs);
    std::printf(realTime ? "robot server and controller at real-time priority\n"
                         : "robot server and controller at ordinary priority (real-time not permitted: needs "
                           "CAP_SYS_NICE or an RLIMIT_RTPRIO); their timing drifts sooner with more jobs\n");
    std::printf("starts sampled (this run's trials of each group):\n");
    for (const StudyGroup &g : studyGroups()) {
        std::vector<Pose> starts;
        for (const PlannedTrial &t : mine)
            if (t.group == &g && t.sweepIndex <= 1)
                starts.push_back(t.start);
        printSampledStarts(room.station(), g.name, starts);
    }
    std::printf("trial             start x    y  head  result                            time   sideways     gap"
                "    heading  speed  pass  report\n");
    std::printf("%112s\n", "p99  age");
    const auto began = std::chrono::steady_clock::now();
    std::atomic<size_t> next{0};
    std::mutex printing;
    const auto worker = [&] {
        for (size_t k = next++; k < mine.size() && !interrupted; k = next++) {
            const PlannedTrial &t = mine[k];
            TrialSetup setup;
            setup.start = t.start;
            setup.timeLimit = o.study.timeLimit;
            setup.outputDir = o.out;
            setup.name = t.name;
            setup.visionProgram = VISION_PROGRAM;
            setup.dockingProgram = DOCKING_PROGRAM;
            setup.progress = false;
            setup.seed = t.seed;
            setup.speed = o.study.speed;
            setup.realTime = realTime;
            setup.imperfections = trialImperfections(o.study, t);
            const TrialResult result = runTrial(setup, interrupted);
            // Told in the room this trial had (its station and lights).
            const Imperfections drawn = resolveImperfections(setup.imperfections, setup.seed);
            const FailureCause cause = failureCause(result, imperfectRoom(drawn, false));
            if (cause == FailureCause::None)
                removeTrialFiles(o.out, setup.name);
            std::lock_guard<std::mutex> lock(printing);
            const TrialRecord record = recordOf(t, result, cause, drawn);
            printRow(record, result.wallSeconds > 0.0 ? result.seconds / result.wallSeconds : 0.0);
            std::fprintf(csv.get(), "%s\n", trialCsvRow(record).c_str());
            std::fflush(csv.get());
        }
    };
    std::vector<std::thread> workers;
    for (int w = 0; w < o.jobs; ++w)
        workers.emplace_back(worker);
    for (std::thread &t : workers)
        t.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    // The figures from the rows as written, in the study's order: exactly
    // what a merge of this run with others reads.
    csv.reset();
    std::vector<TrialRecord> finished;
    if (!readTrialsCsv(o.out, finished, &error)) {
        std::fprintf(stderr, "dock_success: %s\n", error.c_str());
        return 1;
    }
    std::sort(finished.begin(), finished.end(),
              [](const TrialRecord &x, const TrialRecord &y) { return x.position < y.position; });
    double simulated = 0.0, trialWall = 0.0;
    long frames = 0, dropped = 0;
    for (const TrialRecord &r : finished) {
        simulated += r.seconds;
        trialWall += r.wallSeconds;
        frames += r.frames;
        dropped += r.framesDropped;
    }
    printStudyReport(room, finished, o.study.sweepName, o.out);
    std::printf("\n%zu trials in %.0f s wall-clock time (%.1f min); %.0f simulated seconds: %.1f simulated seconds "
                "per wall-clock second over the study, %.1f per trial (speed %g, set-up included)\n",
                finished.size(), wall, wall / 60.0, simulated, simulated / std::max(wall, 1e-9),
                simulated / std::max(trialWall, 1e-9), o.study.speed);
    std::printf("camera frames: %ld taken, %ld dropped (%.1f%%)\n", frames, dropped,
                100.0 * static_cast<double>(dropped) / std::max(1.0, static_cast<double>(frames + dropped)));
    std::printf("every trial in %s; pictures and logs of the failed ones in %s\n", csvPath.c_str(), o.out.c_str());
    return interrupted ? 130 : 0;
}
