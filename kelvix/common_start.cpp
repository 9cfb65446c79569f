// Starting and stopping the library's stateful facilities together: frame
// grabber, display and motion detection.
#include <cstdio>

#include "kelvix.h"

namespace {

// Runs the three starts in order and stops at the first failure. Facilities
// already started stay started until kxShutdown.
// Grab sizes of 0 are the grabber's defaults, 320 x 240.
int32_t startAll(int32_t grabWidth, int32_t grabHeight, int32_t displayWidth, int32_t displayHeight,
                 int32_t (*startMotion)(void))
{
    if (kxGrabInit(nullptr, 0, grabWidth, grabHeight, 1) < 0) {
        puts("kxInit: error: unable to initialize framegrabber");
        return -1;
    }
    if (kxDisplayInit(displayWidth, displayHeight, 0) < 0) {
        puts("kxInit: error: unable to setup display");
        return -1;
    }
    if (startMotion() < 0) {
        puts("kxInit: error: unable to setup motion detection");
        return -1;
    }
    return 0;
}

} // namespace

int32_t kxInit(void) { return startAll(0, 0, 320, 240, kxMotionInit); }

int32_t kxInitGrande(void) { return startAll(640, 480, 640, 480, kxMotionInitGrande); }

int32_t kxShutdown(void)
{
    // Each stop does nothing for a facility that is not running.
    kxMotionShutdown();
    kxDisplayShutdown();
    kxGrabShutdown();
    return 0;
}
