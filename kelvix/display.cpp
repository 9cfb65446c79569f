// The library's X11 window: opening the display, choosing the visual, making
// the window, and releasing everything at shutdown, at exit and on signals.
#include "display_internal.h"
#include "display_state.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

KxDisplayState _kxDisplay;

namespace {

const char *const kVersion = "1.9.2";
char banner[64];
bool closeRegistered = false;
// The process that opened the connection: a child forked later shares its
// socket and must never send requests on it.
pid_t connectionOwner = 0;

} // namespace

// Maximum size, resize increments and aspect limits for the window manager.
void _kxSetSizeHints(int width, int height)
{
    XSizeHints hints{};
    hints.flags = PMaxSize | PResizeInc | PAspect;
    hints.max_width = width;
    hints.max_height = height;
    hints.width_inc = 8;
    hints.height_inc = 2;
    hints.min_aspect.x = 1;
    hints.min_aspect.y = 2;
    hints.max_aspect.x = 2;
    hints.max_aspect.y = 1;
    XSetNormalHints(_kxDisplay.display, _kxDisplay.window, &hints);
}

namespace {

// The deepest TrueColor visual of the default screen; among equals the one
// latest in the server's list. False when there is none.
bool chooseVisual()
{
    KxDisplayState &d = _kxDisplay;
    XVisualInfo pattern{};
    pattern.screen = DefaultScreen(d.display);
    pattern.c_class = TrueColor;
    int count = 0;
    XVisualInfo *list =
        XGetVisualInfo(d.display, VisualScreenMask | VisualClassMask, &pattern, &count);
    if (!list || count == 0) {
        if (list) XFree(list);
        return false;
    }
    d.depth = 0;
    for (int i = count - 1; i >= 0; --i) {
        if (list[i].depth > d.depth) {
            d.depth = list[i].depth;
            d.visual = list[i].visual;
        }
    }
    printf("detected TrueColor visual (depth %d)\n", d.depth);
    XFree(list);
    return true;
}

void createWindow(int width, int height)
{
    KxDisplayState &d = _kxDisplay;
    int screen = DefaultScreen(d.display);
    Window root = RootWindow(d.display, screen);
    d.colormap = XCreateColormap(d.display, root, d.visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(d.display, screen);
    attributes.border_pixel = BlackPixel(d.display, screen);
    attributes.colormap = d.colormap;
    d.window = XCreateWindow(d.display, root, 0, 0, width, height, 2, d.depth, InputOutput,
                             d.visual, CWBackPixel | CWBorderPixel | CWColormap, &attributes);
    _kxSetSizeHints(width, height);
    XResizeWindow(d.display, d.window, width, height);
    XStoreName(d.display, d.window, banner);
    XSetIconName(d.display, d.window, banner);
    XMapWindow(d.display, d.window);
    XSelectInput(d.display, d.window, ButtonPressMask | StructureNotifyMask);
    d.reportReleases = false;
    XGCValues values{};
    values.graphics_exposures = False;
    d.gc = XCreateGC(d.display, d.window, GCGraphicsExposures, &values);
}

// Window, graphics context and colormap of an open connection.
void destroyWindow()
{
    KxDisplayState &d = _kxDisplay;
    if (d.gc) XFreeGC(d.display, d.gc);
    if (d.window) {
        XUnmapWindow(d.display, d.window);
        XDestroyWindow(d.display, d.window);
    }
    if (d.colormap) XFreeColormap(d.display, d.colormap);
    d.gc = nullptr;
    d.window = 0;
    d.colormap = 0;
}

// Registered with atexit: the same release as kxDisplayShutdown.
void _kxCloseDisplay()
{
    kxDisplayShutdown();
}

} // namespace

Display *_kxDisplayConnection() { return _kxDisplay.display; }
Window _kxDisplayWindow() { return _kxDisplay.window; }

void _kxReportReleases()
{
    KxDisplayState &d = _kxDisplay;
    if (!d.display || d.reportReleases) return;
    XSelectInput(d.display, d.window, ButtonPressMask | ButtonReleaseMask);
    // Round trip: presses that follow must already be grabbed with the new
    // mask, or their releases are never reported.
    XSync(d.display, False);
    d.reportReleases = true;
}

int32_t kxDisplayInit(int32_t width, int32_t height, int32_t shm)
{
    _kxEndIfSignalled();
    KxLibraryCall call;
    snprintf(banner, sizeof banner, "Kelvix %s", kVersion);
    puts(banner);
    if (width <= 0 || height <= 0 || width > kKxMaxWindowSide || height > kKxMaxWindowSide) {
        puts("kxDisplayInit: error: illegal window size");
        return -1;
    }
    KxDisplayState &d = _kxDisplay;
    if (d.display) {
        // A repeated initialisation replaces the window; its X image goes
        // with it, released in the mode it was made in.
        _kxDestroyImage();
        destroyWindow();
    }
    d.useShm = shm;
    if (!d.display) {
        d.display = XOpenDisplay(nullptr);
        if (!d.display) {
            puts("kxDisplayInit: unable to open display");
            return -1;
        }
        connectionOwner = getpid();
    }
    if (!chooseVisual()) {
        puts("kxDisplayInit: could not find a TrueColor visual");
        return -1;
    }
    createWindow(width, height);
    if (_kxSetupImage(width, height) != 0) {
        puts("kxDisplayInit: _kxSetupImage");
        return -1;
    }
    // Without its thread the handler still ends the process, with SIGALRM
    // for the waits.
    _kxStartSignalWatcher();
    if (_kxInstallEndingHandler(SIGHUP) != 0 || _kxInstallEndingHandler(SIGINT) != 0 ||
        _kxInstallEndingHandler(SIGTERM) != 0)
        return -1;
    if (!closeRegistered && atexit(_kxCloseDisplay) == 0) closeRegistered = true;
    return d.depth;
}

int32_t kxDisplayShutdown(void)
{
    // Ending after a signal: the program's thread may have been stopped
    // inside Xlib, and the server may not answer. The connection and the
    // window go with the process, the segment is marked already.
    if (_kxEndIfSignalled() || _kxDisplayLeftToServer()) return 0;
    KxLibraryCall call;
    KxDisplayState &d = _kxDisplay;
    if (d.display && connectionOwner != getpid()) {
        // A forked child: the connection is its parent's. Only what is its
        // own is released (its attachment of the segment, client memory).
        d.shmServerAttached = false;
        d.display = nullptr;
        d.gc = nullptr;
        d.window = 0;
        d.colormap = 0;
    }
    _kxDestroyImage();
    if (d.display) {
        destroyWindow();
        XCloseDisplay(d.display);
        d.display = nullptr;
    }
    d.visual = nullptr;
    d.depth = 0;
    d.window_width = 0;
    d.window_height = 0;
    kxImageDestroy(d.rgb_pic);
    d.rgb_pic = nullptr;
    return 0;
}

int32_t kxSigHndInstall(int32_t signum, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls restart, except for SIGALRM, whose purpose is
    // usually to interrupt a blocking call.
    action.sa_flags = signum == SIGALRM ? SA_INTERRUPT : SA_RESTART;
    if (sigaction(signum, &action, nullptr) != 0) {
        puts("kxSigHndInstall: error: could not install signal handler!");
        return -1;
    }
    return 0;
}
