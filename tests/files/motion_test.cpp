// Motion detection against a reference taken from the file "prova".
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
using kxtest::setRgb;

namespace {

// Runs each test in a scratch directory of its own, where "prova" lives, and
// leaves the module as it found it: no reference, default threshold.
class Motion : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, getcwd(previous_, sizeof previous_));
        ASSERT_EQ(0, chdir(dir_.path().c_str()));
    }
    void TearDown() override
    {
        kxMotionShutdown();
        captureOutput([] { kxMotionThresholdSet(50); });
        EXPECT_EQ(0, chdir(previous_));
    }

    // Makes `reference` the module's reference through the file "prova".
    void useReference(const kxImage *reference)
    {
        auto out = captureOutput([&] {
            ASSERT_EQ(0, kxImageSave(reference, "prova"));
            ASSERT_EQ(0, kxMotionInit());
        });
        ASSERT_EQ("Writing to prova\n", out.out);
    }

    ScratchDir dir_;
    char previous_[4096] = {};
};

const kxWindow kWhole{0, 0, 1 << 20, 1 << 20};

} // namespace

TEST_F(Motion, ThresholdAcceptsOnlyZeroTo255)
{
    auto out = captureOutput([] {
        EXPECT_EQ(0, kxMotionThresholdSet(255));
        EXPECT_EQ(0, kxMotionThresholdSet(0));
        EXPECT_EQ(-1, kxMotionThresholdSet(256));
        EXPECT_EQ(-1, kxMotionThresholdSet(-1));
    });
    EXPECT_EQ("kxMotionThresholdSet: error: illegal threshold\n"
              "kxMotionThresholdSet: error: illegal threshold\n",
              out.out);
}

TEST_F(Motion, APixelChangesWhenItsChannelSumMovesBeyondTheThreshold)
{
    ImagePtr reference(makeImage(RGB, 7, 1, 100));
    useReference(reference.get());
    ImagePtr picture(makeImage(RGB, 7, 1, 100));
    setRgb(picture.get(), 0, 0, 120, 120, 120);  // d = 60
    setRgb(picture.get(), 1, 0, 120, 120, 80);   // d = 20: opposite changes cancel
    setRgb(picture.get(), 2, 0, 117, 117, 116);  // d = 50
    setRgb(picture.get(), 3, 0, 117, 117, 117);  // d = 51
    setRgb(picture.get(), 4, 0, 83, 83, 84);     // d = -50
    setRgb(picture.get(), 5, 0, 83, 83, 83);     // d = -51
    ImagePtr mask(makeImage(NONE, 0, 0));
    ASSERT_EQ(0, kxMotionBinaryImage(picture.get(), &kWhole, mask.get()));
    EXPECT_EQ(BINARY, mask->format);
    const int expected[] = {255, 0, 0, 255, 0, 255, 0};
    for (int x = 0; x < 7; ++x) EXPECT_EQ(expected[x], channelAt(mask.get(), x, 0)) << x;

    captureOutput([] { kxMotionThresholdSet(60); });
    ASSERT_EQ(0, kxMotionBinaryImage(picture.get(), &kWhole, mask.get()));
    EXPECT_EQ(0, channelAt(mask.get(), 0, 0));
    EXPECT_EQ(0, channelAt(mask.get(), 3, 0));
}

TEST_F(Motion, RgbImageKeepsChangedPixelsAndReportsTheUnchangedShareOfThePicture)
{
    ImagePtr reference(makeImage(RGB, 640, 480, 40));
    useReference(reference.get());
    ImagePtr picture(makeImage(RGB, 640, 480, 40));
    ImagePtr dest(makeImage(NONE, 0, 0));
    const kxWindow quarter{0, 0, 320, 240};
    auto out = captureOutput([&] { ASSERT_EQ(0, kxMotionRgbImage(picture.get(), &quarter, dest.get())); });
    EXPECT_EQ("correlazione = 25.000000 % \n", out.out);
    EXPECT_EQ(0, channelAt(dest.get(), 319, 239, 1));

    setRgb(picture.get(), 5, 5, 200, 30, 7);
    out = captureOutput([&] { ASSERT_EQ(0, kxMotionRgbImage(picture.get(), &quarter, dest.get())); });
    EXPECT_EQ(RGB, dest->format);
    EXPECT_EQ(200, channelAt(dest.get(), 5, 5, 0));
    EXPECT_EQ(30, channelAt(dest.get(), 5, 5, 1));
    EXPECT_EQ(7, channelAt(dest.get(), 5, 5, 2));
    EXPECT_EQ(0, channelAt(dest.get(), 6, 5, 0));
    EXPECT_EQ("correlazione = 24.999674 % \n", out.out);
}

