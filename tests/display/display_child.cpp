// Helper of the clean-up tests: opens a shared-memory window, shows a
// picture, prints "ready" and then ends the way its argument says.
//   pause     wait for a signal outside Xlib
//   click     wait for a click (inside Xlib) until a signal comes
//   exit      return from main at once (atexit clean-up)
//   shutdown  kxDisplayShutdown, print "closed", then wait for a signal
//   resize    show pictures of changing size without pause until a signal
//   work      alternate 50 ms of work with a show until a signal; an exit
//             handler registered after the window shows again
//   fullpipe  wait for SIGUSR1, fill its output pipe, then show until a
//             signal
//   slowexit  exit(3) through an exit handler that takes 300 ms
//   fork      fork; the child prints "child <pid>" and waits for a signal,
//             the parent reports its status and waits for a signal
//   grab FILE grab a recorded 640x480 video in a loop, with
//             atexit(kxShutdown), until a signal
// Before "ready" it prints "buffered output" without flushing, and its own
// exit handler prints "exit handlers ran": both reach a pipe only when the
// process ends through exit().
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include "kelvix.h"

void announceExit() { puts("exit handlers ran"); }

// Global, so that they stay reachable when a signal ends the process.
kxImage *large = nullptr;
kxImage *small = nullptr;
// Re-enters the display from an exit handler.
void showAgain() { kxShow(large, 0); }

// Sleeps the whole span, signals or not.
void slowHandler()
{
    puts("slow handler started");
    fflush(stdout);
    timespec left{0, 300 * 1000 * 1000};
    while (nanosleep(&left, &left) != 0) {
    }
    puts("slow handler done");
}

void busyFor(std::chrono::milliseconds span)
{
    auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
    }
}

// Writes without blocking until the pipe takes no more.
void fillOutput()
{
    static const char block[4096] = {};
    int flags = fcntl(STDOUT_FILENO, F_GETFL);
    fcntl(STDOUT_FILENO, F_SETFL, flags | O_NONBLOCK);
    while (write(STDOUT_FILENO, block, sizeof block) > 0) {
    }
    while (write(STDOUT_FILENO, block, 1) > 0) {  // the last page's rest
    }
    fcntl(STDOUT_FILENO, F_SETFL, flags);
}

int main(int argc, char **argv)
{
    const char *mode = argc > 1 ? argv[1] : "pause";
    atexit(announceExit);
    sigset_t go;
    sigemptyset(&go);
    sigaddset(&go, SIGUSR1);
    sigprocmask(SIG_BLOCK, &go, nullptr);
    if (kxDisplayInit(64, 48, 1) < 0) return 2;
    large = kxImageCreate(GRAY, 64, 48);
    small = kxImageCreate(GRAY, 24, 16);
    if (!large || !small) return 3;
    memset(large->data, 0, 64 * 48 * 2);
    memset(small->data, 0, 24 * 16 * 2);
    if (kxShow(large, 0) != 0) return 4;
    // Held in stdio's buffer; "ready" goes out past it.
    fflush(stdout);
    puts("buffered output");
    if (write(STDOUT_FILENO, "ready\n", 6) != 6) return 7;

    if (!strcmp(mode, "exit")) {
        kxImageDestroy(large);
        kxImageDestroy(small);
        return 0;
    }
    if (!strcmp(mode, "click")) {
        kxGetClick();
        return 5;
    }
    if (!strcmp(mode, "shutdown")) {
        kxDisplayShutdown();
        puts("closed");
        fflush(stdout);
    }
    if (!strcmp(mode, "attach")) {
        int signum = 0;
        sigwait(&go, &signum);
        puts("showing");
        fflush(stdout);
        kxShow(small, 0);
        puts("shown");
        fflush(stdout);
    }
    if (!strcmp(mode, "work")) {
        atexit(showAgain);
        for (;;) {
            busyFor(std::chrono::milliseconds(50));
            kxShow(large, 0);
        }
    }
    if (!strcmp(mode, "fullpipe")) {
        int signum = 0;
        sigwait(&go, &signum);  // "ready" has been read: nothing more is taken
        fillOutput();
        for (;;) kxShow(large, 0);
    }
    if (!strcmp(mode, "slowexit")) {
        atexit(slowHandler);
        exit(3);
    }
    if (!strcmp(mode, "fork")) {
        fflush(stdout);
        pid_t child = fork();
        if (child == 0) {
            printf("child %d\n", static_cast<int>(getpid()));
            fflush(stdout);
            puts("child buffered output");
            for (;;) pause();
        }
        int status = 0;
        while (waitpid(child, &status, 0) < 0) {
        }
        printf("child status %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        fflush(stdout);
    }
    if (!strcmp(mode, "grab")) {
        if (argc < 3 || kxGrabInit(argv[2], 0, 640, 480, 1) < 0) return 8;
        atexit([] { kxShutdown(); });
        for (;;)  // into the picture's own buffer, made anew for the frame
            if (kxGrabImage(large) != 0) return 9;
    }
    if (!strcmp(mode, "resize")) {
        for (unsigned i = 0;; ++i)
            if (kxShow(i % 2 ? small : large, 0) != 0) return 6;
    }
    for (;;) pause();
}
