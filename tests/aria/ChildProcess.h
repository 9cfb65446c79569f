// A program started by a test: its output is collected in the background,
// its input is a pipe or a pseudo-terminal.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace ariatest {

class ChildProcess {
public:
    enum class Input { Pipe, Terminal };

    // Starts `argv[0]` with the given arguments; stdout and stderr are
    // collected together.
    ChildProcess(const std::vector<std::string> &argv, Input input = Input::Pipe);
    // Kills the program if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Writes to the program's standard input (pipe or terminal).
    bool write(const std::string &text);
    void closeInput();
    // The terminal's master side (Input::Terminal), else -1.
    int terminal() const { return terminal_ ? inputFd_ : -1; }
    bool signal(int sig);
    // Waits for the end; the wait status, or -1 on timeout.
    int wait(std::chrono::milliseconds timeout);
    // Everything the program wrote so far.
    std::string output() const;
    // Waits until the output contains `text`.
    bool waitForOutput(const std::string &text, std::chrono::milliseconds timeout) const;
    // Waits for a line of output beginning with `prefix` that comes after the
    // first `skip` such lines; returns it (empty on timeout).
    std::string waitForLine(const std::string &prefix, size_t skip,
                            std::chrono::milliseconds timeout) const;
    size_t countLines(const std::string &prefix) const;

private:
    void readOutput();

    pid_t pid_ = -1;
    int inputFd_ = -1;
    bool terminal_ = false;
    int outputFd_ = -1;
    int status_ = -1;
    bool exited_ = false;
    std::thread reader_;
    mutable std::mutex mutex_;
    mutable std::condition_variable grew_;
    bool outputEnded_ = false; // the reader saw the end of the output
    std::string output_;
};

} // namespace ariatest
