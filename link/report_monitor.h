// A bystander's view of the report of a running vision program: attaches
// read-only and copies the record under the lock, but takes no part in the
// handshake (it never clears newReport or the run flag).
//
// Whether a report is fresh is judged without touching newReport: every
// publication is a semaphore operation of the vision program that leaves
// newReport at 1, while the controller's acknowledgement leaves it at 0 and
// a bystander's copy leaves the bystander's pid as the semaphore's last user.
// So a poll that finds newReport 1 and, as the last user, a live process that
// is neither us nor another copy of our own program (a second monitor beside
// us), after our own first copy, has seen a publication. A vision program
// that has died leaves its pid behind, which then names no live process.
// Polling every few milliseconds catches each publication before the
// controller's next acknowledgement (50 ms apart).
#pragma once

#include <sys/types.h>

#include "report_ipc.h"
#include "target_report.h"

class ReportMonitor {
public:
    ReportMonitor() = default;
    ~ReportMonitor();
    ReportMonitor(const ReportMonitor &) = delete;
    ReportMonitor &operator=(const ReportMonitor &) = delete;

    // Opens the vision program's semaphore set and attaches its segment
    // read-only. nullptr, or the name of the failing call ("ftok", "semget",
    // "shmget", "shmat") with errno set.
    const char *open(const char *keyPath);

    enum class Copy { kCopied, kBusy, kGone };
    // Copies the record under the lock, waiting at most timeoutMs for it.
    // kBusy when the lock stayed taken (nothing copied), kGone when the
    // semaphore set has been removed. The lock is taken with SEM_UNDO: if
    // this process dies while holding it, the system gives it back.
    Copy copy(TargetReport *report, int timeoutMs);

    // Looks for a publication since the last poll (see above). False when
    // none was seen; *gone becomes true once the semaphore set is removed.
    bool pollPublication(bool *gone);

private:
    ReportIpc ipc_;
    const TargetReport *record_ = nullptr;
    bool copiedOnce_ = false;
    // The last user judged, and whether it was a publisher.
    pid_t judgedPid_ = 0;
    bool judgedPublisher_ = false;
};
