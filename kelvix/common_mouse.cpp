// Mouse interaction on the library's window: clicks, points, rectangles,
// a show that lasts until a click, and the distance of two points.
#include "display_internal.h"
#include "display_state.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <utility>

namespace {

// The open connection, or nullptr after printing "<caller>: error: no
// display open".
Display *openDisplay(const char *caller)
{
    Display *display = _kxDisplayConnection();
    if (!display) printf("%s: error: no display open\n", caller);
    return display;
}

// Blocks until a button press arrives; every other event is dropped. A
// signal's ending runs from here, on the program's thread, without waiting
// for a click; then (only in an exit handler of that ending) the result is
// an empty event.
XEvent waitForClick(Display *display)
{
    KxLibraryCall call;
    XEvent event{};
    for (;;) {
        while (XPending(display)) {
            XNextEvent(display, &event);
            if (event.type == ButtonPress) return event;
        }
        pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {_kxEndingFd(), POLLIN, 0}};
        poll(fds, 2, -1);
        if (_kxEndIfSignalled()) return XEvent{};
    }
}

// Sleeps until the X connection has something new to read or `ms` have
// passed. Events already queued do not count: they are not presses (the
// caller has just looked), and they stay queued for later readers.
void waitForEvents(Display *display, int ms)
{
    XFlush(display);
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, ms);
}

// How often show-until-click repaints while nothing happens, in ms.
const int kRepaintIntervalMs = 100;

int _kxShowUntilClickCommon(const kxImage *image, int rotated)
{
    if (!image) {
        puts("kxShowUntilClick: error: NULL image");
        return -1;
    }
    puts("click anywhere on the image to continue...");
    XEvent press;
    for (;;) {
        if (_kxShowCommon(image, 0, rotated) != 0) return -1;
        Display *display = _kxDisplayConnection();
        if (XCheckMaskEvent(display, ButtonPressMask, &press)) return 0;
        // Repaint on a slow beat (the window has no backing store) but
        // wake at once when an event comes in.
        waitForEvents(display, kRepaintIntervalMs);
        if (XCheckMaskEvent(display, ButtonPressMask, &press)) return 0;
    }
}

} // namespace

int32_t kxEvent(void)
{
    Display *display = _kxDisplayConnection();
    if (!display) return 0;
    return XEventsQueued(display, QueuedAfterReading) != 0 ? 1 : 0;
}

int32_t kxButtonPress(void)
{
    Display *display = _kxDisplayConnection();
    if (!display) return 0;
    XEvent event;
    if (!XCheckMaskEvent(display, ButtonPressMask, &event)) return 0;
    XPutBackEvent(display, &event);
    return 1;
}

XEvent kxGetClick(void)
{
    XEvent event{};
    Display *display = openDisplay("kxGetClick");
    if (!display) return event;
    puts("click  corner");
    fflush(stdout);
    return waitForClick(display);
}

int32_t kxGetPoint(kxPoint *point)
{
    if (!point) {
        puts("kxGetPoint: error: NULL point");
        return -1;
    }
    Display *display = openDisplay("kxGetPoint");
    if (!display) return -1;
    XEvent event = waitForClick(display);
    point->x = event.xbutton.x;
    point->y = event.xbutton.y;
    return static_cast<int32_t>(event.xbutton.button);
}

kxPoint *kxReturnPoint(void)
{
    Display *display = openDisplay("kxReturnPoint");
    if (!display) return nullptr;
    XEvent event = waitForClick(display);
    kxPoint *point = static_cast<kxPoint *>(malloc(sizeof(kxPoint)));
    if (!point) {
        perror("_kxReturnPoint: malloc");
        return nullptr;
    }
    point->x = event.xbutton.x;
    point->y = event.xbutton.y;
    return point;
}

int32_t kxGetRect(kxWindow *window)
{
    if (!window) {
        puts("kxGetRect: error: NULL window");
        return -1;
    }
    Display *display = openDisplay("kxGetRect");
    if (!display) return -1;
    puts("click first corner");
    fflush(stdout);
    XEvent first = waitForClick(display);
    puts("click second corner");
    fflush(stdout);
    XEvent second = waitForClick(display);
    int x1 = first.xbutton.x, y1 = first.xbutton.y;
    int x2 = second.xbutton.x, y2 = second.xbutton.y;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    window->x = x1;
    window->y = y1;
    window->width = x2 - x1;
    window->height = y2 - y1;
    return 0;
}

kxSegment *kxDefineRectWithMouse(kxPoint *point)
{
    Display *display = openDisplay("kxDefineRectWithMouse");
    if (!display) return nullptr;
    _kxReportReleases();
    XEvent release;
    if (!XCheckMaskEvent(display, ButtonReleaseMask, &release)) return nullptr;
    // Back at the head of the queue, the release is the first event the
    // wait below takes and drops, so the press queued before it is found.
    XPutBackEvent(display, &release);
    if (!point) {
        puts("kxGetPoint: error: NULL point");
        return nullptr;
    }
    XEvent press = waitForClick(display);
    point->x = press.xbutton.x;
    point->y = press.xbutton.y;
    kxSegment *segment = static_cast<kxSegment *>(malloc(sizeof(kxSegment)));
    if (!segment) {
        perror("kxDefineRectWithMouse: malloc");
        return nullptr;
    }
    segment->x1 = press.xbutton.x;
    segment->x2 = release.xbutton.x;
    segment->y1 = press.xbutton.y;
    segment->y2 = release.xbutton.y;
    return segment;
}

int32_t kxShowUntilClick(const kxImage *image)
{
    return _kxShowUntilClickCommon(image, 0);
}

int32_t kxShowRotatedUntilClick(const kxImage *image)
{
    return _kxShowUntilClickCommon(image, 1);
}

int32_t kxDistance(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    // In double: the squared differences of far-apart points overflow any
    // integer type; small ones are exact.
    double dx = static_cast<double>(x1) - x2;
    double dy = static_cast<double>(y1) - y2;
    float distance = static_cast<float>(std::sqrt(dx * dx + dy * dy));
    printf("Distance: %0.2f \n", distance);
    return 0;
}
