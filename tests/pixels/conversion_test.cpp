// Colour-space conversions: the numeric rules, messages, windows and reuse of
// the destination.
#include <gtest/gtest.h>

#include "pixel_helpers.h"
#include "pixel_internal.h"  // _kxValue

using kxtest::captureStdout;
using kxtest::ImagePtr;
using pixeltest::convertPixel;
using V = std::vector<uint16_t>;

TEST(RgbToHsi, PrimariesGreysAndMixedColours)
{
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {255, 0, 0}), (V{0, 65535, 32767}));
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {0, 255, 0}), (V{21845, 65535, 32767}));
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {0, 0, 255}), (V{43690, 65535, 32767}));
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {128, 128, 128}), (V{0, 0, 32896}));
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {255, 255, 255}), (V{0, 0, 65535}));
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {0, 0, 0}), (V{0, 0, 0}));
    // Dark branch of the saturation (sum 250 <= 254), red maximum.
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {200, 100, 50}), (V{3640, 39321, 32125}));
    // Light branch (sum 300): saturation = 200 * 65535 / 210; green maximum.
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {50, 250, 150}), (V{27306, 62414, 38550}));
}

TEST(RgbToHsi, TiesForTheMaximumGoToRedThenGreen)
{
    // Magenta: red wins the tie, g < b gives 65535 + q with q truncated toward zero.
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {255, 0, 255})[0], 54613);
    // Yellow: red wins over green, q = 255 * 65535 / 1530.
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {255, 255, 0})[0], 10922);
    // Cyan: green wins over blue.
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {0, 255, 255})[0], 21845 + 10922);
    // Blue maximum: -20 * 65535 / 540 truncates toward zero to -2427.
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {10, 30, 100})[0], 41263);
}

TEST(RgbToHsi, ChannelsAbove255CountAs255)
{
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {65535, 0, 0}), (V{0, 65535, 32767}));
    EXPECT_EQ(convertPixel(kxRgb2Hsi, RGB, {300, 300, 254}), convertPixel(kxRgb2Hsi, RGB, {255, 255, 254}));
}

TEST(HsiToRgb, NumericCasesAndRounding)
{
    EXPECT_EQ(convertPixel(kxHsi2Rgb, HSI, {0, 65535, 32767}), (V{255, 0, 0}));
    EXPECT_EQ(convertPixel(kxHsi2Rgb, HSI, {0, 0, 32767}), (V{127, 127, 127}));
    EXPECT_EQ(convertPixel(kxHsi2Rgb, HSI, {0, 0, 65535}), (V{255, 255, 255}));
    EXPECT_EQ(convertPixel(kxHsi2Rgb, HSI, {21845, 65535, 32767}), (V{0, 255, 0}));
    EXPECT_EQ(convertPixel(kxHsi2Rgb, HSI, {43690, 65535, 32767}), (V{0, 0, 255}));
    EXPECT_EQ(convertPixel(kxHsi2Rgb, HSI, {54613, 65535, 32767}), (V{255, 0, 255}));
    // Every single-precision step rounded: a fused multiply-add gives red 231.
    EXPECT_EQ(convertPixel(kxHsi2Rgb, HSI, {8579, 32227, 53652}), (V{232, 222, 186}));
}

TEST(HsiToRgb, ZeroSaturationWithHueIsReportedAndBlack)
{
    V out;
    std::string printed = captureStdout([&] { out = convertPixel(kxHsi2Rgb, HSI, {100, 0, 40000}); });
    EXPECT_EQ(printed, "kxHsi2Rgb: Problem with hue (input = 100, 0, 40000)\n");
    EXPECT_EQ(out, (V{0, 0, 0}));
}

TEST(HsiValue, HueIsWrappedOnceAndSplitIntoFourRanges)
{
    EXPECT_FLOAT_EQ(_kxValue(0.2f, 0.8f, 30.0f), 0.5f);
    EXPECT_FLOAT_EQ(_kxValue(0.2f, 0.8f, 60.0f), 0.8f);
    EXPECT_FLOAT_EQ(_kxValue(0.2f, 0.8f, 179.0f), 0.8f);
    EXPECT_FLOAT_EQ(_kxValue(0.2f, 0.8f, 210.0f), 0.5f);
    EXPECT_FLOAT_EQ(_kxValue(0.2f, 0.8f, 240.0f), 0.2f);
    EXPECT_FLOAT_EQ(_kxValue(0.2f, 0.8f, 390.0f), 0.5f);   // 390 - 360 = 30
    EXPECT_FLOAT_EQ(_kxValue(0.2f, 0.8f, -150.0f), 0.5f);  // -150 + 360 = 210
    EXPECT_FLOAT_EQ(_kxValue(0.2f, 0.8f, 360.0f), 0.2f);   // exactly 360 is not wrapped
}

