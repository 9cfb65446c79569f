// A program started by the trial runner, in its own process group (so that
// a Ctrl-C at the terminal reaches only the runner, which then stops its
// children in order), ended and reaped by its owner.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace dockworld {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess(); // kills and reaps a child that is still running
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Runs `argv[0]` (a path) with `argv` in directory `cwd`; its standard
    // output and error go to `stdoutFd` (or to `logPath`, appended, when
    // stdoutFd is negative). False with a message in `error` when it cannot
    // be started.
    bool start(const std::vector<std::string> &argv, const std::string &cwd, int stdoutFd,
               const std::string &logPath, std::string *error);
    // "NAME=value" entries added to (or replacing those in) the environment
    // the next start passes on.
    void setExtraEnvironment(std::vector<std::string> entries) { extraEnv_ = std::move(entries); }
    // The next start runs the program, and the threads it starts, at the
    // trial's real-time priority (robot/realtime.h) where the system permits
    // it, at ordinary priority where not.
    void setRealTime(bool on) { realTime_ = on; }

    pid_t pid() const { return pid_; }
    bool running();                  // not yet ended (reaps it when it has)
    int exitStatus() const { return status_; } // as from waitpid, once ended
    bool exitedNormally() const;
    int exitCode() const;

    // Sends `signal` to the child (nothing if it has ended).
    void signal(int signal);
    // Waits up to `seconds` for the child to end; true when it has.
    bool waitFor(double seconds);
    // SIGINT, then SIGTERM, then SIGKILL, each given `patience` seconds.
    void stop(double patience = 2.0);

private:
    std::vector<std::string> extraEnv_;
    bool realTime_ = false;
    pid_t pid_ = -1;
    bool ended_ = true;
    int status_ = 0;
};

} // namespace dockworld
