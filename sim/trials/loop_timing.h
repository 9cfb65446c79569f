// The docking loop's timing in simulated time, which at speed N must stay
// what it is at speed 1 for a trial to stand for a real robot: the interval
// between the controller's passes (seen as the robot receives its
// commands) and the age of a report when it is published (from the write
// of the frame it answers).
#pragma once

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace dockworld {

// Milliseconds of simulated time; NaN where nothing was measured.
struct LoopTiming {
    double passMedianMs = NAN, passP99Ms = NAN, passWorstMs = NAN;
    double reportAgeMedianMs = NAN, reportAgeP99Ms = NAN;
};

// Arrivals closer than this to the first of a pass belong to that pass
// (the robot layer sends a pass's commands back to back).
constexpr double kPassGap = 0.02; // s

// From arrival times of the controller's packets, the times frames were
// written and the times reports were published (seconds of one clock,
// each ascending): the interval between passes, and for each frame the
// time to the first publication after it.
LoopTiming loopTiming(const std::vector<double> &commandTimes, const std::vector<double> &frameTimes,
                      const std::vector<double> &publishTimes);

// Watches the vision program's record on a thread of its own (every 4
// simulated milliseconds) and notes when a new report appears: its
// new-report word set again after the controller cleared it, or its words
// changed.
class PublishProbe {
public:
    using Clock = std::function<double()>; // simulated seconds
    PublishProbe(std::string keyFile, Clock clock, double speed);
    ~PublishProbe();
    PublishProbe(const PublishProbe &) = delete;
    PublishProbe &operator=(const PublishProbe &) = delete;
    void start();
    // Stops the thread; the publication times seen.
    std::vector<double> stop();

private:
    void run();
    std::string keyFile_;
    Clock clock_;
    double speed_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::vector<double> times_; // the thread's until it is joined
};

} // namespace dockworld
