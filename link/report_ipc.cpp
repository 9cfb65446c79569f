#include "report_ipc.h"

#include <cerrno>
#include <ctime>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

namespace {

// semctl's fourth argument; glibc leaves its definition to the caller.
union SemArgument {
    int val;
    semid_ds *buf;
    unsigned short *array;
};

const char *attachSegment(key_t key, ReportIpc &ipc)
{
    ipc.shmid = shmget(key, kReportBytes, IPC_CREAT | 0666);
    if (ipc.shmid == -1) return "shmget";
    void *address = shmat(ipc.shmid, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) return "shmat";
    ipc.data = static_cast<TargetReport *>(address);
    return nullptr;
}

} // namespace

const char *createReportIpc(const char *keyPath, ReportIpc &ipc)
{
    key_t key = ftok(keyPath, kReportKeyProject);
    if (key == -1) return "ftok";
    ipc.semid = semget(key, 1, IPC_CREAT | 0666);
    if (ipc.semid == -1) return "semget";
    SemArgument arg;
    arg.val = 1;
    if (semctl(ipc.semid, 0, SETVAL, arg) == -1) return "semctl";
    return attachSegment(key, ipc);
}

const char *openReportIpc(const char *keyPath, ReportIpc &ipc)
{
    key_t key = ftok(keyPath, kReportKeyProject);
    if (key == -1) return "ftok";
    ipc.semid = semget(key, 1, 0);
    if (ipc.semid == -1) return "semget";
    return attachSegment(key, ipc);
}

const char *semaphoreStep(int semid, int operation)
{
    sembuf sb{};
    sb.sem_num = 0;
    sb.sem_op = static_cast<short>(operation);
    sb.sem_flg = SEM_UNDO;
    return semop(semid, &sb, 1) == -1 ? "semop" : nullptr;
}

const char *semaphoreStepWithin(int semid, int operation, int milliseconds)
{
    sembuf sb{};
    sb.sem_num = 0;
    sb.sem_op = static_cast<short>(operation);
    sb.sem_flg = SEM_UNDO;
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left{deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) {
            left.tv_sec -= 1;
            left.tv_nsec += 1000000000L;
        }
        if (left.tv_sec < 0) left = timespec{0, 0};
        if (semtimedop(semid, &sb, 1, &left) == 0) return nullptr;
        if (errno != EINTR) return "semop";
    }
}

void writePositions(TargetReport &record, const TargetReport &positions)
{
    storeWord(record.ulRow, positions.ulRow);
    storeWord(record.ulCol, positions.ulCol);
    storeWord(record.urRow, positions.urRow);
    storeWord(record.urCol, positions.urCol);
    storeWord(record.mlRow, positions.mlRow);
    storeWord(record.mlCol, positions.mlCol);
    storeWord(record.mrRow, positions.mrRow);
    storeWord(record.mrCol, positions.mrCol);
    storeWord(record.llRow, positions.llRow);
    storeWord(record.llCol, positions.llCol);
    storeWord(record.lrRow, positions.lrRow);
    storeWord(record.lrCol, positions.lrCol);
    storeWord(record.newReport, 1);
}
