#include "trials/loop_timing.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "trials/report_watch.h"

namespace dockworld {

namespace {

double percentileOf(std::vector<double> v, double p)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const double rank = p / 100.0 * static_cast<double>(v.size() - 1);
    const size_t below = static_cast<size_t>(rank);
    const size_t above = std::min(below + 1, v.size() - 1);
    return v[below] + (rank - static_cast<double>(below)) * (v[above] - v[below]);
}

} // namespace

LoopTiming loopTiming(const std::vector<double> &commandTimes, const std::vector<double> &frameTimes,
                      const std::vector<double> &publishTimes)
{
    LoopTiming t;
    std::vector<double> intervals;
    double passStart = NAN;
    for (double at : commandTimes)
        if (std::isnan(passStart) || at - passStart >= kPassGap) {
            if (!std::isnan(passStart))
                intervals.push_back(1000.0 * (at - passStart));
            passStart = at;
        }
    t.passMedianMs = percentileOf(intervals, 50);
    t.passP99Ms = percentileOf(intervals, 99);
    t.passWorstMs = percentileOf(intervals, 100);
    std::vector<double> ages;
    for (double written : frameTimes) {
        const auto next = std::upper_bound(publishTimes.begin(), publishTimes.end(), written);
        if (next != publishTimes.end())
            ages.push_back(1000.0 * (*next - written));
    }
    t.reportAgeMedianMs = percentileOf(ages, 50);
    t.reportAgeP99Ms = percentileOf(ages, 99);
    return t;
}

PublishProbe::PublishProbe(std::string keyFile, Clock clock, double speed)
    : keyFile_(std::move(keyFile)), clock_(std::move(clock)), speed_(speed)
{
}

PublishProbe::~PublishProbe() { stop(); }

void PublishProbe::start() { thread_ = std::thread(&PublishProbe::run, this); }

std::vector<double> PublishProbe::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    return times_;
}

void PublishProbe::run()
{
    ReportWatch watch(keyFile_);
    TargetReport previous{};
    bool seen = false;
    const auto period = std::chrono::duration<double>(0.004 / speed_);
    while (!stopping_) {
        if (watch.attach()) {
            const TargetReport now = watch.latest();
            // The new-report word aside, a change of any word is a new report.
            TargetReport a = now, b = previous;
            a.newReport = b.newReport = 0;
            const bool changed = std::memcmp(&a, &b, sizeof a) != 0;
            if (now.newReport == 1 && (!seen || previous.newReport == 0 || changed) && times_.size() < 1200000)
                times_.push_back(clock_());
            previous = now;
            seen = true;
        }
        std::this_thread::sleep_for(period);
    }
}

} // namespace dockworld
