// Colour statistics: 3 x 3 medians per channel, the border rules and refusals.
#include <gtest/gtest.h>

#include "pixel_helpers.h"

using kxtest::captureStdout;
using kxtest::ImagePtr;

namespace {

// A 5 x 5 image of `format` whose 3 x 3 block around (2, 2) holds `values`
// (row by row) in channel `channel`; every other value is 0.
kxImage *blockImage(kxFormat format, int channel, const std::vector<uint16_t> &values)
{
    kxImage *image = kxtest::makeImage(format, 5, 5, 0);
    int channels = kxPixelSize(format);
    for (int i = 0; i < 9; ++i) image->data[((1 + i / 3) * 5 + 1 + i % 3) * channels + channel] = values[i];
    return image;
}

kxPoint pointAt(int x, int y)
{
    kxPoint point{};
    point.x = x;
    point.y = y;
    return point;
}

} // namespace

TEST(Median, MiddleOfNineValuesPerChannel)
{
    for (int channel = 0; channel < 3; ++channel) {
        ImagePtr rgb(blockImage(RGB, channel, {9, 1, 8, 2, 7, 3, 6, 4, 5}));
        kxPoint in = pointAt(2, 2), out = pointAt(-1, -1);
        out.h = 11;
        ASSERT_EQ(kxMedianRgbValue(rgb.get(), &in, &out), 0);
        const uint16_t got[] = {out.r, out.g, out.b};
        EXPECT_EQ(got[channel], 5);
        EXPECT_EQ(got[(channel + 1) % 3], 0);
        EXPECT_EQ(out.x, -1);  // only the colour fields are written
        EXPECT_EQ(out.h, 11);
    }
    ImagePtr outlier(blockImage(RGB, 1, {0, 0, 0, 0, 255, 0, 0, 0, 0}));
    kxPoint in = pointAt(2, 2), out{};
    ASSERT_EQ(kxMedianRgbValue(outlier.get(), &in, &out), 0);
    EXPECT_EQ(out.g, 0);
}

TEST(Median, ChannelsAreIndependent)
{
    ImagePtr image(kxtest::makeImage(RGB, 3, 3, 0));
    // Red's median is the centre pixel (40); green's (40) sits at (1, 0),
    // while the centre's green is 70.
    for (int k = 0; k < 9; ++k) kxtest::setRgb(image.get(), k % 3, k / 3, 10 * k, 10 * ((k + 3) % 9), 7);
    kxPoint in = pointAt(1, 1), out{};
    ASSERT_EQ(kxMedianRgbValue(image.get(), &in, &out), 0);
    EXPECT_EQ(out.r, 40);
    EXPECT_EQ(out.g, 40);
    EXPECT_EQ(out.b, 7);
}

TEST(Median, HueIsAPlainNumber)
{
    ImagePtr mostlyHigh(blockImage(HSI, 0, {65000, 100, 65010, 120, 65020, 90, 65030, 110, 65040}));
    ImagePtr mostlyLow(blockImage(HSI, 0, {100, 65000, 110, 65010, 120, 65020, 90, 65030, 105}));
    kxPoint in = pointAt(2, 2), out{};
    ASSERT_EQ(kxMedianHsiValue(mostlyHigh.get(), &in, &out), 0);
    EXPECT_EQ(out.h, 65000);
    ASSERT_EQ(kxMedianHsiValue(mostlyLow.get(), &in, &out), 0);
    EXPECT_EQ(out.h, 120);
}

TEST(Median, NrgUsesTwoChannels)
{
    ImagePtr image(blockImage(NRG, 1, {3, 3, 3, 9, 9, 9, 9, 9, 1}));
    kxPoint in = pointAt(2, 2), out{};
    out.ng = 77;
    ASSERT_EQ(kxMedianNrgValue(image.get(), &in, &out), 0);
    EXPECT_EQ(out.nr, 0);
    EXPECT_EQ(out.ng, 9);
}

TEST(Median, BorderPointsKeepTheirOwnColour)
{
    ImagePtr rgb(kxtest::makeImage(RGB, 4, 3, 50));
    ImagePtr hsi(kxtest::makeImage(HSI, 4, 3, 50));
    ImagePtr nrg(kxtest::makeImage(NRG, 4, 3, 50));
    nrg->data[(2 * 4 + 3) * 2] = 31;  // pixel (3, 2): nr 31, ng 50
    for (kxPoint in : {pointAt(0, 0), pointAt(3, 1), pointAt(1, 2), pointAt(-5, 40)}) {
        in.r = 1, in.g = 2, in.b = 3, in.h = 4, in.s = 5, in.i = 6;
        kxPoint out{};
        ASSERT_EQ(kxMedianRgbValue(rgb.get(), &in, &out), 0);
        EXPECT_EQ(out.r, 1);
        EXPECT_EQ(out.b, 3);
        ASSERT_EQ(kxMedianHsiValue(hsi.get(), &in, &out), 0);
        EXPECT_EQ(out.h, 4);
        EXPECT_EQ(out.i, 6);
        // Same record as input and result: nothing changes.
        ASSERT_EQ(kxMedianRgbValue(rgb.get(), &in, &in), 0);
        EXPECT_EQ(in.g, 2);
    }
    kxPoint corner = pointAt(3, 2), out{};
    ASSERT_EQ(kxMedianNrgValue(nrg.get(), &corner, &out), 0);
    EXPECT_EQ(out.nr, 31);
    EXPECT_EQ(out.ng, 50);
}

TEST(Median, RefusalsLeaveTheResultUntouched)
{
    ImagePtr rgb(kxtest::makeImage(RGB, 5, 5, 1));
    ImagePtr hsi(kxtest::makeImage(HSI, 5, 5, 1));
    ImagePtr nrg(kxtest::makeImage(NRG, 5, 5, 1));
    kxPoint in = pointAt(2, 2), out{};
    out.r = out.h = out.nr = 42;
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxMedianRgbValue(hsi.get(), &in, &out), -1); }),
              "kxMedianRgbValue: error: image is not RGB\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxMedianHsiValue(rgb.get(), &in, &out), -1); }),
              "kxMedianHsiValue: error: image is not HSI\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxMedianNrgValue(rgb.get(), &in, &out), -1); }),
              "kxMedianNrgValue: error: image is not NRG\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxMedianRgbValue(nullptr, &in, &out), -1); }),
              "kxMedianRgbValue: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxMedianHsiValue(hsi.get(), nullptr, &out), -1); }),
              "kxMedianHsiValue: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxMedianNrgValue(nrg.get(), &in, nullptr), -1); }),
              "kxMedianNrgValue: error: illegal parameter\n");
    // The NRG border rule reads the pixel itself: a point off the image is refused.
    for (kxPoint outside : {pointAt(5, 2), pointAt(-1, 0), pointAt(2, 5)})
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxMedianNrgValue(nrg.get(), &outside, &out), -1); }),
                  "kxMedianNrgValue: error: illegal parameter\n");
    EXPECT_EQ(out.r, 42);
    EXPECT_EQ(out.h, 42);
    EXPECT_EQ(out.nr, 42);
}
