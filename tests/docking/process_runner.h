// A program run by a test: standard output through a pseudo-terminal (so that
// the program's stdio is line-buffered as on a console) or, when asked,
// through a pipe; standard error through a pipe, standard input from a pipe
// the test writes to.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace dockingtest {

class RunningProgram {
public:
    // Starts `argv[0]` (a path) with `argv` in `directory`. With
    // `terminalInput`, standard input is the same terminal as standard output
    // (keys written by the test arrive as typed on a console). With
    // `outputPipe`, standard output is a pipe, as under a service manager.
    RunningProgram(const std::vector<std::string> &argv, const std::string &directory,
                   bool terminalInput = false, bool outputPipe = false);
    // Kills the program if it is still running.
    ~RunningProgram();
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Waits until standard output holds `text` after position `from`;
    // returns the position just past it, or std::string::npos on timeout.
    size_t waitForOutput(const std::string &text, std::chrono::milliseconds timeout,
                         size_t from = 0);
    // The same for standard error.
    size_t waitForErrors(const std::string &text, std::chrono::milliseconds timeout);
    // Everything written on standard output / standard error so far.
    std::string output();
    std::string errors();

    // Writes one line, or raw bytes, on the program's standard input.
    bool sendLine(const std::string &line);
    bool sendBytes(const std::string &bytes);
    void sendSignal(int signalNumber);

    // Waits for the end and for the last of its output; returns the exit
    // status, 128 + signal number, or -1 on timeout (the program is then
    // killed).
    int waitForExit(std::chrono::milliseconds timeout);

private:
    void collect(int fd, std::string &into);
    size_t waitFor(const std::string &stream, const std::string &text,
                   std::chrono::milliseconds timeout, size_t from);
    void joinReaders();

    pid_t pid_ = -1;
    int exit_status_ = -1;
    int stdin_fd_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string out_, err_;
    int open_streams_ = 0;
    std::thread out_reader_, err_reader_;
};

} // namespace dockingtest
