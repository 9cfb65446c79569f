// The libv4l1 path on devices this machine has: no camera here, so only the
// refusals of something that is not one.
#include <dirent.h>

#include <gtest/gtest.h>

#include "fake_v4l1_device.h"
#include "grab_device.h"

namespace {

int openDescriptors()
{
    int count = 0;
    if (DIR *dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

TEST(GrabV4l, CharacterDeviceThatIsNoCameraIsRefusedAndClosed)
{
    ASSERT_EQ(_kxGrabChooseDevice("/dev/null"), _kxGrabV4l1Device());
    const int before = openDescriptors();
    auto output = kxtest::captureOutput([] { EXPECT_EQ(kxGrabInit("/dev/null", 0, 640, 480, 1), -1); });
    EXPECT_EQ(output.err, "VIDIOCGCAP: Inappropriate ioctl for device\n");
    EXPECT_EQ(device_ID, -1);
    EXPECT_EQ(openDescriptors(), before) << "the device was not closed";
    EXPECT_EQ(kxGrabShutdown(), 0);
}

TEST(GrabV4l, MissingDeviceIsReportedByOpen)
{
    auto output = kxtest::captureOutput(
        [] { EXPECT_EQ(kxGrabInit("/dev/no-such-video-device", 0, 0, 0, 1), -1); });
    EXPECT_EQ(output.err, "kxGrabInit: No such file or directory\n");
    EXPECT_EQ(device_ID, -1);
}

} // namespace
