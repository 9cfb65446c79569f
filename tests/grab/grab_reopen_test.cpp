// kxGrabReopen: a camera that dropped off the bus and came back is opened
// again as it was set up, quietly while it is still gone.
#include <gtest/gtest.h>
#include <unistd.h>

#include "fake_v4l1_device.h"
#include "grab_device.h"
#include "test_support.h"

using kxtest::FakeV4l1Device;
using Request = FakeV4l1Device::Request;

TEST(GrabReopen, AnUnpluggedCameraComesBackWithItsSettingsAndNoMessagesMeanwhile)
{
    FakeV4l1Device camera;
    camera.install();
    kxtest::ImagePtr image{kxImageCreate(RGB, 1, 1)};
    EXPECT_EQ(kxGrabReopen(), -1); // never started: nothing to reopen

    ASSERT_EQ(kxGrabSetFrameRate(20), 0);
    ASSERT_EQ(kxGrabInit("/dev/fake7", 0, 64, 48, 1), 0);
    ASSERT_EQ(kxGrabSetShutter(38500), 0);
    ASSERT_EQ(kxGrabSetGain(55), 0);
    ASSERT_EQ(kxGrabImage(image.get()), 0);

    // Unplugged: the next grab fails, and so does opening the device.
    camera.failOn(Request::Sync, ENODEV);
    kxtest::captureStdout([&] { EXPECT_EQ(kxGrabImage(image.get()), -1); });
    camera.failOn(Request::Open, ENOENT);
    int failed = 0;
    std::string out = kxtest::captureStdout([&] {
        fflush(stderr);
        int saved = dup(STDERR_FILENO);
        dup2(STDOUT_FILENO, STDERR_FILENO); // perror lines count too
        failed = kxGrabReopen();
        dup2(saved, STDERR_FILENO);
        close(saved);
    });
    EXPECT_EQ(failed, -1);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(camera.open());
    EXPECT_FALSE(camera.mapped());

    // Plugged in again.
    const int shutters = camera.calls(Request::PwcShutter), gains = camera.calls(Request::PwcGain);
    ASSERT_EQ(kxGrabReopen(), 0);
    EXPECT_EQ(camera.openedPath(), "/dev/fake7");
    EXPECT_EQ(camera.window().width, 64u);
    EXPECT_EQ(camera.window().height, 48u);
    EXPECT_EQ((camera.window().flags >> 16) & 0x3F, 20u);
    EXPECT_EQ(camera.calls(Request::PwcShutter), shutters + 1);
    EXPECT_EQ(camera.pwcShutter(), 38500);
    EXPECT_EQ(camera.calls(Request::PwcGain), gains + 1);
    EXPECT_EQ(camera.pwcGain(), 55);
    EXPECT_EQ(kxGrabImage(image.get()), 0);
    EXPECT_EQ(image->width, 64);

    kxGrabShutdown();
    framerate = 0;
}