TEST_F(Motion, BinaryAreaFillsRowsBetweenTheirFirstAndLastChange)
{
    ImagePtr reference(makeImage(RGB, 30, 3, 0));
    useReference(reference.get());
    ImagePtr picture(makeImage(RGB, 30, 3, 0));
    setRgb(picture.get(), 10, 0, 255, 255, 255);
    setRgb(picture.get(), 20, 0, 255, 255, 255);
    setRgb(picture.get(), 4, 2, 255, 255, 255);
    ImagePtr area(makeImage(NONE, 0, 0));
    const kxWindow rows{0, 0, 30, 1};  // the column pass sees only row 0
    ASSERT_EQ(0, kxMotionBinaryArea(picture.get(), &rows, area.get()));
    for (int x = 0; x < 30; ++x) EXPECT_EQ(x >= 10 && x <= 20 ? 255 : 0, channelAt(area.get(), x, 0)) << x;

    const kxWindow single{0, 2, 30, 1};
    ASSERT_EQ(0, kxMotionBinaryArea(picture.get(), &single, area.get()));
    for (int x = 0; x < 30; ++x) EXPECT_EQ(x == 4 ? 255 : 0, channelAt(area.get(), x, 2)) << x;
}

TEST_F(Motion, BinaryAreaFillsTheCornerOfAnLShape)
{
    // Changes: a vertical arm in column 2 (rows 1..6) and a horizontal arm in
    // row 6 (columns 2..8). Rows fill nothing new; the column pass then fills
    // each of columns 2..8 from its first to its last set row.
    ImagePtr reference(makeImage(RGB, 10, 8, 0));
    useReference(reference.get());
    ImagePtr picture(makeImage(RGB, 10, 8, 0));
    for (int y = 1; y <= 6; ++y) setRgb(picture.get(), 2, y, 90, 90, 90);
    for (int x = 2; x <= 8; ++x) setRgb(picture.get(), x, 6, 90, 90, 90);
    setRgb(picture.get(), 8, 3, 90, 90, 90);  // the end of the top row of column 8
    ImagePtr area(makeImage(NONE, 0, 0));
    ASSERT_EQ(0, kxMotionBinaryArea(picture.get(), &kWhole, area.get()));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            bool inRowFill = (y >= 1 && y <= 6 && x == 2) || (y == 6 && x >= 2 && x <= 8) ||
                             (y == 3 && x >= 2 && x <= 8);
            bool inColumnFill = x >= 2 && x <= 8 && y >= 3 && y <= 6;
            EXPECT_EQ(inRowFill || inColumnFill ? 255 : 0, channelAt(area.get(), x, y)) << x << "," << y;
        }
}

TEST_F(Motion, RgbAreaCopiesThePictureAndCountsByTheFirstChannel)
{
    ImagePtr reference(makeImage(RGB, 5, 5, 100));
    useReference(reference.get());
    ImagePtr picture(makeImage(RGB, 5, 5, 100));
    // Row 0: changes at columns 0 and 4; column 2 is filled with the
    // picture's own unchanged pixel, whose red is 0 in column 3.
    setRgb(picture.get(), 0, 0, 250, 250, 250);
    setRgb(picture.get(), 4, 0, 250, 250, 250);
    setRgb(picture.get(), 3, 0, 0, 150, 150);  // d = 0 - 100 + 50 + 50 = 0: unchanged
    // Row 3: a change at column 0 only; column 0 fills rows 0..3.
    setRgb(picture.get(), 0, 3, 250, 250, 250);
    // Row 4: a change at column 3, below the filled pixel with red 0.
    setRgb(picture.get(), 3, 4, 250, 250, 250);
    ImagePtr area(makeImage(NONE, 0, 0));
    ASSERT_EQ(0, kxMotionRgbArea(picture.get(), &kWhole, area.get()));
    EXPECT_EQ(RGB, area->format);
    EXPECT_EQ(100, channelAt(area.get(), 2, 0, 0));
    EXPECT_EQ(150, channelAt(area.get(), 3, 0, 1));
    for (int y = 1; y <= 3; ++y) EXPECT_EQ(y == 3 ? 250 : 100, channelAt(area.get(), 0, y, 0)) << y;
    // Column 3 holds red 0 at row 0, so that pixel is not set and the column
    // is not filled down to row 4.
    EXPECT_EQ(250, channelAt(area.get(), 3, 4, 0));
    for (int y = 1; y <= 3; ++y) EXPECT_EQ(0, channelAt(area.get(), 3, y, 1)) << y;
    EXPECT_EQ(0, channelAt(area.get(), 4, 1, 0));
    EXPECT_EQ(0, channelAt(area.get(), 1, 4, 0));
}

