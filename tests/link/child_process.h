// Running one side of the link in a child process of its own: each side keeps
// process-wide state and derives its key from "quorvantel" in the working
// directory, as the real programs do.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

#include "target_report.h"

namespace linktest {

// Forks; the child changes to `directory`, runs `body` and ends with its
// result as exit status (stdio flushed). Returns the child's pid.
pid_t startChild(const std::string &directory, const std::function<int()> &body);

// Waits for `pid`; returns its exit status, or 128 + signal number when a
// signal ended it, or -1 when waiting failed.
int waitChild(pid_t pid);

// startChild + waitChild.
int runChild(const std::string &directory, const std::function<int()> &body);

// Whether a semaphore set / segment exists for `key`.
bool semaphoreExists(key_t key);
bool segmentExists(key_t key);

// Removes whatever IPC objects exist for `key` (test clean-up).
void removeIpc(key_t key);

// A copy of the segment's record for `key`, read through an attachment of
// the test's own (all zero when there is no segment).
TargetReport readSegment(key_t key);

} // namespace linktest
