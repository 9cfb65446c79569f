// Whether the vision program's reports are still arriving, judged by the
// times at which the controller found newReport set. Positions older than
// half a second are not steered by; five seconds without a new report, counted
// from the robot's connection before the first, mean the vision program is
// gone or hung. Times are link_clock milliseconds. Safe to read from one
// thread while another notes.
#pragma once

#include <atomic>
#include <cstdint>

class ReportFreshness {
public:
    static constexpr int64_t kStaleAfterMs = 500;
    static constexpr int64_t kGoneAfterMs = 5000;

    // Starts the count of silence at `startMs` (the robot's connection):
    // until then nothing is silent.
    void start(int64_t startMs);
    // A new report was found at `nowMs`.
    void noteNewReport(int64_t nowMs);
    // A new report was found less than kStaleAfterMs before `nowMs`.
    bool fresh(int64_t nowMs) const;
    // No new report for kGoneAfterMs, counted from the later of the start
    // and the last report; never before start.
    bool silent(int64_t nowMs) const;

private:
    std::atomic<bool> counting_{false};
    std::atomic<int64_t> started_{0};
    std::atomic<int64_t> lastReport_{0};
    std::atomic<bool> seen_{false};
};
