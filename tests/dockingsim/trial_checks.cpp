#include "trial_checks.h"

#include <dirent.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace dockingtest {

int processesMentioning(const std::string &text)
{
    int count = 0;
    DIR *proc = opendir("/proc");
    if (!proc)
        return -1;
    const std::string self = std::to_string(getpid());
    while (dirent *entry = readdir(proc)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos || name == self)
            continue;
        std::ifstream file("/proc/" + name + "/cmdline", std::ios::binary);
        const std::string cmdline((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (cmdline.find(text) != std::string::npos)
            ++count;
    }
    closedir(proc);
    return count;
}

} // namespace dockingtest
