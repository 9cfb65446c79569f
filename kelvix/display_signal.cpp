// Ending the process on SIGHUP, SIGINT and SIGTERM once a window is open.
//
// The handler itself only wakes a thread of the library. The process then ends
// with exit(0) outside the handler, so the program's buffered output is
// written and its own exit handlers run. exit() must not run while another
// thread is still inside the library (it would free what that thread uses),
// so the program's own thread ends the process at its next call into the
// display when it makes one soon; a program that is blocked elsewhere is ended
// by the library's thread after a short wait. On that second way out the
// display is left alone, because the main flow may be inside Xlib: shared
// segments are marked for removal as soon as they are attached (they
// disappear with the process), and the server drops the window with the
// connection.
#include "display_state.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

std::mutex segmentMutex;
std::atomic<int> wakeFd{-1};   // write end of the watcher's pipe
std::atomic<pid_t> watcherPid{0};
std::atomic<bool> signalTaken{false};
std::atomic<bool> endRequested{false}; // a signal arrived: end at the next display call
std::atomic<bool> ending{false};       // one thread has begun exit(); the others wait
thread_local bool endingThread = false;

// How long the library's thread leaves the program to reach a display call.
constexpr int kGraceMs = 200;

// Ends the process from this thread unless another already does; then this
// one must not run on, as exit() is tearing down what it would use.
[[noreturn]] void endProcess(bool fromWatcher)
{
    if (ending.exchange(true))
        for (;;) pause();
    if (fromWatcher) {
        // Waits for a segment being made to be marked for removal, and keeps
        // any new one from being made while the process ends.
        segmentMutex.lock();
        endingThread = true;
    }
    exit(0);
}

void watch(int readFd)
{
    char signum;
    for (;;) {
        const ssize_t got = read(readFd, &signum, 1);
        if (got == 1) break;
        if (got < 0 && errno == EINTR) continue;
        return;
    }
    endRequested = true;
    for (int waited = 0; waited < kGraceMs; waited += 10)
        usleep(10 * 1000);
    endProcess(true);
}

} // namespace

std::mutex &_kxSegmentMutex() { return segmentMutex; }

bool _kxEndingOnSignal() { return endingThread; }

void _kxEndIfSignalled()
{
    if (endRequested.load() && !endingThread) endProcess(false);
}

bool _kxStartSignalWatcher()
{
    if (wakeFd.load() >= 0) return true;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    // The handler must never block on a full pipe.
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    // The thread takes no signal itself: they stay with the program's threads.
    sigset_t all, saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    bool started = true;
    try {
        std::thread(watch, fds[0]).detach();
    } catch (...) {
        started = false;
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    if (!started) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    watcherPid = getpid();
    wakeFd = fds[1];
    return true;
}

// Only async-signal-safe calls. Without the watcher (it could not be started,
// or this is a child forked after kxDisplayInit), and on a repeated signal
// while the first one is being handled, the process ends at once.
void _kxSigHnd(int signum)
{
    const int savedErrno = errno;
    const int fd = wakeFd.load();
    if (fd < 0 || getpid() != watcherPid.load() || signalTaken.exchange(true)) _exit(0);
    const char byte = static_cast<char>(signum);
    if (write(fd, &byte, 1) != 1) _exit(0);
    errno = savedErrno;
}