TEST(RgbToNrg, RoundedSharesAndBlack)
{
    EXPECT_EQ(convertPixel(kxRgb2Nrg, RGB, {0, 0, 0}), (V{0, 0}));
    EXPECT_EQ(convertPixel(kxRgb2Nrg, RGB, {255, 0, 0}), (V{255, 0}));
    EXPECT_EQ(convertPixel(kxRgb2Nrg, RGB, {1, 1, 0}), (V{128, 128}));
    EXPECT_EQ(convertPixel(kxRgb2Nrg, RGB, {1, 1, 1}), (V{85, 85}));
    EXPECT_EQ(convertPixel(kxRgb2Nrg, RGB, {1, 2, 0}), (V{85, 170}));
    EXPECT_EQ(convertPixel(kxNrg2Gray, NRG, {128, 128}), (V{256}));
}

TEST(GreyConversions, MeanChannelsAndBinary)
{
    EXPECT_EQ(convertPixel(kxRgb2Gray, RGB, {1, 1, 2}), (V{1}));
    EXPECT_EQ(convertPixel(kxRgb2Gray, RGB, {255, 255, 255}), (V{255}));
    EXPECT_EQ(convertPixel(kxRgb2Gray, RGB, {255, 255, 254}), (V{254}));
    EXPECT_EQ(convertPixel(kxRgb2R, RGB, {7, 8, 9}), (V{7}));
    EXPECT_EQ(convertPixel(kxRgb2G, RGB, {7, 8, 9}), (V{8}));
    EXPECT_EQ(convertPixel(kxRgb2B, RGB, {7, 8, 9}), (V{9}));
    EXPECT_EQ(convertPixel(kxBinary2Rgb, BINARY, {255}), (V{255, 255, 255}));
    EXPECT_EQ(convertPixel(kxBinary2Rgb, BINARY, {0}), (V{0, 0, 0}));
}

namespace {

struct ConversionCase {
    const char *name;
    pixeltest::Conversion conversion;
    kxFormat from, to, wrong;
    const char *wrongFormatLine;
};

const ConversionCase conversions[] = {
    {"kxRgb2Hsi", kxRgb2Hsi, RGB, HSI, GRAY, "kxRgb2Hsi: src image is not RGB"},
    {"kxHsi2Rgb", kxHsi2Rgb, HSI, RGB, RGB, "kxHsi2Rgb: src image is not HSI"},
    {"kxRgb2Nrg", kxRgb2Nrg, RGB, NRG, HSI, "kxRgb2Nrg: src image is not RGB"},
    {"kxNrg2Gray", kxNrg2Gray, NRG, GRAY, RGB, "kxNrg2Gray: src image is not NRG"},
    {"kxRgb2Gray", kxRgb2Gray, RGB, GRAY, GRAY, "kxRgb2Gray: src image is not RGB"},
    {"kxRgb2R", kxRgb2R, RGB, GRAY, BINARY, "kxRgb2R: error: src image is not RGB"},
    {"kxRgb2G", kxRgb2G, RGB, GRAY, NRG, "kxRgb2G: src image is not RGB"},
    {"kxRgb2B", kxRgb2B, RGB, GRAY, HSI, "kxRgb2B: src image is not RGB"},
    {"kxBinary2Rgb", kxBinary2Rgb, BINARY, RGB, GRAY, "kxBinary2Rgb: src image is not BINARY"},
};

} // namespace

