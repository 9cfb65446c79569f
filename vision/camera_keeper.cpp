#include "camera_keeper.h"

#include <cstdio>
#include <thread>

#include "camera_settings.h"

bool CameraKeeper::grab(kxImage *pic)
{
    using Clock = std::chrono::steady_clock;
    if (!lost_) {
        if (kxGrabImage(pic) == 0) {
            if (settlingLeft_ == 0) return true;
            --settlingLeft_;
            return false;
        }
        lost_ = true;
        puts("Camera lost: publishing no markers, reopening it once a second");
        fflush(stdout);
        // The report without markers goes out first; the first reopening
        // follows at once, since a passing fault may already be over.
        nextTry_ = Clock::now();
        return false;
    }
    if (Clock::now() >= nextTry_) {
        nextTry_ = Clock::now() + kRetryPeriod;
        if (kxGrabReopen() == 0) {
            lost_ = false;
            settlingLeft_ = kSettlingFrames;
            puts("Camera back");
            fflush(stdout);
            return false;
        }
    }
    std::this_thread::sleep_for(kLostPause);
    return false;
}
