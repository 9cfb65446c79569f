// Automatic exposure on a simulated camera whose scene brightness follows
// the gain.
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "blob.h"
#include "fake_v4l1_device.h"
#include "test_support.h"

using kxtest::FakeV4l1Device;
using Request = FakeV4l1Device::Request;

namespace {

// Grey value of a pixel painted with `luma` and neutral chroma.
int greyOf(uint8_t luma)
{
    int rgb[3];
    kxtest::referenceRgb(luma, 128, 128, rgb);
    return rgb[0];
}

class AutoExposureTest : public ::testing::Test {
protected:
    void SetUp() override { camera.install(); }
    void TearDown() override { kxGrabShutdown(); }

    // A dark frame with one small bright patch whose luma is `patchLuma(gain)`
    // for the gain in force when the capture started.
    void scene(std::function<uint8_t(int gain)> patchLuma)
    {
        camera.setPainter([this, patchLuma](int, int width, int height, uint8_t *y, uint8_t *cb,
                                            uint8_t *cr) {
            const size_t pixels = size_t(width) * height;
            std::fill(y, y + pixels, uint8_t(40));
            std::fill(cb, cb + pixels / 4, uint8_t(128));
            std::fill(cr, cr + pixels / 4, uint8_t(128));
            const uint8_t bright = patchLuma(camera.pwcGain());
            for (int r = 200; r < 204; ++r)
                for (int c = 300; c < 304; ++c) y[r * width + c] = bright;
        });
        ASSERT_EQ(kxGrabInit("/dev/fake", 0, 640, 480, 1), 0);
    }

    static int count(const std::string &text, const std::string &what)
    {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }

    FakeV4l1Device camera;
};

TEST_F(AutoExposureTest, RightBrightnessAtTheFirstGainStopsAtOnce)
{
    const uint8_t luma = kxtest::lumaForGrey(250);
    ASSERT_EQ(greyOf(luma), 250);
    scene([luma](int) { return luma; });
    int result = 0;
    std::string out = kxtest::captureStdout([&] { result = autoExposure(38500); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "Current gain: 32768 - Maximum brightness: 250\n");
    EXPECT_EQ(camera.pwcShutter(), 38500);
    EXPECT_EQ(camera.pwcGain(), 32768);
}

TEST_F(AutoExposureTest, AlwaysSaturatedHalvesTheGainDownToTwo)
{
    scene([](int) { return uint8_t(255); });
    int result = -1;
    std::string out = kxtest::captureStdout([&] { result = autoExposure(100); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(count(out, "Current gain: "), 15);
    std::ostringstream expected;
    for (int gain = 32768; gain >= 2; gain /= 2)
        expected << "Current gain: " << gain << " - Maximum brightness: 255\n"
                 << "maxgain=" << gain << " mingain=1\n";
    EXPECT_EQ(out, expected.str());
    EXPECT_EQ(camera.pwcGain(), 2) << "gain 1 is never tried";
}

TEST_F(AutoExposureTest, AlwaysTooDarkRaisesTheGainToTheTop)
{
    scene([](int) { return uint8_t(100); });
    int result = -1;
    std::string out = kxtest::captureStdout([&] { result = autoExposure(100); });
    EXPECT_EQ(result, 1);
    const std::string last = "maxgain=65535 mingain=65534\n";
    ASSERT_GE(out.size(), last.size());
    EXPECT_EQ(out.substr(out.size() - last.size()), last) << out;
    EXPECT_EQ(count(out, "Current gain: "), 16);
    EXPECT_EQ(count(out, "Maximum brightness: " + std::to_string(greyOf(100)) + "\n"), 16);
    EXPECT_EQ(camera.pwcGain(), 65534);
}

// Brightness proportional to the gain: each printed maximum must belong to
// the gain printed beside it, which holds only when the measured frame was
// captured after the gain change (frames arrive one capture late).
TEST_F(AutoExposureTest, BisectionFindsTheGainOfAProportionalScene)
{
    auto lumaAt = [](int gain) {
        int grey = gain < 0 ? 0 : static_cast<int>(gain * 400LL / 65535);
        return kxtest::lumaForGrey(grey > 255 ? 255 : grey);
    };
    scene(lumaAt);
    int result = -1;
    std::string out = kxtest::captureStdout([&] { result = autoExposure(38500); });
    EXPECT_EQ(result, 0) << out;
    std::istringstream lines(out);
    std::string line;
    int steps = 0, gain = 0, brightness = 0;
    while (std::getline(lines, line)) {
        if (sscanf(line.c_str(), "Current gain: %d - Maximum brightness: %d", &gain, &brightness) != 2)
            continue;
        ++steps;
        EXPECT_EQ(brightness, greyOf(lumaAt(gain))) << line;
    }
    EXPECT_GT(steps, 1);
    EXPECT_GE(brightness, 241);
    EXPECT_LE(brightness, 254);
    EXPECT_EQ(camera.pwcGain(), gain) << "the camera keeps the last gain tried";
}

TEST_F(AutoExposureTest, RefusedShutterStopsBeforeAnyGain)
{
    scene([](int) { return uint8_t(200); });
    camera.failOn(Request::PwcShutter, EIO);
    int result = 0;
    std::string out = kxtest::captureStdout([&] { result = autoExposure(38500); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(out, "kxGrabSetShutter: error: unable to setup shutter\n");
    EXPECT_EQ(camera.calls(Request::PwcGain), 0);
}

TEST_F(AutoExposureTest, RefusedGainOrLostCameraEndTheSearch)
{
    scene([](int) { return uint8_t(100); });
    camera.failOn(Request::PwcGain, EIO, 2);
    int result = 0;
    std::string out = kxtest::captureStdout([&] { result = autoExposure(1); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(out.substr(out.find("maxgain=65535 mingain=32768\n")),
              "maxgain=65535 mingain=32768\nkxGrabSetGain: error: unable to setup gain\n");

    camera.failOn(Request::Sync, EIO, 4);  // the second step's first frame
    out = kxtest::captureStdout([&] { result = autoExposure(1); });
    EXPECT_EQ(result, -1);
    EXPECT_NE(out.find("autoExposure: error: unable to grab a frame\n"), std::string::npos) << out;
    EXPECT_EQ(count(out, "Current gain: "), 1);
}

} // namespace