TEST(Conversions, RefusalsPrintTheirLineAndLeaveTheDestination)
{
    for (const ConversionCase &c : conversions) {
        SCOPED_TRACE(c.name);
        const std::string name = c.name;
        ImagePtr src(kxtest::makeImage(c.from, 4, 3, 1));
        ImagePtr wrong(kxtest::makeImage(c.wrong, 4, 3, 1));
        ImagePtr dst(kxtest::makeImage(BINARY, 2, 2, 77));
        uint16_t *buffer = dst->data;
        kxWindow window{0, 0, 4, 3};
        const std::string nullLine = name + ": error: one of the parameters is NULL\n";
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(c.conversion(nullptr, &window, dst.get()), -1); }), nullLine);
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(c.conversion(src.get(), nullptr, dst.get()), -1); }), nullLine);
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(c.conversion(src.get(), &window, nullptr), -1); }), nullLine);
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(c.conversion(wrong.get(), &window, dst.get()), -1); }),
                  std::string(c.wrongFormatLine) + "\n");
        EXPECT_EQ(dst->format, BINARY);
        EXPECT_EQ(dst->width, 2);
        EXPECT_EQ(dst->height, 2);
        EXPECT_EQ(dst->data, buffer);
        EXPECT_EQ(dst->data[3], 77);

        // A source whose size no buffer can have: the destination cannot be
        // re-initialised, and kxImageInit's own line comes first.
        kxImage impossible{c.from, -4, 3, src->data};
        std::string printed = captureStdout([&] { EXPECT_EQ(c.conversion(&impossible, &window, dst.get()), -1); });
        EXPECT_EQ(printed, "kxImageInit: error: illegal image size\n" + name +
                               ": error: could not initialize dest image\n");
    }
}

TEST(Conversions, DestinationTakesSourceSizeAndOutputFormat)
{
    for (const ConversionCase &c : conversions) {
        SCOPED_TRACE(c.name);
        ImagePtr src(kxtest::makeImage(c.from, 7, 5, 0));
        ImagePtr dst(kxtest::makeImage(RGB, 320, 240));
        kxWindow none{0, 0, 0, 5};
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(c.conversion(src.get(), &none, dst.get()), 0); }), "");
        EXPECT_EQ(dst->format, c.to);
        EXPECT_EQ(dst->width, 7);
        EXPECT_EQ(dst->height, 5);
        ASSERT_NE(dst->data, nullptr);
    }
}

TEST(Conversions, WindowsReachingOutsideAreClipped)
{
    ImagePtr src(kxtest::makeImage(RGB, 6, 4, 0));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) kxtest::setRgb(src.get(), x, y, 10 * x, 10 * y, 3);
    ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
    for (kxWindow window : {kxWindow{-3, -2, 20, 20}, kxWindow{4, 2, 100, 100},
                            kxWindow{-100, 0, 50, 4}, kxWindow{2147483000, 0, 2000, 1}}) {
        ASSERT_EQ(kxRgb2R(src.get(), &window, dst.get()), 0);
        ASSERT_EQ(kxRgb2Hsi(src.get(), &window, dst.get()), 0);
    }
    kxWindow whole{-1, -1, 8, 6};
    ASSERT_EQ(kxRgb2G(src.get(), &whole, dst.get()), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(kxtest::channelAt(dst.get(), x, y), 10 * y);
}

TEST(Conversions, SourceMayBeItsOwnDestination)
{
    ImagePtr image(kxtest::makeImage(RGB, 3, 2, 0));
    kxtest::setRgb(image.get(), 1, 1, 200, 100, 50);
    kxtest::setRgb(image.get(), 2, 0, 0, 0, 255);
    kxWindow window{0, 0, 3, 2};
    ASSERT_EQ(kxRgb2Hsi(image.get(), &window, image.get()), 0);
    EXPECT_EQ(image->format, HSI);
    EXPECT_EQ(kxtest::channelAt(image.get(), 1, 1, 0), 3640);
    EXPECT_EQ(kxtest::channelAt(image.get(), 1, 1, 1), 39321);
    EXPECT_EQ(kxtest::channelAt(image.get(), 2, 0, 0), 43690);
    ASSERT_EQ(kxHsi2Rgb(image.get(), &window, image.get()), 0);
    EXPECT_EQ(image->format, RGB);
    EXPECT_EQ(kxtest::channelAt(image.get(), 2, 0, 2), 255);
    EXPECT_EQ(kxtest::channelAt(image.get(), 0, 0, 0), 0);
}
