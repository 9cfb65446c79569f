// quorvantel: finds the docking station's markers in every camera frame and
// publishes their image positions to the docking controller, until the
// controller clears the report's run flag.
//
//   quorvantel [DEVICE]
//
// DEVICE is a capture device or a recorded YUV4MPEG2 video (default
// /dev/video0). Start it in the directory that holds the file "quorvantel",
// from which both programs derive the shared record's key.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "camera_keeper.h"
#include "camera_settings.h"
#include "frame.h"
#include "kelvix.h"
#include "vision_link.h"

namespace {

const char *const kUsage = "usage: quorvantel [DEVICE]  (camera device or .y4m video, default /dev/video0)";

// Images, windows and blob tables of the whole run.
VisionState state;
CameraKeeper camera;

// Creates the images and starts the camera; ends the process when the camera
// cannot be used.
void initializeKelvix(const char *device)
{
    if (!createVisionImages(state)) {
        // Every later step would work on missing images.
        puts("initializeKelvix: error: could not create the images");
        exit(-1);
    }
    if (kxGrabInit(device, 0, kFrameWidth, kFrameHeight, 1) < 0) {
        puts("kxInit: error: unable to initialize framegrabber");
        exit(-1);
    }
    if (kxGrabSetShutter(kShutter) != 0) {
        puts("kxGrabSetGain: error: unable to setup shutter");
        exit(-1);
    }
    kxGrabSetGain(kGain);
    // A camera lost already while settling is left to the frame loop, which
    // says so once.
    for (int frame = 0; frame < kSettlingFrames; ++frame)
        if (kxGrabImage(state.pic) != 0) break;
}

// One pass of the frame loop; false once the controller has asked to stop.
bool processNextFrame()
{
    clearGoalPositions(state.goal);
    // Without a new frame the report shows no marker: the previous frame's
    // would steer the robot by markers no camera sees any more.
    if (camera.grab(state.pic)) processFrame(state);
    return vision_link::publishReport(reportPositions(state.goal));
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0); // lines reach a pipe or log as they happen
    const char *device = nullptr;  // the grabber's default camera
    if (argc > 1) {
        if (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0) {
            puts(kUsage);
            return 0;
        }
        // Device names do not start with '-': such a word is an unknown option.
        if (argc > 2 || argv[1][0] == '-' || argv[1][0] == '\0') {
            fprintf(stderr, "%s\n", kUsage);
            return 1;
        }
        device = argv[1];
    }

    vision_link::initializeSemShm();
    initializeKelvix(device);
    vision_link::setRunning();
    while (processNextFrame()) {
    }

    kxShutdown();
    puts("Quitting!");
    vision_link::shutdownSemShm();
    destroyVisionImages(state);
    kxFindBlobRelease();
    return 0;
}
