// dockmon: watches the report of the vision program running in this
// directory, ten times a second, as the docking controller would read it,
// without taking part in the handshake.
//
//   dockmon
//
// Each line: seconds since start, whether the report is fresh (a new report
// within the last 0.5 s), stale, or locked (the lock stayed taken), then
//   UL r,c UR r,c ML r,c MR r,c LL r,c LR r,c distance D target T heading H
// A stale report is shown as the controller reads it: no markers.
// It ends on Ctrl-C, or when the vision program has gone: its semaphore set
// removed, or no new report for 5 s.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "report_line.h"
#include "report_meaning.h"
#include "report_monitor.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollPeriod = std::chrono::milliseconds(5);
constexpr auto kPrintPeriod = std::chrono::milliseconds(100);
// The controller's own rules: markers older than this count as not seen, and
// no report for the longer time means the vision program is gone.
constexpr auto kFreshFor = std::chrono::milliseconds(500);
constexpr auto kGoneAfter = std::chrono::seconds(5);
constexpr int kLockWaitMs = 200;

volatile sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int) { stopRequested = 1; }

void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc > 1) {
        const bool help = !strcmp(argv[1], "-h") || !strcmp(argv[1], "--help");
        fputs("usage: dockmon  (in the vision program's working directory; Ctrl-C ends it)\n",
              help ? stdout : stderr);
        return help ? 0 : 2;
    }
    ReportMonitor monitor;
    if (const char *failed = monitor.open(kReportKeyPath)) {
        const int error = errno;
        fprintf(stderr, "dockmon: no vision program runs in this directory (%s: %s)\n", failed,
                strerror(error));
        return 1;
    }
    catchStopSignals();

    report_meaning::ControllerReading reading;
    TargetReport report{};
    const Clock::time_point start = Clock::now();
    Clock::time_point lastPublication = start;
    bool everPublished = false;
    Clock::time_point nextPrint = start;
    while (!stopRequested) {
        const Clock::time_point now = Clock::now();
        bool gone = false;
        if (monitor.pollPublication(&gone)) {
            lastPublication = now;
            everPublished = true;
        }
        ReportMonitor::Copy copied = ReportMonitor::Copy::kBusy;
        if (!gone && now >= nextPrint) {
            copied = monitor.copy(&report, kLockWaitMs);
            gone = copied == ReportMonitor::Copy::kGone;
        }
        if (gone || now - lastPublication >= kGoneAfter) {
            printf("dockmon: the vision program has gone (%s)\n",
                   gone ? "its semaphore set was removed" : "no new report for 5 s");
            return 0;
        }
        if (now >= nextPrint && !stopRequested) {
            const bool fresh = everPublished && now - lastPublication < kFreshFor;
            if (copied == ReportMonitor::Copy::kCopied) {
                if (!fresh) report = TargetReport{};
                reading.next(report);
            }
            const char *state = copied == ReportMonitor::Copy::kBusy ? "locked" : fresh ? "fresh" : "stale";
            const double seconds = std::chrono::duration<double>(now - start).count();
            printf("%.1f s %s %s\n", seconds, state, reportLine(report, reading).c_str());
            nextPrint += kPrintPeriod;
            if (nextPrint < now) nextPrint = now + kPrintPeriod;
        }
        std::this_thread::sleep_for(kPollPeriod);
    }
    return 0;
}
