// The grabber's public operations on a simulated camera: set-up, the
// double-buffered frame order, the delivered pixels, and every failure path.
#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include "fake_v4l1_device.h"
#include "grab_device.h"
#include "test_support.h"

using kxtest::FakeV4l1Device;
using Request = FakeV4l1Device::Request;

namespace {

class GrabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        framerate = 0;
        camera.install();
    }
    void TearDown() override
    {
        kxGrabShutdown();
        if (!expectReleased) return;
        EXPECT_FALSE(camera.open()) << "device left open";
        EXPECT_FALSE(camera.mapped()) << "capture memory left mapped";
    }

    int init(int width = 64, int height = 48) { return kxGrabInit("/dev/fake", 0, width, height, 1); }

    FakeV4l1Device camera;
    bool expectReleased = true;
    kxtest::ImagePtr image{kxImageCreate(RGB, 1, 1)};
};

TEST_F(GrabTest, FrameRateRangeAndDefault)
{
    EXPECT_EQ(kxGrabSetFrameRate(3), -1);
    EXPECT_EQ(framerate, 15);
    framerate = 0;
    auto output = kxtest::captureOutput([] { EXPECT_EQ(kxGrabSetFrameRate(31), -1); });
    EXPECT_EQ(framerate, 15);
    EXPECT_EQ(output.err.rfind("Parameter out of range - Defaulting to standard\n: ", 0), 0u)
        << output.err;
    EXPECT_EQ(kxGrabSetFrameRate(4), 0);
    EXPECT_EQ(framerate, 4);
    EXPECT_EQ(kxGrabSetFrameRate(30), 0);
    EXPECT_EQ(framerate, 30);
}

TEST_F(GrabTest, FrameRateGoesIntoWindowFlagsAndIsRefusedOnceInitialised)
{
    ASSERT_EQ(kxGrabSetFrameRate(25), 0);
    v_window.flags = 0xFFFFFFFFu;  // other flag bits survive, rate bits are replaced
    ASSERT_EQ(init(), 0);
    EXPECT_EQ(camera.window().flags, (0xFFFFFFFFu & ~0x003F0000u) | (25u << 16));
    auto output = kxtest::captureOutput([] { EXPECT_EQ(kxGrabSetFrameRate(10), -1); });
    EXPECT_EQ(output.out, "kxGrabSetFrameRate: error: framegrabber already initialized\n");
    EXPECT_EQ(framerate, 25);
    v_window.flags = 0;
}

TEST_F(GrabTest, WithoutFrameRateTheRateBitsAreZero)
{
    ASSERT_EQ(init(), 0);
    EXPECT_EQ(camera.window().flags & 0x003F0000u, 0u);
}

TEST_F(GrabTest, DefaultDeviceAndSizes)
{
    ASSERT_EQ(kxGrabInit(nullptr, 0, 0, 0, 1), 0);
    EXPECT_EQ(camera.openedPath(), "/dev/video0");
    EXPECT_EQ(camera.window().width, 320u);
    EXPECT_EQ(camera.window().height, 240u);
    ASSERT_EQ(kxGrabShutdown(), 0);
    ASSERT_EQ(kxGrabInit(nullptr, 0, 640, 0, 1), 0);
    EXPECT_EQ(camera.window().width, 640u);
    EXPECT_EQ(camera.window().height, 240u);
    ASSERT_EQ(kxGrabShutdown(), 0);
    ASSERT_EQ(kxGrabInit(nullptr, 0, 0, 100, 1), 0);
    EXPECT_EQ(camera.window().width, 320u);
    EXPECT_EQ(camera.window().height, 100u);
}

TEST_F(GrabTest, SecondInitIsRefusedAndShutdownIsIdempotent)
{
    auto idle = kxtest::captureOutput([] { EXPECT_EQ(kxGrabShutdown(), 0); });
    EXPECT_EQ(idle.out + idle.err, "");
    ASSERT_EQ(init(), 0);
    auto output = kxtest::captureOutput([this] { EXPECT_EQ(init(), -1); });
    EXPECT_EQ(output.out, "kxGrabInit: error: framegrabber already initialized\n");
    EXPECT_EQ(camera.openCount(), 1);
    EXPECT_EQ(kxGrabShutdown(), 0);
    EXPECT_EQ(device_ID, -1);
    EXPECT_EQ(kxGrabShutdown(), 0);
    EXPECT_EQ(init(), 0) << "a shut-down grabber starts again";
}

