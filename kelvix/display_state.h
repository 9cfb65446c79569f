// Process-wide state of the display module, shared by its source files only.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <mutex>

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

// Signal ending (display_signal.cpp). The handler for SIGHUP, SIGINT and
// SIGTERM wakes a library thread; the process ends with exit(0) at the
// program's next display call, or from that thread after a short wait.
void _kxSigHnd(int signum);
// Starts that thread once per process; false when it cannot be started.
bool _kxStartSignalWatcher();
// True on the thread that is ending the process after a signal: the main flow
// may be inside Xlib, so the display must not be touched there.
bool _kxEndingOnSignal();
// Called where the display is entered: after a signal, ends the process here,
// on the program's own thread, which is then outside the library.
void _kxEndIfSignalled();
// Held from the creation of a shared segment until it is marked for removal;
// the signal ending waits for it, so no unmarked segment outlives the process.
std::mutex &_kxSegmentMutex();