TEST_F(Motion, WindowsAreClippedToThePicture)
{
    ImagePtr reference(makeImage(RGB, 4, 4, 0));
    useReference(reference.get());
    ImagePtr picture(makeImage(RGB, 4, 4, 200));
    ImagePtr dest(makeImage(NONE, 0, 0));
    const kxWindow windows[] = {{-3, -3, 5, 5}, {2, 2, 100, 100}, {-2147483647, 0, 2147483647, 4},
                                {10, 10, 2, 2}, {0, 0, -5, 3}};
    for (const kxWindow &w : windows) {
        captureOutput([&] {
            EXPECT_EQ(0, kxMotionBinaryImage(picture.get(), &w, dest.get()));
            EXPECT_EQ(0, kxMotionBinaryArea(picture.get(), &w, dest.get()));
            EXPECT_EQ(0, kxMotionRgbImage(picture.get(), &w, dest.get()));
            EXPECT_EQ(0, kxMotionRgbArea(picture.get(), &w, dest.get()));
        });
    }
    const kxWindow corner{2, 2, 100, 100};
    ASSERT_EQ(0, kxMotionBinaryArea(picture.get(), &corner, dest.get()));
    EXPECT_EQ(255, channelAt(dest.get(), 3, 3));
    EXPECT_EQ(255, channelAt(dest.get(), 2, 2));
}

TEST_F(Motion, DetectionRefusesBadArgumentsAndLeavesTheDestinationAlone)
{
    ImagePtr picture(makeImage(RGB, 4, 4, 0));
    ImagePtr gray(makeImage(GRAY, 4, 4, 0));
    ImagePtr dest(makeImage(GRAY, 2, 2, 9));
    using Detect = int32_t (*)(const kxImage *, const kxWindow *, kxImage *);
    const struct {
        const char *name;
        Detect detect;
    } operations[] = {{"kxMotionBinaryImage", kxMotionBinaryImage},
                      {"kxMotionBinaryArea", kxMotionBinaryArea},
                      {"kxMotionRgbImage", kxMotionRgbImage},
                      {"kxMotionRgbArea", kxMotionRgbArea}};
    for (const auto &op : operations) {
        const std::string name = op.name;
        auto out = captureOutput([&] { EXPECT_EQ(-1, op.detect(picture.get(), &kWhole, dest.get())); });
        EXPECT_EQ(name + ": error: no reference image of the picture's size\n", out.out);
        out = captureOutput([&] {
            EXPECT_EQ(-1, op.detect(nullptr, &kWhole, dest.get()));
            EXPECT_EQ(-1, op.detect(picture.get(), nullptr, dest.get()));
            EXPECT_EQ(-1, op.detect(picture.get(), &kWhole, nullptr));
            EXPECT_EQ(-1, op.detect(picture.get(), &kWhole, picture.get()));
        });
        const std::string illegal = name + ": error: illegal parameter\n";
        EXPECT_EQ(illegal + illegal + illegal + illegal, out.out);
        out = captureOutput([&] { EXPECT_EQ(-1, op.detect(gray.get(), &kWhole, dest.get())); });
        EXPECT_EQ(name + ": error: image is not RGB\n", out.out);
    }
    ImagePtr small(makeImage(RGB, 3, 4, 0));
    useReference(small.get());
    for (const auto &op : operations) {
        auto out = captureOutput([&] { EXPECT_EQ(-1, op.detect(picture.get(), &kWhole, dest.get())); });
        EXPECT_EQ(std::string(op.name) + ": error: no reference image of the picture's size\n", out.out);
    }
    EXPECT_EQ(GRAY, dest->format);
    EXPECT_EQ(2, dest->width);
    EXPECT_EQ(9, channelAt(dest.get(), 1, 1));
}

TEST_F(Motion, UpdatesBlendReferenceAndPicture)
{
    ImagePtr reference(makeImage(RGB, 2, 2, 100));
    useReference(reference.get());
    ImagePtr picture(makeImage(RGB, 2, 2, 201));
    ASSERT_EQ(0, kxMotionUpdate2(picture.get()));
    EXPECT_EQ(150, channelAt(picture.get(), 1, 1, 2));

    // The reference was left alone by kxMotionUpdate2: blending again with
    // 200 gives 150 in the reference, seen through a detection.
    ImagePtr other(makeImage(RGB, 2, 2, 200));
    ASSERT_EQ(0, kxMotionUpdate(other.get()));
    ImagePtr mask(makeImage(NONE, 0, 0));
    ImagePtr probe(makeImage(RGB, 2, 2, 150));
    captureOutput([] { kxMotionThresholdSet(0); });
    ASSERT_EQ(0, kxMotionBinaryImage(probe.get(), &kWhole, mask.get()));
    EXPECT_EQ(0, channelAt(mask.get(), 0, 0));
    setRgb(probe.get(), 1, 0, 151, 150, 150);
    ASSERT_EQ(0, kxMotionBinaryImage(probe.get(), &kWhole, mask.get()));
    EXPECT_EQ(255, channelAt(mask.get(), 1, 0));
}

