#include "study/study_report.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "study/drawn_effects.h"
#include "study/study_stats.h"
#include "study/success_map.h"
#include "trials/start_poses.h"

namespace dockworld {

// Measured at speed 1, medians over 4 trials (see sim/README.md, "Speed
// stays honest").
const SpeedReference kRealTimeReference{50.1, 68.9, 3.2};

namespace {

void printSpread(const char *what, const char *unit, const std::vector<double> &v)
{
    std::printf("    %-26s median %6.2f, 5-95%% %6.2f-%6.2f, all %6.2f-%6.2f %s\n", what, percentile(v, 50),
                percentile(v, 5), percentile(v, 95), percentile(v, 0), percentile(v, 100), unit);
}

// The trials of one group at one swept value, not cut short.
std::vector<const TrialRecord *> select(const std::vector<TrialRecord> &records, const std::string &group, int sweep)
{
    std::vector<const TrialRecord *> chosen;
    for (const TrialRecord &r : records)
        if (r.group == group && r.sweepIndex == sweep && !r.interrupted)
            chosen.push_back(&r);
    return chosen;
}

void summariseGroup(const DockingRoom &room, const StudyGroup &group, const std::vector<const TrialRecord *> &trials,
                    const std::string &label, const std::string &out)
{
    std::vector<double> times, lateral, heading;
    std::map<FailureCause, int> causes;
    std::vector<MapEntry> entries;
    std::vector<Pose> starts;
    for (const TrialRecord *t : trials) {
        entries.push_back({t->start, t->docked ? FailureCause::None : t->cause});
        starts.push_back(t->start);
        if (!t->docked) {
            ++causes[t->cause];
            continue;
        }
        times.push_back(t->seconds);
        lateral.push_back(std::fabs(t->lateralCm));
        heading.push_back(std::fabs(t->headingErrDeg));
    }
    const int total = static_cast<int>(trials.size());
    const int docked = static_cast<int>(times.size());
    const Interval ci = wilsonInterval(docked, total);
    std::printf("\n%s%s: %d %s\n", group.name, label.c_str(), total, group.description);
    printSampledStarts(room.station(), "", starts);
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
    for (const TrialRecord *t : trials)
        if (t->cause == FailureCause::SetUp)
            std::printf("  %s refused at set-up: %s\n", t->name.c_str(), t->note.c_str());
    char title[160];
    std::snprintf(title, sizeof title, "%s%s: docked %d of %d, %.1f%% (95%% %.1f-%.1f%%)", group.name,
                  label.c_str(), docked, total, 100.0 * docked / total, 100.0 * ci.low, 100.0 * ci.high);
    std::string suffix = label.empty() ? "" : "-v" + std::to_string(trials.front()->sweepIndex);
    std::string error;
    const std::string map = out + "/map-" + group.name + suffix + ".png";
    if (writeSuccessMap(room, entries, map, title, &error))
        std::printf("  map: %s\n", map.c_str());
    else
        std::printf("  map not written: %s\n", error.c_str());
}

void printToleranceTable(const std::vector<TrialRecord> &records, const std::string &sweepName)
{
    std::map<int, std::string> values;
    for (const TrialRecord &r : records)
        values[r.sweepIndex] = r.sweepValue;
    std::printf("\ntolerance: success against %s\n  %-12s", sweepName.c_str(), sweepName.c_str());
    std::vector<const StudyGroup *> groups;
    for (const StudyGroup &g : studyGroups())
        for (const TrialRecord &r : records)
            if (r.group == g.name) {
                groups.push_back(&g);
                std::printf("  %-30s", g.name);
                break;
            }
    std::printf("  %s\n", "all");
    for (const auto &[sweep, value] : values) {
        std::printf("  %-12s", value.c_str());
        int allDocked = 0, allTotal = 0;
        for (const StudyGroup *g : groups) {
            int docked = 0, total = 0;
            for (const TrialRecord *t : select(records, g->name, sweep)) {
                ++total;
                docked += t->docked ? 1 : 0;
            }
            allDocked += docked;
            allTotal += total;
            const Interval ci = wilsonInterval(docked, total);
            char cell[64];
            std::snprintf(cell, sizeof cell, "%d/%d %.1f%% (%.1f-%.1f%%)", docked, total,
                          total ? 100.0 * docked / total : 0.0, 100.0 * ci.low, 100.0 * ci.high);
            std::printf("  %-30s", cell);
        }
        const Interval ci = wilsonInterval(allDocked, allTotal);
        std::printf("  %d/%d %.1f%% (%.1f-%.1f%%)\n", allDocked, allTotal, allTotal ? 100.0 * allDocked / allTotal : 0.0,
                    100.0 * ci.low, 100.0 * ci.high);
    }
}

void timingLine(const char *what, std::vector<double> values, double reference)
{
    std::vector<double> measured;
    for (double v : values)
        if (std::isfinite(v))
            measured.push_back(v);
    if (measured.empty()) {
        std::printf("  %s: not measured\n", what);
        return;
    }
    const double median = percentile(measured, 50);
    const double drift = median / reference - 1.0;
    std::printf("  %s: median over the trials %.1f ms, at speed 1 %.1f ms (%+.0f%%)\n", what, median, reference,
                100.0 * drift);
    if (std::fabs(drift) > 0.10)
        std::printf("warning: %s drifts %+.0f%% from its value at speed 1: the loop's timing is not that of a "
                    "real robot (slower speed or fewer jobs)\n",
                    what, 100.0 * drift);
}

} // namespace

void printSampledStarts(const Station &station, const std::string &group, const std::vector<Pose> &starts)
{
    if (starts.empty())
        return;
    std::vector<double> distance, bearing, heading;
    for (const Pose &p : starts) {
        const StartPlace place = startPlace(station, p);
        distance.push_back(place.distance);
        bearing.push_back(place.bearingDeg);
        heading.push_back(place.headingOffDeg);
    }
    if (!group.empty())
        std::printf("%s: %zu starts sampled\n", group.c_str(), starts.size());
    printSpread("distance from the plate", "m", distance);
    printSpread("bearing off the centre line", "deg", bearing);
    printSpread("heading off the station", "deg", heading);
}

void printStudyReport(const DockingRoom &room, const std::vector<TrialRecord> &records, const std::string &sweepName,
                      const std::string &out)
{
    std::map<int, std::string> sweeps;
    for (const TrialRecord &r : records)
        sweeps[r.sweepIndex] = r.sweepValue;
    for (const auto &[sweep, value] : sweeps)
        for (const StudyGroup &g : studyGroups()) {
            const std::vector<const TrialRecord *> trials = select(records, g.name, sweep);
            if (!trials.empty())
                summariseGroup(room, g, trials, sweep > 0 ? " at " + sweepName + "=" + value : "", out);
        }
    if (!sweepName.empty())
        printToleranceTable(records, sweepName);
    printDrawnEffects(records);

    std::vector<double> passMedian, passP99, age;
    for (const TrialRecord &r : records)
        if (!r.interrupted) {
            passMedian.push_back(r.passMedianMs);
            passP99.push_back(r.passP99Ms);
            age.push_back(r.reportAgeMedianMs);
        }
    std::printf("\ntiming in simulated time:\n");
    timingLine("control-pass interval, median", passMedian, kRealTimeReference.passMedianMs);
    timingLine("control-pass interval, 99th percentile", passP99, kRealTimeReference.passP99Ms);
    timingLine("frame-to-report age, median", age, kRealTimeReference.reportAgeMedianMs);
}

} // namespace dockworld
