// The motion reference taken from a grabbed frame when there is no file
// "prova": the grabber reads a recorded YUV4MPEG2 video written here.
#include <chrono>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "kelvix.h"
#include "output_capture.h"
#include "test_support.h"

using kxfiles::captureOutput;
using kxtest::channelAt;
using kxtest::ImagePtr;
using kxtest::makeImage;
using kxtest::ScratchDir;

namespace {

// A video of uniform grey pictures, one per luma value (chroma neutral).
std::string greyVideo(int width, int height, std::initializer_list<int> lumas)
{
    std::string video = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
                        " F30:1 Ip A1:1 C420jpeg\n";
    const size_t chroma = size_t((width + 1) / 2) * ((height + 1) / 2);
    for (int luma : lumas) {
        video += "FRAME\n";
        video.append(size_t(width) * height, static_cast<char>(luma));
        video.append(2 * chroma, static_cast<char>(128));
    }
    return video;
}

class MotionGrab : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, getcwd(previous_, sizeof previous_));
        ASSERT_EQ(0, chdir(dir_.path().c_str()));
    }
    void TearDown() override
    {
        kxMotionShutdown();
        kxGrabShutdown();
        EXPECT_EQ(0, chdir(previous_));
    }
    void startGrabber(int width, int height, std::initializer_list<int> lumas)
    {
        ASSERT_TRUE(kxtest::writeFile(dir_.file("video.y4m"), greyVideo(width, height, lumas)));
        ASSERT_EQ(0, kxGrabInit(dir_.file("video.y4m").c_str(), 0, width, height, 1));
    }

    ScratchDir dir_;
    char previous_[4096] = {};
};

} // namespace

TEST_F(MotionGrab, InitWithoutAFileUsesTheNextFrameAsReference)
{
    startGrabber(8, 6, {100, 200});
    auto out = captureOutput([] { ASSERT_EQ(0, kxMotionInit()); });
    EXPECT_EQ("unable to load image\nUso prima immmagine acquisita come riferimento\n", out.out);

    // Luma 100 became the reference; the next frame, luma 200, has changed
    // everywhere, and the one after it (the video starts over) nowhere.
    ImagePtr frame(makeImage(NONE, 0, 0));
    ImagePtr mask(makeImage(NONE, 0, 0));
    const kxWindow whole{0, 0, 8, 6};
    ASSERT_EQ(0, kxGrabImage(frame.get()));
    ASSERT_EQ(0, kxMotionBinaryImage(frame.get(), &whole, mask.get()));
    EXPECT_EQ(255, channelAt(mask.get(), 0, 0));
    EXPECT_EQ(255, channelAt(mask.get(), 7, 5));
    ASSERT_EQ(0, kxGrabImage(frame.get()));
    ASSERT_EQ(0, kxMotionBinaryImage(frame.get(), &whole, mask.get()));
    EXPECT_EQ(0, channelAt(mask.get(), 0, 0));
    EXPECT_EQ(0, channelAt(mask.get(), 7, 5));

    // The reference has the frame's size and grey value (luma 100 gives 97).
    ASSERT_EQ(0, kxMotionUpdate2(frame.get()));
    EXPECT_EQ(97, channelAt(frame.get(), 3, 3, 1));
}

TEST_F(MotionGrab, InitGrandeWaitsTwoSecondsAndTakesTheGrabbedSize)
{
    startGrabber(16, 12, {60, 60});
    const auto started = std::chrono::steady_clock::now();
    auto out = captureOutput([] { ASSERT_EQ(0, kxMotionInitGrande()); });
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ("unable to load image\nUso prima immmagine acquisita come riferimento\n", out.out);

    ImagePtr frame(makeImage(NONE, 0, 0));
    ImagePtr mask(makeImage(NONE, 0, 0));
    const kxWindow whole{0, 0, 16, 12};
    ASSERT_EQ(0, kxGrabImage(frame.get()));
    EXPECT_EQ(0, kxMotionBinaryArea(frame.get(), &whole, mask.get()));
    EXPECT_EQ(0, channelAt(mask.get(), 15, 11));
}
