// Setting up and releasing the motion reference: from the picture file
// "prova" in the working directory, or from a grabbed frame.
#include "motion_internal.h"

#include <cstdio>
#include <unistd.h>

// The frame grabber lives in its own module. The reference is weak so that
// programs that never start the grabber need not link it: such a program
// cannot grab anyway, and every program that starts the grabber links it
// through kxGrabInit, which resolves this reference too.
extern "C" int32_t kxGrabImage(kxImage *image) __attribute__((weak));

namespace {

const char *const kReferenceFile = "prova";

int32_t initReference(int32_t width, int32_t height, unsigned pauseSeconds)
{
    kxImageDestroy(_kxMotionRefImage);
    _kxMotionRefImage = kxImageCreate(NONE, width, height);
    if (!_kxMotionRefImage) return -1;
    if (kxImageLoad(_kxMotionRefImage, kReferenceFile) == 0) return 0;
    puts("unable to load image");
    puts("Uso prima immmagine acquisita come riferimento");
    // Gives the camera time to settle before the frame that becomes the reference.
    if (pauseSeconds) sleep(pauseSeconds);
    if (!kxGrabImage || kxGrabImage(_kxMotionRefImage) < 0) {
        puts("kxMotionInit: error: could not grab reference image");
        return -1;
    }
    return 0;
}

} // namespace

int32_t kxMotionInit(void) { return initReference(0, 0, 0); }

int32_t kxMotionInitGrande(void) { return initReference(640, 480, 2); }

int32_t kxMotionShutdown(void)
{
    kxImageDestroy(_kxMotionRefImage);
    _kxMotionRefImage = nullptr;
    return 0;
}
