// The camera as the frame loop sees it. While it delivers, one frame per
// call. When a grab fails (a webcam dropped off the bus, a recorded stream
// whose writer has gone) the camera counts as lost: each call then delivers
// no frame after a short pause, so that the loop still publishes (reports
// without markers) and still sees the run flag but does not spin, and about
// once a second the grabber is opened again with its settings. One line
// says when the camera is lost, one when it is back. A grab waits at most
// about a second for its frame (the grabber's bound), so a camera that stops
// delivering without an error counts as lost too. After "Camera back" the
// first kSettlingFrames frames are thrown away, one per call, as at start:
// shutter and gain need them to settle.
#pragma once

#include <chrono>

#include "kelvix.h"

class CameraKeeper {
public:
    // Pause per call while the camera is lost, and time between reopenings.
    static constexpr std::chrono::milliseconds kLostPause{100};
    static constexpr std::chrono::milliseconds kRetryPeriod{1000};

    // The next frame into `pic`; false when there is none.
    bool grab(kxImage *pic);
    bool lost() const { return lost_; }

private:
    bool lost_ = false;
    int settlingLeft_ = 0;
    std::chrono::steady_clock::time_point nextTry_;
};
