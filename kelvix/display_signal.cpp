// Ending the process on SIGHUP, SIGINT and SIGTERM once a window is open.
//
// The handler only records the signal and wakes a thread of the library (the
// watcher). exit(0) then runs on the program's own thread, never on a second
// one (exit from two threads is undefined, and its destructors would free
// what the program's thread still uses):
//   - at the program's next display or grab call, or inside the library's own
//     waits for a click, which watch for the signal;
//   - or, when that thread is parked in a wait of its own (pause, sleep,
//     poll: a system call the signal interrupts) with no library call under
//     way, from the handler the watcher sends to that thread after the grace
//     period. Such a wait holds none of the C library's locks.
// Anywhere else the program's thread cannot be ended safely, so the watcher
// ends the process with _exit(0): shared segments are marked for removal as
// soon as they exist, and the X server drops the window with the connection.
// The same happens when an ending does not finish within a bound (a full
// output pipe, an exit handler waiting for an X server that no longer
// answers). No path waits without a bound. A signal during the program's own
// exit() leaves that exit alone, with its status, for a longer bound.
#include "display_state.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <thread>
#include <ucontext.h>
#include <unistd.h>

namespace {

enum Stage : int {
    kIdle,
    kRequested,     // a signal came; the program's thread ends at its next call
    kSummoned,      // the watcher has sent the signal to the program's thread
    kEnding,        // exit() runs on a program thread (endingTid)
    kAbandoned,     // the watcher ends the process with _exit
    kOwnExit,       // the program called exit() itself before any signal
    kOwnExitSignal, // ... and a signal came during it
};

std::atomic<int> stage{kIdle};
std::atomic<int> lastSignal{SIGTERM};
std::atomic<bool> ownStatus{false};    // the exit() under way is the program's own
std::atomic<bool> summonDeclined{false};
std::atomic<pid_t> endingTid{0};
std::atomic<pid_t> ownerTid{0};        // program thread that opened the display
std::atomic<pid_t> watcherPid{0};      // process whose watcher runs
std::atomic<int> wakeRead{-1};
std::atomic<int> wakeWrite{-1};
std::atomic<int> libraryCalls{0};
std::atomic<bool> segmentOpen{false};  // between shmget and IPC_RMID
std::atomic<bool> closing{false};      // _exit is near: no new segment

// How long the program's thread has to reach the library; how long the
// summoned thread has to answer; how long an ending may take; how long the
// program's own exit may take once a signal came.
constexpr int kGraceMs = 200;
constexpr int kSummonMs = 200;
constexpr int kEndBoundMs = 2000;
constexpr int kOwnExitBoundMs = 5000;

pid_t threadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

void sleepMs(int ms)
{
    timespec step{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&step, &step) != 0 && errno == EINTR) {
    }
}

// Waits up to `ms` for `done`; true when it came.
template <typename Done> bool waitUpTo(int ms, Done done)
{
    for (int waited = 0; waited < ms; waited += 5) {
        if (done()) return true;
        sleepMs(5);
    }
    return done();
}

// Only async-signal-safe calls from here to endAbruptly. No unmarked segment
// may survive: new ones are refused, one being made is waited for (three
// system calls that cannot hang).
[[noreturn]] void endAbruptly(int status)
{
    closing = true;
    waitUpTo(1000, [] { return !segmentOpen.load(); });
    _exit(status);
}

// The program's own exit() is not turned into status 0: the signal takes its
// ordinary effect.
[[noreturn]] void endBySignal()
{
    const int signum = lastSignal.load();
    closing = true;
    waitUpTo(1000, [] { return !segmentOpen.load(); });
    struct sigaction ordinary {};
    ordinary.sa_handler = SIG_DFL;
    sigaction(signum, &ordinary, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signum);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signum);
    _exit(128 + signum);
}

[[noreturn]] void endNow()
{
    if (ownStatus.load()) endBySignal();
    endAbruptly(0);
}

[[noreturn]] void endAfterBound(int ms)
{
    sleepMs(ms);
    endNow();
}

// True when the interrupted context is a blocking system call that the
// signal cut short (it returns EINTR): the thread was waiting, not inside
// the C library's own work. Unknown machines never count as waiting.
bool interruptedWait(const void *context)
{
    if (!context) return false;
    const ucontext_t *uc = static_cast<const ucontext_t *>(context);
#if defined(__x86_64__)
    if (uc->uc_mcontext.gregs[REG_RAX] != -EINTR) return false;
    const auto ip = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    if ((ip & 0xfff) < 2) return false;  // never read across a page start
    const unsigned char *code = reinterpret_cast<const unsigned char *>(ip);
    return code[-2] == 0x0f && code[-1] == 0x05;  // syscall
#elif defined(__aarch64__)
    if (static_cast<long>(uc->uc_mcontext.regs[0]) != -EINTR) return false;
    const auto pc = static_cast<uintptr_t>(uc->uc_mcontext.pc);
    if ((pc & 0xfff) < 4) return false;
    uint32_t instruction;
    memcpy(&instruction, reinterpret_cast<const void *>(pc - 4), 4);
    return instruction == 0xd4000001;  // svc #0
#else
    (void)uc;
    return false;
#endif
}

// exit(0) on this thread, which is the program's and parked or at a call.
[[noreturn]] void endHere()
{
    endingTid = threadId();
    exit(0);
}

void armAlarm(unsigned seconds);

// Without a watcher (a child forked after kxDisplayInit, or the thread could
// not be started) SIGALRM stands in for it: the summons after the grace
// period, then the bound of the ending.
void alarmHandler(int, siginfo_t *, void *context)
{
    int expected = kRequested;
    if (libraryCalls.load() == 0 && interruptedWait(context) &&
        stage.compare_exchange_strong(expected, kEnding)) {
        armAlarm(kEndBoundMs / 1000);
        endHere();
    }
    endNow();
}

