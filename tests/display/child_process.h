// A program started by a test, with its standard output on a pipe.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kxtest {

class ChildProcess {
public:
    // Runs `argv` (argv[0] is the program's path) in the test's environment.
    explicit ChildProcess(const std::vector<std::string> &argv);
    // Kills the program if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    pid_t pid() const { return pid_; }
    // The next line of output without its line end; false on end of output
    // or when none comes within timeoutMs.
    bool readLine(std::string *line, int timeoutMs = 10000);
    // Reads lines until one equals `wanted`.
    bool waitForLine(const std::string &wanted, int timeoutMs = 10000);
    // Exit status, or -1 when the program did not exit normally.
    int wait();
    // As wait(), but -2 when the program is still running after timeoutMs.
    int waitFor(int timeoutMs);

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string pending_;
    bool reaped_ = false;
};

} // namespace kxtest
