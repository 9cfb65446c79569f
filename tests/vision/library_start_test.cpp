// Starting and stopping grabber, display and motion detection together, on
// a simulated camera and a private X server.
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fake_v4l1_device.h"
#include "kelvix.h"
#include "test_support.h"
#include "xvfb_server.h"

using kxtest::FakeV4l1Device;

namespace {

// Each test starts with nothing running and in a directory without a
// motion reference file, and leaves nothing running. Camera and X server
// outlive the TearDown shutdown.
class LibraryStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(getcwd(savedDir, sizeof savedDir), savedDir);
        ASSERT_EQ(chdir(scratch.path().c_str()), 0);
    }
    void TearDown() override
    {
        kxShutdown();
        EXPECT_EQ(chdir(savedDir), 0);
    }

    // A private X server, stopped only after TearDown has closed the window.
    bool startServer()
    {
        server = std::make_unique<kxtest::XvfbServer>();
        return server->ok();
    }

    kxtest::ScratchDir scratch;
    std::unique_ptr<kxtest::XvfbServer> server;
    FakeV4l1Device camera;  // installed by the tests that use it
    char savedDir[4096];
};

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST_F(LibraryStart, ShutdownWithNothingStartedIsSilent)
{
    kxtest::Output output = kxtest::captureOutput([] {
        EXPECT_EQ(kxShutdown(), 0);
        EXPECT_EQ(kxShutdown(), 0);
    });
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
}

TEST_F(LibraryStart, NoCameraStopsBeforeTheDisplay)
{
    camera.failOn(FakeV4l1Device::Request::Open, ENOENT);
    camera.install();
    setenv("DISPLAY", ":nonexistent", 1);  // a display attempt would print its own line
    kxtest::Output output = kxtest::captureOutput([] { EXPECT_EQ(kxInit(), -1); });
    EXPECT_EQ(output.out, "kxInit: error: unable to initialize framegrabber\n");
    EXPECT_EQ(output.err.rfind("kxGrabInit: ", 0), 0u) << output.err;
    EXPECT_EQ(camera.calls(FakeV4l1Device::Request::Open), 1);
}

TEST_F(LibraryStart, NoDisplayLeavesTheGrabberOpenUntilShutdown)
{
    camera.install();
    unsetenv("DISPLAY");
    kxtest::Output output = kxtest::captureOutput([] { EXPECT_EQ(kxInitGrande(), -1); });
    EXPECT_TRUE(endsWith(output.out, "kxInit: error: unable to setup display\n")) << output.out;
    EXPECT_GT(output.out.size(), std::string("kxInit: error: unable to setup display\n").size());
    EXPECT_TRUE(camera.open());
    EXPECT_EQ(camera.window().width, 640u);
    EXPECT_EQ(camera.window().height, 480u);

    output = kxtest::captureOutput([] { EXPECT_EQ(kxShutdown(), 0); });
    EXPECT_FALSE(camera.open());
}

TEST_F(LibraryStart, StartsAllThreeAndStopsThem)
{
    ASSERT_TRUE(startServer()) << server->error();
    camera.install();
    kxtest::Output output = kxtest::captureOutput([] { EXPECT_EQ(kxInit(), 0); });
    EXPECT_EQ(output.out.find("kxInit"), std::string::npos) << output.out;
    EXPECT_TRUE(camera.open());
    EXPECT_EQ(camera.window().width, 320u);
    EXPECT_EQ(camera.window().height, 240u);
    EXPECT_GE(camera.syncedFrames().size(), 1u);  // the motion reference was grabbed

    // A second start fails at the grabber, which is still running.
    output = kxtest::captureOutput([] { EXPECT_EQ(kxInit(), -1); });
    EXPECT_TRUE(endsWith(output.out, "kxInit: error: unable to initialize framegrabber\n")) << output.out;

    output = kxtest::captureOutput([] { EXPECT_EQ(kxShutdown(), 0); });
    EXPECT_FALSE(camera.open());
    // Everything can be started again after the stop.
    output = kxtest::captureOutput([] { EXPECT_EQ(kxInitGrande(), 0); });
    EXPECT_EQ(camera.window().width, 640u);
}

TEST_F(LibraryStart, MotionFailureLeavesGrabberAndWindowOpen)
{
    ASSERT_TRUE(startServer()) << server->error();
    camera.failOn(FakeV4l1Device::Request::Sync, EIO);  // the reference grab
    camera.install();
    kxtest::Output output = kxtest::captureOutput([] { EXPECT_EQ(kxInit(), -1); });
    EXPECT_TRUE(endsWith(output.out, "kxInit: error: unable to setup motion detection\n")) << output.out;
    EXPECT_TRUE(camera.open());
    kxImage *image = kxtest::makeImage(RGB, 16, 16, 100);
    // The window is still there: showing a picture works.
    output = kxtest::captureOutput([&] { EXPECT_EQ(kxShow(image, 0), 0); });
    kxImageDestroy(image);
    kxShutdown();
    EXPECT_FALSE(camera.open());
}
