#include "robot/sim_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <semaphore.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace dockworld {

SimClock::SimClock(double speed) : speed_(std::max(1.0, speed)), origin_(std::chrono::steady_clock::now()) {}

SimClock::time_point SimClock::now() const
{
    const auto real = std::chrono::steady_clock::now() - origin_;
    if (speed_ == 1.0)
        return origin_ + real;
    return origin_ + std::chrono::duration_cast<duration>(std::chrono::duration<double>(real) * speed_);
}

double SimClock::seconds() const { return std::chrono::duration<double>(now() - origin_).count(); }

SimClock::duration SimClock::toReal(duration simulated) const
{
    return std::chrono::duration_cast<duration>(std::chrono::duration<double>(simulated) / speed_);
}

void SimClock::sleep(double simulated) const
{
    std::this_thread::sleep_for(std::chrono::duration<double>(simulated / speed_));
}

std::string fakeTimeLibrary()
{
    // Debian's package `faketime` (libfaketime); a path given in
    // DOCKINGSIM_FAKETIME_LIB wins.
    const char *given = std::getenv("DOCKINGSIM_FAKETIME_LIB");
    for (const char *path : {given, "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
                             "/usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1",
                             "/usr/lib/faketime/libfaketime.so.1", "/usr/local/lib/faketime/libfaketime.so.1"})
        if (path && *path && ::access(path, R_OK) == 0)
            return path;
    return "";
}

bool speedEnvironment(double speed, std::vector<std::string> &env, std::string *error)
{
    if (speed <= 1.0)
        return true;
    const std::string library = fakeTimeLibrary();
    if (library.empty()) {
        if (error)
            *error = "running faster than real time needs libfaketime (Debian package faketime)";
        return false;
    }
    std::string preload = library;
    if (const char *old = std::getenv("LD_PRELOAD"); old && *old)
        preload += std::string(":") + old;
    char rate[64];
    std::snprintf(rate, sizeof rate, "FAKETIME=+0 x%.6g", speed); // the programs keep the C locale
    env.push_back("LD_PRELOAD=" + preload);
    env.push_back(rate);
    env.push_back("FAKETIME_DONT_FAKE_MONOTONIC=0"); // the control loops time themselves on it
    env.push_back("NO_FAKE_STAT=1");                 // file times stay real
    // A sanitized program would refuse to start with another library
    // preloaded ahead of its runtime.
    std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
    if (const char *old = std::getenv("ASAN_OPTIONS"); old && *old)
        asan += std::string(":") + old;
    env.push_back(asan);
    return true;
}

void removeFakeTimeLeftovers(pid_t pid)
{
    char name[64];
    std::snprintf(name, sizeof name, "/faketime_shm_%ld", static_cast<long>(pid));
    ::shm_unlink(name);
    std::snprintf(name, sizeof name, "/faketime_sem_%ld", static_cast<long>(pid));
    ::sem_unlink(name);
}

} // namespace dockworld
