#include "trials/controller_output.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <cstdlib>
#include <termios.h>
#include <unistd.h>

namespace dockworld {

ControllerOutput::~ControllerOutput() { close(); }

bool ControllerOutput::open(const std::string &logPath, std::string *error)
{
    // Both ends close-on-exec from the start: trials side by side start
    // programs from other threads, and a program that inherited this
    // terminal would keep it open after the controller ended.
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0 &&
        ::ptsname_r(master_, name, sizeof name) == 0)
        child_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (child_ < 0 || ::tcgetattr(child_, &settings) != 0) {
        if (error)
            *error = std::string("pseudo-terminal: ") + std::strerror(errno);
        close();
        return false;
    }
    cfmakeraw(&settings); // no echo, no line editing, no "\n" to "\r\n"
    ::tcsetattr(child_, TCSANOW, &settings);
    log_ = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log_ < 0) {
        if (error)
            *error = logPath + ": " + std::strerror(errno);
        close();
        return false;
    }
    return true;
}

void ControllerOutput::closeChildEnd()
{
    if (child_ >= 0)
        ::close(child_);
    child_ = -1;
}

void ControllerOutput::start()
{
    stopping_ = false;
    drained_ = false;
    thread_ = std::thread(&ControllerOutput::run, this);
}

void ControllerOutput::close()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    closeChildEnd();
    for (int *fd : {&master_, &log_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void ControllerOutput::takeLine(const std::string &line)
{
    if (line.find("== Wander Mode ==") != std::string::npos) {
        mode_ = DriveMode::Wander;
    } else if (line.find("== Docking Mode ==") != std::string::npos) {
        mode_ = DriveMode::Docking;
        dockingSeen_ = true;
    } else if (line.find("Robot arrivato alla stazione") != std::string::npos) {
        arrived_ = true;
    }
}

void ControllerOutput::run()
{
    std::string pending;
    char buffer[4096];
    while (true) {
        pollfd p{master_, POLLIN, 0};
        const int ready = ::poll(&p, 1, 50);
        if (ready == 0) {
            if (stopping_)
                break;
            continue;
        }
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // EIO: the controller and everything holding the terminal are gone
        if (log_ >= 0)
            (void)!::write(log_, buffer, static_cast<size_t>(n));
        pending.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            takeLine(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
    if (!pending.empty())
        takeLine(pending);
    drained_ = true;
}

bool ControllerOutput::waitDrained(double seconds) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!drained_ && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return drained_;
}

} // namespace dockworld
