#include "camera_user.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kVisionProgramName = "quorvantel";

bool isNumber(const char *name)
{
    if (!*name) return false;
    for (; *name; ++name)
        if (!isdigit(static_cast<unsigned char>(*name))) return false;
    return true;
}

bool isVisionProgram(const std::string &processDir)
{
    FILE *comm = fopen((processDir + "/comm").c_str(), "r");
    if (!comm) return false;
    char name[64] = {};
    const bool read = fgets(name, sizeof name, comm) != nullptr;
    fclose(comm);
    if (!read) return false;
    name[strcspn(name, "\n")] = '\0';
    return strcmp(name, kVisionProgramName) == 0;
}

bool holdsFile(const std::string &processDir, const struct stat &wanted)
{
    const std::string fdDir = processDir + "/fd";
    DIR *fds = opendir(fdDir.c_str());
    if (!fds) return false;  // another user's process, or gone meanwhile
    bool found = false;
    while (const dirent *entry = readdir(fds)) {
        if (!isNumber(entry->d_name)) continue;
        struct stat held {};
        // stat follows the descriptor's link to the open file itself.
        if (stat((fdDir + "/" + entry->d_name).c_str(), &held) == 0 && held.st_dev == wanted.st_dev &&
            held.st_ino == wanted.st_ino) {
            found = true;
            break;
        }
    }
    closedir(fds);
    return found;
}

} // namespace

pid_t visionProgramHolding(const char *path)
{
    struct stat wanted {};
    if (!path || stat(path, &wanted) != 0) return 0;
    DIR *proc = opendir("/proc");
    if (!proc) return 0;
    const pid_t self = getpid();
    pid_t holder = 0;
    while (const dirent *entry = readdir(proc)) {
        if (!isNumber(entry->d_name)) continue;
        const pid_t pid = static_cast<pid_t>(atol(entry->d_name));
        if (pid == self) continue;
        const std::string processDir = std::string("/proc/") + entry->d_name;
        if (isVisionProgram(processDir) && holdsFile(processDir, wanted)) {
            holder = pid;
            break;
        }
    }
    closedir(proc);
    return holder;
}
