#include "vision_link.h"

#include <cstdio>
#include <cstdlib>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

#include "report_ipc.h"

namespace vision_link {
namespace {

ReportIpc ipc;

void failIf(const char *failedCall)
{
    if (!failedCall) return;
    perror(failedCall);
    exit(1);
}

} // namespace

void initializeSemShm()
{
    failIf(createReportIpc(kReportKeyPath, ipc));
}

void lock()
{
    failIf(semaphoreStep(ipc.semid, -1));
}

void unlock()
{
    failIf(semaphoreStep(ipc.semid, +1));
}

void setRunning()
{
    storeWord(ipc.data->running, 1);
}

bool publishReport(const TargetReport &positions)
{
    lock();
    writePositions(*ipc.data, positions);
    bool keepRunning = loadWord(ipc.data->running) != 0;
    unlock();
    return keepRunning;
}

void shutdownSemShm()
{
    if (shmdt(ipc.data) == -1) failIf("shmdt");
    ipc.data = nullptr;
    // Nothing is left to do if the removal fails, so its result is not used.
    semctl(ipc.semid, 0, IPC_RMID, 1);
    ipc.semid = -1;
}

TargetReport *attachedReport()
{
    return ipc.data;
}

} // namespace vision_link
