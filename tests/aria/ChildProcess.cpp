#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>

namespace ariatest {

ChildProcess::ChildProcess(const std::vector<std::string> &argv, Input input)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return;
    int in[2] = {-1, -1};
    int master = -1;
    std::string slaveName;
    if (input == Input::Pipe) {
        if (pipe2(in, O_CLOEXEC) != 0)
            return;
    } else {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slaveName = ptsname(master);
    }
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        // The child gets a group (and with a terminal a session) of its
        // own, so signals meant for the test runner's group miss it.
        int stdinFd;
        if (input == Input::Pipe) {
            setpgid(0, 0);
            stdinFd = in[0];
        } else {
            setsid();
            stdinFd = open(slaveName.c_str(), O_RDWR);
        }
        dup2(stdinFd, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    outputFd_ = out[0];
    if (input == Input::Pipe) {
        close(in[0]);
        inputFd_ = in[1];
    } else {
        inputFd_ = master;
        terminal_ = true;
    }
    reader_ = std::thread(&ChildProcess::readOutput, this);
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && wait(std::chrono::milliseconds(0)) == -1) {
        kill(pid_, SIGKILL);
        wait(std::chrono::milliseconds(5000));
    }
    if (inputFd_ >= 0)
        close(inputFd_);
    if (reader_.joinable())
        reader_.join();
    if (outputFd_ >= 0)
        close(outputFd_);
}

void ChildProcess::readOutput()
{
    char buf[1024];
    for (;;) {
        ssize_t n = read(outputFd_, buf, sizeof buf);
        if (n <= 0)
            break;
        std::lock_guard<std::mutex> lock(mutex_);
        output_.append(buf, static_cast<size_t>(n));
        grew_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    outputEnded_ = true;
    grew_.notify_all();
}

bool ChildProcess::write(const std::string &text)
{
    if (inputFd_ < 0)
        return false;
    return ::write(inputFd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void ChildProcess::closeInput()
{
    if (inputFd_ >= 0)
        close(inputFd_);
    inputFd_ = -1;
}

bool ChildProcess::signal(int sig) { return pid_ > 0 && !exited_ && kill(pid_, sig) == 0; }

int ChildProcess::wait(std::chrono::milliseconds timeout)
{
    if (exited_)
        return status_;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exited_ = true;
            status_ = status;
            // The reader thread may not have taken the last output yet.
            std::unique_lock<std::mutex> lock(mutex_);
            grew_.wait_for(lock, std::chrono::seconds(2), [this] { return outputEnded_; });
            return status;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        usleep(10000);
    }
}

std::string ChildProcess::output() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
}

bool ChildProcess::waitForOutput(const std::string &text, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return grew_.wait_for(lock, timeout,
                          [&] { return output_.find(text) != std::string::npos; });
}

namespace {

std::vector<std::string> linesWith(const std::string &text, const std::string &prefix)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line);
    return lines;
}

} // namespace

std::string ChildProcess::waitForLine(const std::string &prefix, size_t skip,
                                      std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    std::string found;
    grew_.wait_for(lock, timeout, [&] {
        // Only whole lines count.
        std::string whole = output_.substr(0, output_.rfind('\n') + 1);
        std::vector<std::string> lines = linesWith(whole, prefix);
        if (lines.size() <= skip)
            return false;
        found = lines[skip];
        return true;
    });
    return found;
}

size_t ChildProcess::countLines(const std::string &prefix) const
{
    std::string text = output();
    return linesWith(text.substr(0, text.rfind('\n') + 1), prefix).size();
}

} // namespace ariatest
