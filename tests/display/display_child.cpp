// Helper of the clean-up tests: opens a shared-memory window, shows a
// picture, prints "ready" and then ends the way its argument says.
//   pause     wait for a signal outside Xlib
//   click     wait for a click (inside Xlib) until a signal comes
//   exit      return from main at once (atexit clean-up)
//   shutdown  kxDisplayShutdown, print "closed", then wait for a signal
//   resize    show pictures of changing size without pause until a signal
//   attach    wait for SIGUSR1, print "showing", then show a picture of
//             another size (a new segment the server must attach)
// Before "ready" it prints "buffered output" without flushing, and its own
// exit handler prints "exit handlers ran": both reach a pipe only when the
// process ends through exit().
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <X11/Xlib.h>

#include "kelvix.h"

void announceExit() { puts("exit handlers ran"); }

int main(int argc, char **argv)
{
    const char *mode = argc > 1 ? argv[1] : "pause";
    atexit(announceExit);
    sigset_t go;
    sigemptyset(&go);
    sigaddset(&go, SIGUSR1);
    sigprocmask(SIG_BLOCK, &go, nullptr);
    if (kxDisplayInit(64, 48, 1) < 0) return 2;
    kxImage *large = kxImageCreate(GRAY, 64, 48);
    kxImage *small = kxImageCreate(GRAY, 24, 16);
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
    if (!strcmp(mode, "resize")) {
        for (unsigned i = 0;; ++i)
            if (kxShow(i % 2 ? small : large, 0) != 0) return 6;
    }
    for (;;) pause();
}
