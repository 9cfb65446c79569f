#include "trials/report_watch.h"

#include <cerrno>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

namespace dockworld {

key_t ReportWatch::key() const { return ::ftok(keyFile_.c_str(), kReportKeyProject); }

bool ReportWatch::visionReady() const
{
    const key_t k = key();
    return k != -1 && ::semget(k, 1, 0) != -1;
}

bool ReportWatch::attach()
{
    if (data_)
        return true;
    const key_t k = key();
    if (k == -1)
        return false;
    const int id = ::shmget(k, kReportBytes, 0);
    if (id == -1)
        return false;
    void *at = ::shmat(id, nullptr, SHM_RDONLY);
    if (at == reinterpret_cast<void *>(-1))
        return false;
    data_ = static_cast<const TargetReport *>(at);
    return true;
}

void ReportWatch::detach()
{
    if (data_)
        ::shmdt(data_);
    data_ = nullptr;
}

TargetReport ReportWatch::latest() const { return data_ ? loadReport(*data_) : TargetReport{}; }

int ReportWatch::markersSeen() const
{
    const TargetReport r = latest();
    const int32_t rows[6] = {r.ulRow, r.urRow, r.mlRow, r.mrRow, r.llRow, r.lrRow};
    int seen = 0;
    for (int32_t row : rows)
        seen += row != 0;
    return seen;
}

bool ReportWatch::removeIpc()
{
    detach();
    const key_t k = key();
    if (k == -1)
        return errno == ENOENT; // no key file: nothing can have been made with it
    bool clean = true;
    const int shmid = ::shmget(k, kReportBytes, 0);
    if (shmid != -1 && ::shmctl(shmid, IPC_RMID, nullptr) == -1)
        clean = false;
    const int semid = ::semget(k, 1, 0);
    if (semid != -1 && ::semctl(semid, 0, IPC_RMID) == -1)
        clean = false;
    return clean;
}

} // namespace dockworld
