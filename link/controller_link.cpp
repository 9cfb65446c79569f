#include "controller_link.h"

#include <csignal>
#include <cstdlib>
#include <mutex>
#include <sys/shm.h>

#include "report_ipc.h"

namespace controller_link {
namespace {

ReportIpc ipc;
bool stopped = false;
// Serialises every use of the attachment with the stop. Recursive so that a
// stop reached again from inside the stop (an exit path) returns instead of
// deadlocking.
std::recursive_mutex attachment;

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
    std::lock_guard<std::recursive_mutex> guard(attachment);
    failIf(openReportIpc(kReportKeyPath, ipc));
}

void lock()
{
    if (!ipc.data) exit(0);
    failIf(semaphoreStep(ipc.semid, -1));
}

void unlock()
{
    failIf(semaphoreStep(ipc.semid, +1));
}

void acknowledgeReport()
{
    std::lock_guard<std::recursive_mutex> guard(attachment);
    if (!ipc.data) return;
    lock();
    if (loadWord(ipc.data->newReport) != 0) storeWord(ipc.data->newReport, 0);
    unlock();
}

int32_t readWord(int32_t TargetReport::*word)
{
    std::lock_guard<std::recursive_mutex> guard(attachment);
    if (!ipc.data) return 0;
    return loadWord(ipc.data->*word);
}

void sortOut(int /*signalNumber*/)
{
    std::lock_guard<std::recursive_mutex> guard(attachment);
    if (stopped) return;
    stopped = true;
    puts("\nInvio comando di terminazione processo di visione");
    lock();
    storeWord(ipc.data->newReport, 0);
    storeWord(ipc.data->running, 0);
    if (shmdt(ipc.data) == -1) failIf("shmdt");
    ipc.data = nullptr;
    unlock();
}

bool stopHasRun()
{
    std::lock_guard<std::recursive_mutex> guard(attachment);
    return stopped;
}

} // namespace controller_link
