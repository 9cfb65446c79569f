#include "report_monitor.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <ctime>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

namespace {

bool setRemoved(int error) { return error == EIDRM || error == EINVAL; }

// The program name of a process ("" once it has gone).
std::string programName(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%ld/comm", static_cast<long>(pid));
    FILE *comm = fopen(path, "r");
    if (!comm) return "";
    char name[64] = {};
    const bool read = fgets(name, sizeof name, comm) != nullptr;
    fclose(comm);
    if (!read) return "";
    name[strcspn(name, "\n")] = '\0';
    return name;
}

bool alive(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

} // namespace

ReportMonitor::~ReportMonitor()
{
    if (record_) shmdt(record_);
}

const char *ReportMonitor::open(const char *keyPath)
{
    const key_t key = ftok(keyPath, kReportKeyProject);
    if (key == -1) return "ftok";
    ipc_.semid = semget(key, 1, 0);
    if (ipc_.semid == -1) return "semget";
    // The segment must exist already: a bystander creates nothing.
    ipc_.shmid = shmget(key, kReportBytes, 0);
    if (ipc_.shmid == -1) return "shmget";
    void *address = shmat(ipc_.shmid, nullptr, SHM_RDONLY);
    if (address == reinterpret_cast<void *>(-1)) return "shmat";
    record_ = static_cast<const TargetReport *>(address);
    return nullptr;
}

ReportMonitor::Copy ReportMonitor::copy(TargetReport *report, int timeoutMs)
{
    sembuf take{0, -1, SEM_UNDO};
    timespec wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    while (semtimedop(ipc_.semid, &take, 1, &wait) == -1) {
        if (errno == EAGAIN) return Copy::kBusy;
        if (errno != EINTR) return Copy::kGone;
        return Copy::kBusy;  // a signal: let the caller look at it
    }
    *report = loadReport(*record_);
    sembuf give{0, +1, SEM_UNDO};
    if (semop(ipc_.semid, &give, 1) == -1) return Copy::kGone;
    copiedOnce_ = true;
    return Copy::kCopied;
}

bool ReportMonitor::pollPublication(bool *gone)
{
    const int lastUser = semctl(ipc_.semid, 0, GETPID);
    if (lastUser == -1) {
        if (setRemoved(errno)) *gone = true;
        return false;
    }
    // Before our first copy the last user may be a vision program that
    // published long ago.
    if (!copiedOnce_) return false;
    if (lastUser == getpid() || loadWord(record_->newReport) == 0) return false;
    if (lastUser != judgedPid_) {
        judgedPid_ = lastUser;
        const std::string name = programName(lastUser);
        judgedPublisher_ = !name.empty() && name != programName(getpid());
    }
    return judgedPublisher_ && alive(lastUser);
}
