#include "child_process.h"

#include <cstdio>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

namespace linktest {

pid_t startChild(const std::string &directory, const std::function<int()> &body)
{
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid != 0) return pid;
    int result = chdir(directory.c_str()) == 0 ? body() : 100;
    fflush(stdout);
    _exit(result);
}

int waitChild(pid_t pid)
{
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

int runChild(const std::string &directory, const std::function<int()> &body)
{
    return waitChild(startChild(directory, body));
}

bool semaphoreExists(key_t key)
{
    return semget(key, 1, 0) != -1;
}

bool segmentExists(key_t key)
{
    return shmget(key, 0, 0) != -1;
}

void removeIpc(key_t key)
{
    int semid = semget(key, 1, 0);
    if (semid != -1) semctl(semid, 0, IPC_RMID);
    int shmid = shmget(key, 0, 0);
    if (shmid != -1) shmctl(shmid, IPC_RMID, nullptr);
}

TargetReport readSegment(key_t key)
{
    TargetReport copy{};
    int shmid = shmget(key, 0, 0);
    if (shmid == -1) return copy;
    void *address = shmat(shmid, nullptr, SHM_RDONLY);
    if (address == reinterpret_cast<void *>(-1)) return copy;
    copy = loadReport(*static_cast<const TargetReport *>(address));
    shmdt(address);
    return copy;
}

} // namespace linktest
