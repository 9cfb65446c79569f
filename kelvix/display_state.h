// Process-wide state of the display module, shared by its source files only.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <csignal>

#include "internal.h"
#include "kelvix.h"

// One display, one window per process. Everything starts as none / 0.
struct KxDisplayState {
    Display *display = nullptr;
    Window window = 0;
    Colormap colormap = 0;
    GC gc = nullptr;
    Visual *visual = nullptr;
    int depth = 0;
    XImage *xImage = nullptr;     // always window_width x window_height when present
    int useShm = 0;
    XShmSegmentInfo *shminfo = nullptr;
    bool shmServerAttached = false;  // XShmAttach succeeded for the current segment
    bool shmMarkedForRemoval = false;
    bool reportReleases = false;     // the window's mask includes ButtonReleaseMask
    int window_width = 0;
    int window_height = 0;
    kxImage *rgb_pic = nullptr;      // display buffer: RGB copy of the image being shown
};

extern KxDisplayState _kxDisplay;

// Largest window side the X protocol can carry (16-bit sizes).
constexpr int kKxMaxWindowSide = 32767;

// Window-manager hints of a window of at most width x height.
void _kxSetSizeHints(int width, int height);

// Signal ending (display_signal.cpp), see internal.h for the calls' side.
// The handler for SIGHUP, SIGINT and SIGTERM (SA_SIGINFO: it looks at the
// interrupted context).
void _kxSigHnd(int signum, siginfo_t *info, void *context);
// Installs it for signum with restarting system calls; 0, or -1 after the
// kxSigHndInstall message.
int _kxInstallEndingHandler(int signum);
// Starts the library's thread once per process and makes the calling thread
// the one that is ended; false when the thread cannot be started (the
// handler then bounds the ending with SIGALRM).
bool _kxStartSignalWatcher();
// True while the process ends after a signal: the program's thread may have
// been stopped anywhere, so the display is left to the server (segments are
// marked already; the window goes with the connection).
bool _kxDisplayLeftToServer();
// Read end that turns readable when a signal asks for the ending, for the
// library's own waits; -1 when there is none to watch.
int _kxEndingFd();
// Around shmget ... IPC_RMID: blocks the handled signals on this thread and
// keeps the abrupt endings waiting for the mark. False (signals restored)
// when the process is about to end and no segment may be made.
bool _kxBeginSegment(sigset_t *saved);
void _kxEndSegment(const sigset_t *saved);
