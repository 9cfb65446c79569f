// The docking controller's side of the target report link, and its interrupt
// bookkeeping. Failing system calls are reported with perror and end the
// process with status 1.
//
// The record is read by the control loop and by the centering action in the
// robot's cycle thread, and the stop may run from ARIA's exit callbacks in yet
// another thread. Every access to the attachment therefore goes through this
// module, which serialises it with the stop: once sortOut has detached the
// record, reads give 0 and nothing touches the old mapping again.
#pragma once

// The controller's source includes only Aria.h and this header, so the
// standard pieces it uses (atomics for the values its two threads share,
// stdio for its messages) come in here.
#include <atomic>
#include <cstdint>
#include <cstdio>

#include "target_report.h"

namespace controller_link {

// First start-up step: SIGINT, SIGTERM and SIGHUP only note a stop request
// from now on (each keeps an inherited "ignore"). The handler does nothing
// but store the signal number; ARIA's own signal handling takes the signals
// over when Aria::init runs.
void installInterruptHandlers();

// The signal number noted by the handler, or 0 when none arrived.
int interruptSignal();

// Opens the vision program's semaphore set ("semget" and status 1 when the
// vision program has not created it) and attaches the record. The key comes
// from the file "quorvantel" in the working directory. A newReport found set
// here is cleared (when the lock is free within kPassLockMs): only reports
// published after the attachment count as new, so the last report of a
// vision program that was killed is never steered by.
void initializeSemShm();

// The robot is connected: the five seconds without a new report after which
// the vision program counts as gone are counted from now.
void startWatching();

// The semaphore lock: ends the process with status 0, silently, when no
// record is attached (an interrupt during start-up ends the controller this
// way). Waits at most kStopLockMs; returns 0 when taken, -1 when the time
// ran out (the lock is then not held). Other failures end the process.
int lock();
void unlock();

// How long the stop waits for the lock, and a control pass.
constexpr int kStopLockMs = 1000;
constexpr int kPassLockMs = 200;

// Control-loop step: under the semaphore (waiting at most kPassLockMs),
// resets newReport when it is set and notes the arrival of a new report.
// Returns false when the controller cannot go on, after one line that says
// why: the vision program is gone (its semaphore set removed) or the lock
// failed, and sortOut does nothing from then on (nobody is left to tell);
// or no new report came for five seconds since startWatching, and sortOut
// still tells the hung vision program to stop. True otherwise, also once the
// record has been let go.
bool acknowledgeReport();

// The twelve position words as one reading: true when the reports are fresh
// (a new report within the last 500 ms); otherwise every position is 0 and
// the result is false, so that stale markers never pass for markers seen or
// for markers that have left the picture. newReport and running read 0.
bool readPositions(TargetReport *positions);

// One word of the record, read whole without the semaphore; 0 once the
// record has been let go (or before it was attached). Position words (0-11)
// also read 0 while the reports are stale.
int32_t readWord(int32_t TargetReport::*word);

// Tells the vision program to stop: prints the notice, clears newReport and
// the run flag under the semaphore and detaches the record. When the lock is
// not free within kStopLockMs (a vision program hung while holding it), the
// two words are cleared without it, after one line on standard error. Runs
// once; later calls, from any thread, return at once. The argument is the signal number
// (0 when called directly) and is not used.
void sortOut(int signalNumber);

// True once sortOut has let go of the record.
bool stopHasRun();

} // namespace controller_link