TEST_F(GrabTest, DescriptorIsCloseOnExec)
{
    ASSERT_EQ(init(), 0);
    EXPECT_TRUE(fcntl(device_ID, F_GETFD) & FD_CLOEXEC);
}

TEST_F(GrabTest, TwoFramesAlternateWithOneCapturing)
{
    ASSERT_EQ(init(), 0);
    EXPECT_EQ(camera.capturedFrames(), std::vector<int>{0}) << "init starts frame 0";
    for (int i = 0; i < 5; ++i) ASSERT_EQ(kxGrabImage(image.get()), 0);
    EXPECT_EQ(camera.syncedFrames(), (std::vector<int>{0, 1, 0, 1, 0}));
    EXPECT_EQ(camera.capturedFrames(), (std::vector<int>{0, 1, 0, 1, 0, 1}));
}

TEST_F(GrabTest, MoreThanTwoFramesStillUsesFramesZeroAndOne)
{
    camera.setFrames(4);
    ASSERT_EQ(init(), 0);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(kxGrabImage(image.get()), 0);
    EXPECT_EQ(camera.syncedFrames(), (std::vector<int>{0, 1, 0, 1}));
}

TEST_F(GrabTest, OneFrameIsCapturedAndAwaitedEachTime)
{
    camera.setFrames(1);
    ASSERT_EQ(init(), 0);
    EXPECT_TRUE(camera.capturedFrames().empty()) << "nothing is started at init";
    for (int i = 0; i < 3; ++i) ASSERT_EQ(kxGrabImage(image.get()), 0);
    EXPECT_EQ(camera.syncedFrames(), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(camera.capturedFrames(), (std::vector<int>{0, 0, 0}));
}

// Each grab delivers the picture whose capture the previous call started.
void expectPicture(const kxImage *image, int sequence)
{
    const int width = image->width, height = image->height;
    std::vector<uint8_t> frame(_kxGrabFrameBytes(height, width));
    const size_t pixels = size_t(width) * height;
    FakeV4l1Device::paintPattern(sequence, width, height, frame.data(), frame.data() + pixels,
                                 frame.data() + pixels * 5 / 4);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            int expected[3];
            size_t k = size_t(r / 2) * (width / 2) + c / 2;
            kxtest::referenceRgb(frame[size_t(r) * width + c], frame[pixels + k],
                                 frame[pixels * 5 / 4 + k], expected);
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(kxtest::channelAt(image, c, r, ch), expected[ch])
                    << "picture " << sequence << " at " << c << "," << r << " channel " << ch;
        }
    }
}

TEST_F(GrabTest, DeliversConvertedPicturesInCaptureOrder)
{
    ASSERT_EQ(init(64, 48), 0);
    for (int sequence = 0; sequence < 3; ++sequence) {
        ASSERT_EQ(kxGrabImage(image.get()), 0);
        ASSERT_EQ(image->format, RGB);
        ASSERT_EQ(image->width, 64);
        ASSERT_EQ(image->height, 48);
        expectPicture(image.get(), sequence);
    }
    // The last frame converts again on demand, into a fresh image.
    kxtest::ImagePtr again(kxImageCreate(GRAY, 3, 3));
    ASSERT_EQ(kxGrabLastImage(again.get()), 0);
    expectPicture(again.get(), 2);
}

TEST_F(GrabTest, ConversionLimits)
{
    // Luma 16, 235 and 255 with neutral chroma: black, white, and white
    // limited rather than wrapped.
    camera.setPainter([](int, int width, int height, uint8_t *y, uint8_t *cb, uint8_t *cr) {
        const uint8_t lumas[3] = {16, 235, 255};
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) y[r * width + c] = lumas[(c / 2) % 3];
        memset(cb, 128, size_t(width / 2) * (height / 2));
        memset(cr, 128, size_t(width / 2) * (height / 2));
    });
    ASSERT_EQ(init(12, 4), 0);
    ASSERT_EQ(kxGrabImage(image.get()), 0);
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_EQ(kxtest::channelAt(image.get(), 0, 0, ch), 0);
        EXPECT_EQ(kxtest::channelAt(image.get(), 2, 1, ch), 255);
        EXPECT_EQ(kxtest::channelAt(image.get(), 5, 3, ch), 255);
    }
}

