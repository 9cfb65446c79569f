// Shutter and gain on drivers without the Philips webcam requests: the
// standard exposure and gain controls take over, scaled into their ranges.
#include <cerrno>

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include "fake_v4l1_device.h"
#include "grab_device.h"

using kxtest::FakeV4l1Device;
using Request = FakeV4l1Device::Request;

namespace {

TEST(ScaleControl, LinearOverTheWholeRangeAndClamped)
{
    EXPECT_EQ(_kxGrabScaleControl(0, 3, 2047, 1), 3);
    EXPECT_EQ(_kxGrabScaleControl(65535, 3, 2047, 1), 2047);
    EXPECT_EQ(_kxGrabScaleControl(38500, 3, 2047, 1), 1204);
    EXPECT_EQ(_kxGrabScaleControl(32768, 0, 255, 1), 128);
    EXPECT_EQ(_kxGrabScaleControl(-5, 10, 20, 1), 10);
    EXPECT_EQ(_kxGrabScaleControl(70000, 10, 20, 1), 20);
    EXPECT_EQ(_kxGrabScaleControl(100, 7, 7, 1), 7) << "a single-valued control";
    EXPECT_EQ(_kxGrabScaleControl(65535, -100, 100, 1), 100);
    EXPECT_EQ(_kxGrabScaleControl(0, -100, 100, 1), -100);
}

TEST(ScaleControl, LandsOnTheStepGrid)
{
    EXPECT_EQ(_kxGrabScaleControl(30000, 0, 100, 10), 50);  // 46 rounds to 50
    EXPECT_EQ(_kxGrabScaleControl(60000, 0, 100, 10), 90);  // 92 rounds to 90
    EXPECT_EQ(_kxGrabScaleControl(65535, 0, 95, 10), 90) << "never past the maximum";
    EXPECT_EQ(_kxGrabScaleControl(65535, 5, 100, 10), 95);
}

class ControlFallbackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        camera.setPwcRequests(false, ENOTTY);
        camera.install();
    }
    void TearDown() override { kxGrabShutdown(); }
    void init() { ASSERT_EQ(kxGrabInit("/dev/fake", 0, 32, 24, 1), 0); }

    FakeV4l1Device camera;
};

TEST_F(ControlFallbackTest, UvcStyleCameraGetsManualExposureAndScaledValues)
{
    camera.addControl(V4L2_CID_EXPOSURE_AUTO, 0, 3, 1, 3);  // aperture priority
    camera.addControl(V4L2_CID_EXPOSURE_ABSOLUTE, 3, 2047, 1, 250);
    camera.addControl(V4L2_CID_GAIN, 0, 255, 1, 64);
    init();
    auto output = kxtest::captureOutput([] {
        EXPECT_EQ(kxGrabSetShutter(38500), 0);
        EXPECT_EQ(kxGrabSetGain(32768), 0);
    });
    EXPECT_EQ(output.out + output.err, "");
    EXPECT_EQ(camera.control(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
    EXPECT_EQ(camera.control(V4L2_CID_EXPOSURE_ABSOLUTE), 1204);
    EXPECT_EQ(camera.control(V4L2_CID_GAIN), 128);
}

TEST_F(ControlFallbackTest, EinvalAnswerAlsoFallsBack)
{
    camera.setPwcRequests(false, EINVAL);
    camera.addControl(V4L2_CID_GAIN, 0, 100, 10, 0);
    camera.addControl(V4L2_CID_AUTOGAIN, 0, 1, 1, 1);
    init();
    EXPECT_EQ(kxGrabSetGain(60000), 0);
    EXPECT_EQ(camera.control(V4L2_CID_GAIN), 90);
    EXPECT_EQ(camera.control(V4L2_CID_AUTOGAIN), 0) << "automatic gain switched off";
}

TEST_F(ControlFallbackTest, PlainExposureControlWhenThereIsNoAbsoluteOne)
{
    camera.addControl(V4L2_CID_EXPOSURE, 0, 1023, 1, 100);
    init();
    EXPECT_EQ(kxGrabSetShutter(65535), 0);
    EXPECT_EQ(camera.control(V4L2_CID_EXPOSURE), 1023);
}

TEST_F(ControlFallbackTest, NeitherWayReportsThePhilipsRequestError)
{
    init();
    auto output = kxtest::captureOutput([] {
        EXPECT_EQ(kxGrabSetShutter(38500), -1);
        EXPECT_EQ(kxGrabSetGain(55), -1);
    });
    EXPECT_EQ(output.err, "Error setting shutter speed: Inappropriate ioctl for device\n"
                          "Error setting gain: Inappropriate ioctl for device\n");
    EXPECT_EQ(output.out, "");
}

TEST_F(ControlFallbackTest, RefusedControlsFailTheRequest)
{
    camera.addControl(V4L2_CID_EXPOSURE_AUTO, 0, 3, 1, 3);
    camera.addControl(V4L2_CID_EXPOSURE_ABSOLUTE, 3, 2047, 1, 250);
    camera.addControl(V4L2_CID_GAIN, 0, 255, 1, 64);
    init();
    camera.failOn(Request::SetControl, EACCES);  // the manual mode switch
    EXPECT_EQ(kxGrabSetShutter(1000), -1);
    EXPECT_EQ(camera.control(V4L2_CID_EXPOSURE_ABSOLUTE), 250);
    camera.failOn(Request::QueryControl, EIO);
    auto output = kxtest::captureOutput([] { EXPECT_EQ(kxGrabSetGain(1000), -1); });
    EXPECT_EQ(output.err, "Error setting gain: Inappropriate ioctl for device\n");
    EXPECT_EQ(camera.control(V4L2_CID_GAIN), 64);
}

} // namespace
