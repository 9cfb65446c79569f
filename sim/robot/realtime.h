// Real-time scheduling for the parts of a trial whose timing the study holds
// against a real robot's: the robot server (which stands in for the robot's
// own microcontroller) and the controller. Trials side by side share the
// cores with other trials' vision programs and renderers, and at speed N
// each millisecond a control pass waits for a core counts N.
#pragma once

#include <sched.h>
#include <sys/types.h>

namespace dockworld {

// SCHED_FIFO priority: above every ordinary program, low among real-time ones.
constexpr int kTrialRealTimePriority = 10;

// kTrialRealTimePriority as the scheduler takes it (also for a child between
// fork and exec).
inline sched_param trialRealTimeParam()
{
    sched_param param{};
    param.sched_priority = kTrialRealTimePriority;
    return param;
}

// Puts the calling thread at kTrialRealTimePriority; false, leaving it as it
// was, where the system does not permit it (no CAP_SYS_NICE, RLIMIT_RTPRIO 0).
bool runThisThreadAtRealTime();

// Whether runThisThreadAtRealTime() would succeed (tried on a thread of its own).
bool realTimePermitted();

// Whether process `pid` (its main thread) runs at a real-time policy.
bool runsAtRealTime(pid_t pid);

} // namespace dockworld