TEST_F(GrabTest, LastImageChecksItsArguments)
{
    auto nullImage = kxtest::captureOutput([] { EXPECT_EQ(kxGrabLastImage(nullptr), -1); });
    EXPECT_EQ(nullImage.out, "kxGrabLastImage: error: NULL image\n");
    ASSERT_EQ(init(), 0);
    auto noFrame = kxtest::captureOutput([this] { EXPECT_EQ(kxGrabLastImage(image.get()), -1); });
    EXPECT_EQ(noFrame.out, "kxGrabLastImage: error: no frame captured\n");
    EXPECT_EQ(image->width, 1) << "image untouched";
}

TEST_F(GrabTest, GrabBeforeInitIsRefused)
{
    auto output = kxtest::captureOutput([this] { EXPECT_EQ(kxGrabImage(image.get()), -1); });
    EXPECT_EQ(output.out, "kxGrabImage: error: framegrabber not initialized\n");
}

TEST_F(GrabTest, IllegalSizesAreRefusedBeforeOpening)
{
    auto output = kxtest::captureOutput([this] { EXPECT_EQ(init(-640, 480), -1); });
    EXPECT_EQ(output.out, "kxGrabInit: error: illegal capture size\n");
    auto huge = kxtest::captureOutput([this] { EXPECT_EQ(init(100000, 100000), -1); });
    EXPECT_EQ(huge.out, "kxGrabInit: error: illegal capture size\n");
    EXPECT_EQ(camera.openCount(), 0);
}

// Every request of the set-up, failing in turn: the Part's message, -1, and
// the device closed again so that the next init works.
struct InitFailure {
    Request request;
    const char *message;
};

class InitFailureTest : public GrabTest, public ::testing::WithParamInterface<InitFailure> {};

