#include "controller_link.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <sys/shm.h>

#include "link_clock.h"
#include "report_freshness.h"
#include "report_ipc.h"

namespace controller_link {
namespace {

ReportIpc ipc;
// Set when sortOut starts, and once it has let go of the record.
std::atomic<bool> stopping{false};
std::atomic<bool> released{false};
// Set when the vision program is found gone: nobody is left to tell.
std::atomic<bool> abandoned{false};
ReportFreshness freshness;

// Lock order, the same everywhere: stopMutex, then the semaphore, then
// attachment. `attachment` guards only the mapping itself and is never held
// while waiting, so the robot's cycle thread reading words never waits on
// the semaphore. stopMutex is recursive so that a stop reached again from
// inside the stop (an exit path) returns instead of deadlocking.
std::recursive_mutex stopMutex;
std::mutex attachment;

volatile sig_atomic_t noted_signal = 0;

extern "C" void noteInterrupt(int signalNumber)
{
    noted_signal = signalNumber;
}

void failIf(const char *failedCall)
{
    if (!failedCall) return;
    perror(failedCall);
    exit(1);
}

void noteSignalUnlessIgnored(int signalNumber)
{
    struct sigaction previous {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    // Setting "ignore" first and looking at the old disposition keeps a
    // signal that the shell told us to ignore (nohup, background jobs)
    // ignored.
    sigaction(signalNumber, &ignore, &previous);
    if (previous.sa_handler == SIG_IGN) return;
    struct sigaction note {};
    note.sa_handler = noteInterrupt;
    sigemptyset(&note.sa_mask);
    sigaction(signalNumber, &note, nullptr);
}

bool isPositionWord(int32_t TargetReport::*word)
{
    static const TargetReport probe{};
    return &(probe.*word) < &probe.newReport;
}

// The control loop cannot go on: one line. With nobody left to tell, no
// stop request afterwards.
bool giveUp(const char *line, bool visionGone)
{
    if (visionGone) abandoned = true;
    puts(line);
    fflush(stdout);
    return false;
}

// A newReport left set before we attached (by a vision program killed since,
// perhaps) is no publication of ours to count.
void forgetEarlierReport()
{
    if (semaphoreStepWithin(ipc.semid, -1, kPassLockMs)) return; // busy: it is publishing
    {
        std::lock_guard<std::mutex> guard(attachment);
        storeWord(ipc.data->newReport, 0);
    }
    failIf(semaphoreStep(ipc.semid, +1));
}

} // namespace

void installInterruptHandlers()
{
    noteSignalUnlessIgnored(SIGINT);
    noteSignalUnlessIgnored(SIGTERM);
    noteSignalUnlessIgnored(SIGHUP);
}

int interruptSignal()
{
    return noted_signal;
}

void initializeSemShm()
{
    {
        std::lock_guard<std::mutex> guard(attachment);
        failIf(openReportIpc(kReportKeyPath, ipc));
    }
    forgetEarlierReport();
}

void startWatching()
{
    freshness.start(link_clock::nowMs());
}

int lock()
{
    if (!ipc.data) exit(0);
    if (!semaphoreStepWithin(ipc.semid, -1, kStopLockMs)) return 0;
    if (errno == EAGAIN) return -1;
    failIf("semop");
    return -1;
}

void unlock()
{
    failIf(semaphoreStep(ipc.semid, +1));
}

bool acknowledgeReport()
{
    if (stopping || abandoned) return true;
    if (semaphoreStepWithin(ipc.semid, -1, kPassLockMs)) {
        int error = errno;
        // The vision program removes its set once told to stop.
        if (stopping) return true;
        if (error == EIDRM || error == EINVAL)
            return giveUp("\nVision program gone (its semaphore set was removed): stopping the robot", true);
        if (error != EAGAIN) {
            errno = error;
            perror("semop");
            abandoned = true;
            return false;
        }
        // Held too long by the other side: no new report this pass.
    } else {
        {
            std::lock_guard<std::mutex> guard(attachment);
            if (ipc.data && loadWord(ipc.data->newReport) != 0) {
                storeWord(ipc.data->newReport, 0);
                freshness.noteNewReport(link_clock::nowMs());
            }
        }
        if (semaphoreStep(ipc.semid, +1) && !stopping) {
            perror("semop");
            abandoned = true;
            return false;
        }
    }
    if (freshness.silent(link_clock::nowMs()))
        return giveUp("\nVision program gone (no new report for 5 s): stopping the robot", false);
    return true;
}

bool readPositions(TargetReport *positions)
{
    *positions = TargetReport{};
    // One look at the clock for all twelve words.
    if (!freshness.fresh(link_clock::nowMs())) return false;
    std::lock_guard<std::mutex> guard(attachment);
    if (!ipc.data) return false;
    TargetReport copy = loadReport(*ipc.data);
    copy.newReport = 0;
    copy.running = 0;
    *positions = copy;
    return true;
}

int32_t readWord(int32_t TargetReport::*word)
{
    if (isPositionWord(word) && !freshness.fresh(link_clock::nowMs())) return 0;
    std::lock_guard<std::mutex> guard(attachment);
    if (!ipc.data) return 0;
    return loadWord(ipc.data->*word);
}

void sortOut(int /*signalNumber*/)
{
    std::lock_guard<std::recursive_mutex> stopGuard(stopMutex);
    if (stopping || abandoned) return;
    stopping = true;
    puts("\nInvio comando di terminazione processo di visione");
    bool held = lock() == 0;
    if (!held) {
        fflush(stdout);
        fprintf(stderr, "semop: the lock was not free within %d ms; run flag cleared without it\n",
                kStopLockMs);
    }
    {
        std::lock_guard<std::mutex> guard(attachment);
        storeWord(ipc.data->newReport, 0);
        storeWord(ipc.data->running, 0);
        if (shmdt(ipc.data) == -1) failIf("shmdt");
        ipc.data = nullptr;
        released = true;
    }
    if (held) unlock();
}

bool stopHasRun()
{
    return released;
}

} // namespace controller_link
