// Opening the camera again after it was lost (unplugged, or a recorded
// stream whose writer went away), quietly, with the settings it had.
#include "grab_device.h"

#include <cstdio>

namespace {

// A FIFO's new writer gets this long to appear; a stop request must not
// wait for a writer that never comes.
constexpr int kWriterWaitMs = 200;

} // namespace

int32_t kxGrabReopen(void)
{
    const KxGrabSettings last = _kxGrabSettings();
    if (last.path.empty()) {
        puts("kxGrabReopen: error: framegrabber never initialized");
        return -1;
    }
    _kxGrabSetQuiet(true);
    _kxGrabRecordedVideoWaitLimit(kWriterWaitMs);
    kxGrabShutdown();
    int32_t result = kxGrabInit(last.path.c_str(), 0, last.width, last.height, 1);
    if (result == 0 && last.shutterSet && kxGrabSetShutter(last.shutter) != 0) result = -1;
    // As at start-up, a camera that refuses the gain still delivers frames.
    if (result == 0 && last.gainSet) kxGrabSetGain(last.gain);
    if (result != 0) kxGrabShutdown();
    _kxGrabRecordedVideoWaitLimit(-1);
    _kxGrabSetQuiet(false);
    return result;
}