TEST_F(Motion, UpdatesRefuseWithTheirMessages)
{
    ImagePtr picture(makeImage(RGB, 2, 2, 1));
    auto out = captureOutput([&] {
        EXPECT_EQ(-1, kxMotionUpdate(picture.get()));
        EXPECT_EQ(-1, kxMotionUpdate2(picture.get()));
    });
    EXPECT_EQ("kxMotionUpdate: error: no reference image\nkxMotionUpdate: error: no reference image\n", out.out);

    ImagePtr reference(makeImage(RGB, 2, 3, 1));
    useReference(reference.get());
    ImagePtr gray(makeImage(GRAY, 2, 3, 1));
    out = captureOutput([&] {
        EXPECT_EQ(-1, kxMotionUpdate(nullptr));
        EXPECT_EQ(-1, kxMotionUpdate2(nullptr));
        EXPECT_EQ(-1, kxMotionUpdate(gray.get()));
        EXPECT_EQ(-1, kxMotionUpdate2(gray.get()));
        EXPECT_EQ(-1, kxMotionUpdate(picture.get()));
        EXPECT_EQ(-1, kxMotionUpdate2(picture.get()));
    });
    EXPECT_EQ("kxMotionUpdate: error: NULL image\nkxMotionUpdate: error: NULL image\n"
              "kxMotionUpdate: error: image is not RGB\nkxMotionUpdate: error: image is not RGB\n"
              "kxMotionUpdate: error: image size does not match reference\n"
              "kxMotionUpdate: error: image size does not match reference\n",
              out.out);
    EXPECT_EQ(1, channelAt(picture.get(), 0, 0));
}

TEST_F(Motion, InitTakesItsSizeFromTheFileAndReplacesAnEarlierReference)
{
    ImagePtr first(makeImage(RGB, 3, 2, 10));
    useReference(first.get());
    ImagePtr second(makeImage(RGB, 5, 4, 10));
    captureOutput([&] {
        ASSERT_EQ(0, kxImageSave(second.get(), "prova"));
        ASSERT_EQ(0, kxMotionInitGrande());  // the file, not 640 x 480, sets the size
    });
    ImagePtr mask(makeImage(NONE, 0, 0));
    EXPECT_EQ(0, kxMotionBinaryImage(second.get(), &kWhole, mask.get()));
    captureOutput([&] { EXPECT_EQ(-1, kxMotionBinaryImage(first.get(), &kWhole, mask.get())); });

    EXPECT_EQ(0, kxMotionShutdown());
    EXPECT_EQ(0, kxMotionShutdown());
    captureOutput([&] { EXPECT_EQ(-1, kxMotionBinaryImage(second.get(), &kWhole, mask.get())); });
}

TEST_F(Motion, WithoutAReferenceFileAndNoGrabberInitFailsSafely)
{
    // This program never starts the grabber, so no frame can be grabbed.
    kxfiles::Output out;
    const auto started = std::chrono::steady_clock::now();
    out = captureOutput([] { EXPECT_EQ(-1, kxMotionInitGrande()); });
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::seconds(2));
    EXPECT_EQ("unable to load image\nUso prima immmagine acquisita come riferimento\n"
              "kxMotionInit: error: could not grab reference image\n",
              out.out);
    EXPECT_EQ("kxImageLoad: unable to open file: No such file or directory\n", out.err);

    // The half-made 640 x 480 reference has no pixels: it must not be read.
    ImagePtr picture(makeImage(RGB, 640, 480, 0));
    ImagePtr mask(makeImage(NONE, 0, 0));
    out = captureOutput([&] {
        EXPECT_EQ(-1, kxMotionBinaryImage(picture.get(), &kWhole, mask.get()));
        EXPECT_EQ(-1, kxMotionUpdate(picture.get()));
    });
    EXPECT_EQ("kxMotionBinaryImage: error: no reference image of the picture's size\n"
              "kxMotionUpdate: error: no reference image\n",
              out.out);

    out = captureOutput([] { EXPECT_EQ(-1, kxMotionInit()); });
    EXPECT_EQ("unable to load image\nUso prima immmagine acquisita come riferimento\n"
              "kxMotionInit: error: could not grab reference image\n",
              out.out);
}
