#include "trials/child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "robot/realtime.h"

extern char **environ;

namespace dockworld {

namespace {

// This process's environment with `extra` entries added or replacing those of
// the same name.
std::vector<std::string> environmentWith(const std::vector<std::string> &extra)
{
    std::vector<std::string> env;
    const auto name = [](const std::string &entry) { return entry.substr(0, entry.find('=')); };
    for (char **e = environ; e && *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string &x : extra)
            replaced = replaced || name(x) == name(entry);
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

} // namespace

ChildProcess::~ChildProcess()
{
    if (!ended_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
}

bool ChildProcess::start(const std::vector<std::string> &argv, const std::string &cwd, int stdoutFd,
                         const std::string &logPath, std::string *error)
{
    if (argv.empty())
        return false;
    int out = stdoutFd;
    if (out < 0) {
        out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (out < 0) {
            if (error)
                *error = logPath + ": " + std::strerror(errno);
            return false;
        }
    }
    // Everything the child needs is prepared before fork: only
    // async-signal-safe calls happen between fork and exec.
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envCopy = environmentWith(extraEnv_);
    std::vector<char *> env;
    for (std::string &e : envCopy)
        env.push_back(e.data());
    env.push_back(nullptr);
    int report[2]; // the child writes errno here if exec fails
    if (::pipe2(report, O_CLOEXEC) != 0) {
        if (stdoutFd < 0)
            ::close(out);
        if (error)
            *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const sched_param realTimeParam = trialRealTimeParam();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        if (realTime_)
            (void)::sched_setscheduler(0, SCHED_FIFO, &realTimeParam); // kept across exec
        ::close(report[0]);
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            ::dup2(devnull, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        int failure = 0;
        if (::chdir(cwd.c_str()) != 0) {
            failure = errno;
        } else {
            ::execve(args[0], args.data(), env.data());
            failure = errno;
        }
        (void)!::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(report[1]);
    if (stdoutFd < 0)
        ::close(out);
    if (pid < 0) {
        ::close(report[0]);
        if (error)
            *error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    pid_ = pid;
    ended_ = false;
    ::setpgid(pid, pid); // also from here, so that it holds before any signal is sent
    int failure = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        ::waitpid(pid_, &status_, 0);
        ended_ = true;
        if (error)
            *error = argv[0] + ": " + std::strerror(failure);
        return false;
    }
    return true;
}

bool ChildProcess::running()
{
    if (ended_)
        return false;
    const pid_t r = ::waitpid(pid_, &status_, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD))
        ended_ = true;
    return !ended_;
}

bool ChildProcess::exitedNormally() const { return ended_ && WIFEXITED(status_); }
int ChildProcess::exitCode() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

void ChildProcess::signal(int sig)
{
    if (running())
        ::kill(pid_, sig);
}

bool ChildProcess::waitFor(double seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (running()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void ChildProcess::stop(double patience)
{
    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        if (!running())
            return;
        ::kill(pid_, sig);
        if (waitFor(patience))
            return;
    }
}

} // namespace dockworld