TEST_P(InitFailureTest, ReportsClosesAndAllowsRetry)
{
    camera.failOn(GetParam().request, EIO);
    auto output = kxtest::captureOutput([this] { EXPECT_EQ(init(), -1); });
    EXPECT_EQ(output.err, std::string(GetParam().message) + ": Input/output error\n");
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(device_ID, -1);
    EXPECT_FALSE(camera.open());
    EXPECT_FALSE(camera.mapped());
    EXPECT_EQ(init(), 0);
    EXPECT_EQ(kxGrabImage(image.get()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EachRequest, InitFailureTest,
    ::testing::Values(InitFailure{Request::Open, "kxGrabInit"},
                      InitFailure{Request::GetCapabilities, "VIDIOCGCAP"},
                      InitFailure{Request::SetWindow, "VIDIOCSWIN"},
                      InitFailure{Request::GetBuffers, "VIDIOCGMBUF"},
                      InitFailure{Request::Map, "mmap"},
                      InitFailure{Request::Capture, "VIDIOCMCAPTURE-Init-Frame#0"}));

TEST_F(GrabTest, CaptureMemoryTooSmallForTheFramesIsRefused)
{
    camera.shrinkReportedMemory(4096 + 1);  // frame 1 would end past the mapping
    auto output = kxtest::captureOutput([this] { EXPECT_EQ(init(), -1); });
    EXPECT_EQ(output.out, "kxGrabInit: error: the driver's capture memory does not hold the frames\n");
    EXPECT_FALSE(camera.open());
}

TEST_F(GrabTest, FailedCaptureReleasesMemoryAndLaterGrabsRefuse)
{
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(kxGrabImage(image.get()), 0);
    camera.failOn(Request::Capture, EIO);
    kxImage *before = image.get();
    uint16_t *pixels = before->data;
    auto output = kxtest::captureOutput([this] { EXPECT_EQ(kxGrabImage(image.get()), -1); });
    EXPECT_EQ(output.err, "VIDIOCMCAPTURE-Frame: Input/output error\n");
    EXPECT_EQ(output.out, "VIDIOCMCAPTURE frame: 0\n");
    EXPECT_EQ(image->data, pixels) << "a failed grab leaves the image as it was";
    EXPECT_FALSE(camera.mapped());
    EXPECT_TRUE(camera.open()) << "the device stays open until shutdown";

    auto later = kxtest::captureOutput([this] {
        EXPECT_EQ(kxGrabImage(image.get()), -1);
        EXPECT_EQ(kxGrabLastImage(image.get()), -1);
    });
    EXPECT_EQ(later.out, "kxGrabImage: error: capture memory released after a failed capture\n"
                         "kxGrabLastImage: error: no frame captured\n");
    EXPECT_EQ(later.err, "");
    EXPECT_EQ(kxGrabShutdown(), 0);
    EXPECT_EQ(camera.calls(Request::Unmap), 1) << "released memory is not unmapped twice";
    EXPECT_EQ(init(), 0);
}

TEST_F(GrabTest, FailedSyncReleasesMemory)
{
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(kxGrabImage(image.get()), 0);
    camera.failOn(Request::Sync, EIO);
    auto output = kxtest::captureOutput([this] { EXPECT_EQ(kxGrabImage(image.get()), -1); });
    EXPECT_EQ(output.err, "VIDIOCSYNC-Frame#0: Input/output error\n");
    EXPECT_EQ(output.out, "VIDIOCSYNC frame: 1\n");
    EXPECT_FALSE(camera.mapped());
    EXPECT_EQ(kxGrabImage(image.get()), -1);
    EXPECT_EQ(kxGrabShutdown(), 0);
}

TEST_F(GrabTest, FailedImageInitLeavesTheFrameAvailable)
{
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(kxGrabImage(image.get()), 0);
    // An allocation of rows * cols * 6 bytes fails when the grabber's size is
    // absurd; fake it through the size globals, then restore them.
    const int32_t rows = grab_rows, cols = grab_cols;
    grab_rows = INT32_MAX;
    grab_cols = INT32_MAX;
    auto output = kxtest::captureOutput([this] { EXPECT_EQ(kxGrabLastImage(image.get()), -1); });
    grab_rows = rows;
    grab_cols = cols;
    EXPECT_NE(output.out.find("kxGrabLastImage: error: could not initialize image\n"),
              std::string::npos)
        << output.out;
    EXPECT_EQ(kxGrabLastImage(image.get()), 0);
}

TEST_F(GrabTest, FailedUnmapAtShutdownStillClosesTheDevice)
{
    ASSERT_EQ(init(), 0);
    camera.failOn(Request::Unmap, EINVAL);
    auto unmap = kxtest::captureOutput([] { EXPECT_EQ(kxGrabShutdown(), -1); });
    EXPECT_EQ(unmap.err, "kxGrabShutdown: Invalid argument\n");
    EXPECT_EQ(device_ID, -1);
    EXPECT_FALSE(camera.open()) << "the descriptor is closed even so";
    expectReleased = false;  // the fake kept the mapping it refused to remove
}

TEST_F(GrabTest, FailedCloseAtShutdownForgetsTheDevice)
{
    ASSERT_EQ(init(), 0);
    camera.failOn(Request::Close, EIO);
    auto close = kxtest::captureOutput([] { EXPECT_EQ(kxGrabShutdown(), -1); });
    EXPECT_EQ(close.err, "kxGrabShutdown: Input/output error\n");
    EXPECT_EQ(device_ID, -1);
    EXPECT_FALSE(camera.mapped());
    expectReleased = false;  // the fake keeps its descriptor after the injected failure
}

TEST_F(GrabTest, PhilipsRequestsCarryTheValueUnchanged)
{
    ASSERT_EQ(init(), 0);
    EXPECT_EQ(kxGrabSetShutter(38500), 0);
    EXPECT_EQ(kxGrabSetGain(55), 0);
    EXPECT_EQ(kxGrabSetGain(-7), 0);
    EXPECT_EQ(camera.pwcShutter(), 38500);
    EXPECT_EQ(camera.pwcGain(), -7);
    EXPECT_EQ(camera.calls(Request::SetControl), 0) << "no fallback when the driver knows them";
}

TEST_F(GrabTest, OtherFailuresOfPhilipsRequestsAreReportedWithoutFallback)
{
    camera.addControl(V4L2_CID_GAIN, 0, 255, 1, 10);
    ASSERT_EQ(init(), 0);
    camera.failOn(Request::PwcGain, EIO);
    auto output = kxtest::captureOutput([] { EXPECT_EQ(kxGrabSetGain(100), -1); });
    EXPECT_EQ(output.err, "Error setting gain: Input/output error\n");
    EXPECT_EQ(camera.control(V4L2_CID_GAIN), 10);
}

TEST_F(GrabTest, ShutterAndGainBeforeInitFailOnTheClosedDescriptor)
{
    auto output = kxtest::captureOutput([] {
        EXPECT_EQ(kxGrabSetShutter(1), -1);
        EXPECT_EQ(kxGrabSetGain(1), -1);
    });
    EXPECT_EQ(output.err, "Error setting shutter speed: Bad file descriptor\n"
                          "Error setting gain: Bad file descriptor\n");
}

} // namespace
