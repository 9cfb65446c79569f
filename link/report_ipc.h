// System V primitives shared by the two sides of the link and the scripted
// vision side used in tests. Nothing here ends the process: every function
// returns the name of the failing system call (for perror) or nullptr.
#pragma once

#include <sys/types.h>

#include "target_report.h"

struct ReportIpc {
    int semid = -1;
    int shmid = -1;
    TargetReport *data = nullptr;
};

// Vision side: creates or opens the one-semaphore set and sets it to 1 (also
// when an earlier, killed vision process left it at 0), creates or opens the
// 56-byte segment (0666) and attaches it read-write.
const char *createReportIpc(const char *keyPath, ReportIpc &ipc);

// Controller side: opens the existing semaphore set (fails with "semget" if
// the vision program has not created it), opens or creates the segment and
// attaches it.
const char *openReportIpc(const char *keyPath, ReportIpc &ipc);

// One blocking semop on semaphore 0: -1 takes the lock, +1 releases it.
// Returns "semop" on failure. SEM_UNDO: a process that dies holding the lock
// (killed between its lock and unlock) gives it back as it goes, so the
// other side never waits on a lock nobody will release.
const char *semaphoreStep(int semid, int operation);

// The same, waiting at most `milliseconds` (semtimedop; interruptions do not
// end the wait early). Returns nullptr when done, or "semop" with errno
// EAGAIN when the time ran out, EIDRM or EINVAL when the set is gone, or the
// call's other error.
const char *semaphoreStepWithin(int semid, int operation, int milliseconds);

// Copies words 0-11 of `positions` into the record and sets newReport to 1;
// the run flag is left alone. Call with the lock held.
void writePositions(TargetReport &record, const TargetReport &positions);
