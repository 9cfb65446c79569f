#include "robot/realtime.h"

#include <pthread.h>
#include <thread>

namespace dockworld {

bool runThisThreadAtRealTime()
{
    const sched_param param = trialRealTimeParam();
    return ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0;
}

bool realTimePermitted()
{
    bool permitted = false;
    std::thread probe([&permitted] { permitted = runThisThreadAtRealTime(); });
    probe.join();
    return permitted;
}

bool runsAtRealTime(pid_t pid)
{
    const int policy = ::sched_getscheduler(pid);
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

} // namespace dockworld
