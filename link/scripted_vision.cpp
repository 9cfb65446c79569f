#include "scripted_vision.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char *call)
{
    throw std::runtime_error(std::string("ScriptedVision: ") + call + ": " + strerror(errno));
}

} // namespace

ScriptedVision::ScriptedVision(const std::string &directory, bool running)
    : key_path_(directory + "/" + kReportKeyPath)
{
    int fd = open(key_path_.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd == -1) fail("open");
    close(fd);
    if (const char *failed = createReportIpc(key_path_.c_str(), ipc_)) {
        int saved = errno;
        release();
        errno = saved;
        fail(failed);
    }
    if (running) setRunning(true);
}

ScriptedVision::~ScriptedVision()
{
    release();
}

void ScriptedVision::release()
{
    if (ipc_.data) shmdt(ipc_.data);
    ipc_.data = nullptr;
    removeSemaphore();
    if (ipc_.shmid != -1) shmctl(ipc_.shmid, IPC_RMID, nullptr);
    ipc_.shmid = -1;
}

bool ScriptedVision::publish(const TargetReport &positions)
{
    lock();
    writePositions(*ipc_.data, positions);
    bool running = loadWord(ipc_.data->running) != 0;
    unlock();
    return running;
}

bool ScriptedVision::publishWhileRunning(const TargetReport &positions)
{
    lock();
    bool running = loadWord(ipc_.data->running) != 0;
    if (running) writePositions(*ipc_.data, positions);
    unlock();
    return running;
}

TargetReport ScriptedVision::snapshot() const
{
    return loadReport(*ipc_.data);
}

bool ScriptedVision::running() const
{
    return loadWord(ipc_.data->running) != 0;
}

bool ScriptedVision::newReport() const
{
    return loadWord(ipc_.data->newReport) != 0;
}

void ScriptedVision::setRunning(bool running)
{
    storeWord(ipc_.data->running, running ? 1 : 0);
}

void ScriptedVision::lock()
{
    if (semaphoreStep(ipc_.semid, -1)) fail("semop");
}

void ScriptedVision::unlock()
{
    if (semaphoreStep(ipc_.semid, +1)) fail("semop");
}

int ScriptedVision::semaphoreValue() const
{
    if (ipc_.semid == -1) return -1;
    return semctl(ipc_.semid, 0, GETVAL);
}

void ScriptedVision::removeSemaphore()
{
    if (ipc_.semid != -1) semctl(ipc_.semid, 0, IPC_RMID);
    ipc_.semid = -1;
}

TargetReport makeReport(int ulRow, int ulCol, int urRow, int urCol, int mlRow, int mlCol,
                        int mrRow, int mrCol, int llRow, int llCol, int lrRow, int lrCol)
{
    return TargetReport{ulRow, ulCol, urRow, urCol, mlRow, mlCol, mrRow,
                        mrCol, llRow, llCol, lrRow, lrCol, 0,     0};
}

key_t makeKeyFile(const std::string &directory)
{
    std::string path = directory + "/" + kReportKeyPath;
    std::string fresh = path + ".new";
    for (int attempt = 0; attempt < 20; ++attempt) {
        // The old file stays until the rename, so the new one gets another
        // inode.
        int fd = open(fresh.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
        if (fd == -1) return -1;
        close(fd);
        if (rename(fresh.c_str(), path.c_str()) != 0) return -1;
        key_t key = ftok(path.c_str(), kReportKeyProject);
        if (key == -1) return -1;
        if (semget(key, 1, 0) == -1 && shmget(key, 0, 0) == -1) return key;
    }
    return -1;
}