void armAlarm(unsigned seconds)
{
    struct sigaction action {};
    action.sa_sigaction = alarmHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigaction(SIGALRM, &action, nullptr);
    alarm(seconds);
}

void endWithoutWatcher(int signum, void *context)
{
    int expected = kIdle;
    if (!stage.compare_exchange_strong(expected, kRequested)) return;
    lastSignal = signum;
    if (libraryCalls.load() == 0 && interruptedWait(context)) {
        stage = kEnding;
        armAlarm(kEndBoundMs / 1000);
        endHere();
    }
    armAlarm(1);
}

void watch(int readFd)
{
    pollfd wake{readFd, POLLIN, 0};
    while (poll(&wake, 1, -1) != 1) {
    }
    waitUpTo(kGraceMs, [] { return stage.load() != kRequested; });
    int expected = kRequested;
    if (stage.compare_exchange_strong(expected, kSummoned)) {
        const pid_t owner = ownerTid.load();
        if (owner != 0 && syscall(SYS_tgkill, getpid(), owner, lastSignal.load()) == 0)
            waitUpTo(kSummonMs,
                     [] { return stage.load() != kSummoned || summonDeclined.load(); });
        expected = kSummoned;
        if (stage.compare_exchange_strong(expected, kAbandoned)) endAbruptly(0);
    }
    endAfterBound(stage.load() == kOwnExitSignal ? kOwnExitBoundMs : kEndBoundMs);
}

// Lives on the thread that opened the display. glibc's exit() destroys the
// calling thread's thread_local objects before it runs any exit handler, so
// this marks the program's own exit before a handler of it can be slow.
struct OwnExitMark {
    bool armed = false;
    ~OwnExitMark()
    {
        if (!armed) return;
        const pid_t self = threadId();
        if (self != getpid()) {  // the thread ends, not the process
            pid_t owner = self;
            ownerTid.compare_exchange_strong(owner, 0);
            return;
        }
        int expected = kIdle;
        if (stage.compare_exchange_strong(expected, kOwnExit)) return;
        if (expected == kRequested || expected == kSummoned) {
            // A signal came first, but the program ends itself with its
            // own status; the watcher still bounds it.
            ownStatus = true;
            endingTid = self;
            stage = kEnding;
        }
    }
};
thread_local OwnExitMark ownExitMark;

} // namespace

KxLibraryCall::KxLibraryCall() { ++libraryCalls; }
KxLibraryCall::~KxLibraryCall() { --libraryCalls; }

bool _kxEndIfSignalled()
{
    for (;;) {
        int now = stage.load();
        if (now == kIdle || now == kOwnExit || now == kOwnExitSignal) return false;
        if (now == kEnding && endingTid.load() == threadId()) return true;  // its exit handlers
        // Another thread runs exit(), or _exit is near: this one must not go
        // on into what is being torn down.
        if (now == kEnding || now == kAbandoned) endAfterBound(kEndBoundMs);
        if (watcherPid.load() != getpid()) armAlarm(kEndBoundMs / 1000);
        if (stage.compare_exchange_strong(now, kEnding)) endHere();
    }
}

bool _kxDisplayLeftToServer()
{
    const int now = stage.load();
    return now == kEnding || now == kAbandoned;
}

int _kxEndingFd()
{
    return stage.load() == kIdle && watcherPid.load() == getpid() ? wakeRead.load() : -1;
}

bool _kxBeginSegment(sigset_t *saved)
{
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGHUP);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &handled, saved);
    segmentOpen = true;
    if (!closing.load()) return true;
    _kxEndSegment(saved);
    return false;
}

void _kxEndSegment(const sigset_t *saved)
{
    segmentOpen = false;
    pthread_sigmask(SIG_SETMASK, saved, nullptr);
}

bool _kxStartSignalWatcher()
{
    ownerTid = threadId();
    ownExitMark.armed = true;
    if (wakeRead.load() >= 0 && watcherPid.load() == getpid()) return true;
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
    wakeRead = fds[0];
    wakeWrite = fds[1];
    watcherPid = getpid();
    return true;
}

int _kxInstallEndingHandler(int signum)
{
    struct sigaction action {};
    action.sa_sigaction = _kxSigHnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    if (sigaction(signum, &action, nullptr) != 0) {
        puts("kxSigHndInstall: error: could not install signal handler!");
        return -1;
    }
    return 0;
}

// Only async-signal-safe calls.
void _kxSigHnd(int signum, siginfo_t *, void *context)
{
    const int savedErrno = errno;
    if (watcherPid.load() != getpid()) {
        endWithoutWatcher(signum, context);
        errno = savedErrno;
        return;
    }
    int expected = kIdle;
    if (stage.compare_exchange_strong(expected, kRequested)) {
        lastSignal = signum;
    } else if (expected == kOwnExit) {
        lastSignal = signum;
        ownStatus = true;
        if (!stage.compare_exchange_strong(expected, kOwnExitSignal)) {
            errno = savedErrno;
            return;
        }
    } else if (expected == kSummoned && threadId() == ownerTid.load()) {
        if (libraryCalls.load() == 0 && interruptedWait(context) &&
            stage.compare_exchange_strong(expected, kEnding))
            endHere();
        summonDeclined = true;
        errno = savedErrno;
        return;
    } else {
        // A repeated signal: the ending under way is bounded already.
        errno = savedErrno;
        return;
    }
    const char byte = static_cast<char>(signum);
    if (write(wakeWrite.load(), &byte, 1) != 1) endAbruptly(0);
    errno = savedErrno;
}
