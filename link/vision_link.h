// The vision program's side of the target report link. The process keeps one
// attachment; every failing system call is reported with perror and ends the
// process with status 1.
#pragma once

#include "target_report.h"

namespace vision_link {

// First thing in the vision program: creates or reuses the semaphore set and
// sets it to 1, creates or reuses the segment and attaches it. The key comes
// from the file "quorvantel" in the working directory.
void initializeSemShm();

// The semaphore lock and unlock.
void lock();
void unlock();

// Main loop preamble, once the camera is ready: sets the run flag without the
// lock (nobody else uses the record yet).
void setRunning();

// Publishes one frame: under the lock, copies words 0-11 of `positions`, sets
// newReport to 1 and reads the run flag. Returns false once the controller
// has cleared the flag; the caller then shuts down. Reading the flag before
// letting go of the lock means the controller's stop (which clears the flag
// under the lock) has released the lock before this side can remove the set.
bool publishReport(const TargetReport &positions);

// Last step of the vision shutdown (after the library shutdown and
// "Quitting!"): detaches the record and removes the semaphore set. The
// segment stays in the system with its last contents.
void shutdownSemShm();

// The attached record, or nullptr before initializeSemShm and after
// shutdownSemShm.
TargetReport *attachedReport();

} // namespace vision_link
