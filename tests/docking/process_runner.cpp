#include "process_runner.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace dockingtest {

RunningProgram::RunningProgram(const std::vector<std::string> &argv, const std::string &directory,
                               bool terminalInput, bool outputPipe)
{
    // A program that has ended closes its input; writing to it must fail,
    // not end the test.
    signal(SIGPIPE, SIG_IGN);
    int out_master = -1, out_slave = -1;
    int err_pipe[2] = {-1, -1}, in_pipe[2] = {-1, -1};
    if (openpty(&out_master, &out_slave, nullptr, nullptr, nullptr) != 0) return;
    // Other programs the test starts must not hold this terminal open, or
    // the reader would never see its end.
    fcntl(out_master, F_SETFD, FD_CLOEXEC);
    fcntl(out_slave, F_SETFD, FD_CLOEXEC);
    // Raw mode: no "\r\n" for "\n", no echo.
    termios mode{};
    tcgetattr(out_slave, &mode);
    cfmakeraw(&mode);
    tcsetattr(out_slave, TCSANOW, &mode);
    if (pipe2(err_pipe, O_CLOEXEC) != 0 || pipe2(in_pipe, O_CLOEXEC) != 0) return;
    int out_pipe[2] = {-1, -1};
    if (outputPipe && pipe2(out_pipe, O_CLOEXEC) != 0) return;

    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        // Its own process group: a Ctrl-C sent to the test does not reach it.
        setpgid(0, 0);
        dup2(terminalInput ? out_slave : in_pipe[0], STDIN_FILENO);
        dup2(outputPipe ? out_pipe[1] : out_slave, STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        close(out_master);
        close(out_slave);
        if (chdir(directory.c_str()) != 0) _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out_slave);
    close(err_pipe[1]);
    close(in_pipe[0]);
    if (terminalInput) {
        close(in_pipe[1]);
        stdin_fd_ = fcntl(out_master, F_DUPFD_CLOEXEC, 0);
    } else {
        stdin_fd_ = in_pipe[1];
    }
    if (outputPipe) {
        // The output is read from the pipe; the terminal serves input only.
        close(out_pipe[1]);
        close(out_master);
        out_master = out_pipe[0];
    }
    if (pid_ < 0) {
        close(out_master);
        close(err_pipe[0]);
        return;
    }
    open_streams_ = 2;
    out_reader_ = std::thread([this, out_master] { collect(out_master, out_); });
    err_reader_ = std::thread([this, fd = err_pipe[0]] { collect(fd, err_); });
}

RunningProgram::~RunningProgram()
{
    if (pid_ > 0 && exit_status_ == -1) {
        kill(pid_, SIGKILL);
        waitForExit(std::chrono::milliseconds(5000));
    }
    if (stdin_fd_ != -1) close(stdin_fd_);
    joinReaders();
}

void RunningProgram::joinReaders()
{
    if (out_reader_.joinable()) out_reader_.join();
    if (err_reader_.joinable()) err_reader_.join();
}

void RunningProgram::collect(int fd, std::string &into)
{
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        // A pseudo-terminal reports EIO once the program's side is closed.
        if (n <= 0) break;
        std::lock_guard<std::mutex> hold(mutex_);
        into.append(buffer, static_cast<size_t>(n));
        changed_.notify_all();
    }
    close(fd);
    std::lock_guard<std::mutex> hold(mutex_);
    --open_streams_;
    changed_.notify_all();
}

size_t RunningProgram::waitForOutput(const std::string &text, std::chrono::milliseconds timeout,
                                     size_t from)
{
    return waitFor(out_, text, timeout, from);
}

size_t RunningProgram::waitForErrors(const std::string &text, std::chrono::milliseconds timeout)
{
    return waitFor(err_, text, timeout, 0);
}

size_t RunningProgram::waitFor(const std::string &stream, const std::string &text,
                               std::chrono::milliseconds timeout, size_t from)
{
    std::unique_lock<std::mutex> hold(mutex_);
    size_t found = std::string::npos;
    changed_.wait_for(hold, timeout, [&] {
        found = stream.size() > from ? stream.find(text, from) : std::string::npos;
        // No point waiting once the stream has ended.
        return found != std::string::npos || open_streams_ == 0;
    });
    return found == std::string::npos ? found : found + text.size();
}

std::string RunningProgram::output()
{
    std::lock_guard<std::mutex> hold(mutex_);
    return out_;
}

std::string RunningProgram::errors()
{
    std::lock_guard<std::mutex> hold(mutex_);
    return err_;
}

bool RunningProgram::sendLine(const std::string &line)
{
    return sendBytes(line + "\n");
}

bool RunningProgram::sendBytes(const std::string &bytes)
{
    return write(stdin_fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void RunningProgram::sendSignal(int signalNumber)
{
    if (pid_ > 0 && exit_status_ == -1) kill(pid_, signalNumber);
}

int RunningProgram::waitForExit(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0) return -1;
    if (exit_status_ != -1) return exit_status_;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exit_status_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            exit_status_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // The readers end when the program's side of the streams closes.
    joinReaders();
    return exit_status_;
}

} // namespace dockingtest
