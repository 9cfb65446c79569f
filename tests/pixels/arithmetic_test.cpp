// Image arithmetic: clamped subtraction, nearest-pixel scaling and filled
// rectangles of the vision frames.
#include <cfloat>
#include <cmath>

#include <gtest/gtest.h>

#include "blob.h"
#include "pixel_helpers.h"

using kxtest::captureStdout;
using kxtest::ImagePtr;

TEST(Subtract, DifferenceIsClampedAtZero)
{
    ImagePtr a(kxtest::makeImage(GRAY, 4, 3, 200));
    ImagePtr b(kxtest::makeImage(GRAY, 4, 3, 50));
    ImagePtr dst(kxtest::makeImage(RGB, 1, 1));
    kxWindow all{0, 0, 4, 3};
    ASSERT_EQ(kxSubtract(a.get(), b.get(), &all, dst.get()), 0);
    EXPECT_EQ(dst->format, GRAY);
    EXPECT_EQ(pixeltest::valuesOf(dst.get()), std::vector<uint16_t>(12, 150));
    ASSERT_EQ(kxSubtract(b.get(), a.get(), &all, dst.get()), 0);
    EXPECT_EQ(pixeltest::valuesOf(dst.get()), std::vector<uint16_t>(12, 0));
}

TEST(Subtract, EveryChannelIncludingHue)
{
    ImagePtr a(kxtest::makeImage(HSI, 2, 2, 0));
    ImagePtr b(kxtest::makeImage(HSI, 2, 2, 0));
    kxtest::setRgb(a.get(), 1, 1, 65535, 10, 300);
    kxtest::setRgb(b.get(), 1, 1, 1, 11, 300);
    ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
    kxWindow pixel{1, 1, 1, 1};
    ASSERT_EQ(kxSubtract(a.get(), b.get(), &pixel, dst.get()), 0);
    EXPECT_EQ(dst->format, HSI);
    EXPECT_EQ(kxtest::channelAt(dst.get(), 1, 1, 0), 65534);
    EXPECT_EQ(kxtest::channelAt(dst.get(), 1, 1, 1), 0);
    EXPECT_EQ(kxtest::channelAt(dst.get(), 1, 1, 2), 0);
}

TEST(Subtract, WindowIsClippedAndDestinationMayBeASource)
{
    ImagePtr a(kxtest::makeImage(NRG, 5, 4, 9));
    ImagePtr b(kxtest::makeImage(NRG, 5, 4, 4));
    kxWindow overhanging{-2, -2, 100, 100};
    ASSERT_EQ(kxSubtract(a.get(), b.get(), &overhanging, a.get()), 0);
    EXPECT_EQ(pixeltest::valuesOf(a.get()), std::vector<uint16_t>(40, 5));
    EXPECT_EQ(pixeltest::valuesOf(b.get()), std::vector<uint16_t>(40, 4));
}

TEST(Subtract, Refusals)
{
    ImagePtr rgb(kxtest::makeImage(RGB, 640, 480, 1));
    ImagePtr small(kxtest::makeImage(RGB, 320, 240, 1));
    ImagePtr gray(kxtest::makeImage(GRAY, 640, 480, 1));
    ImagePtr dst(kxtest::makeImage(GRAY, 2, 2, 5));
    kxWindow all{0, 0, 640, 480};
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxSubtract(rgb.get(), gray.get(), &all, dst.get()), -1); }),
              "kxSubtract: error: src images are not the same type\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxSubtract(rgb.get(), small.get(), &all, dst.get()), -1); }),
              "kxSubtract: error: src images are not the same size\n");
    const std::string null = "kxSubtract: error: one of the parameters is NULL\n";
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxSubtract(nullptr, rgb.get(), &all, dst.get()), -1); }), null);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxSubtract(rgb.get(), nullptr, &all, dst.get()), -1); }), null);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxSubtract(rgb.get(), rgb.get(), nullptr, dst.get()), -1); }), null);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxSubtract(rgb.get(), rgb.get(), &all, nullptr), -1); }), null);
    EXPECT_EQ(dst->format, GRAY);
    EXPECT_EQ(dst->width, 2);
    EXPECT_EQ(dst->data[3], 5);
    // A NONE picture has no channels: kxPixelSize's line, no pixel, success.
    ImagePtr none(kxImageCreate(NONE, 4, 4));
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxSubtract(none.get(), none.get(), &all, dst.get()), 0); }),
              "kxPixelSize -> unknown image format\n");
    EXPECT_EQ(dst->format, NONE);
}

TEST(Scale, HalvingTakesEverySecondPixel)
{
    ImagePtr src(kxtest::makeImage(RGB, 640, 480));
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) kxtest::setRgb(src.get(), x, y, x % 256, y % 256, (x + y) % 7);
    ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
    ASSERT_EQ(kxScale(src.get(), 0.5f, dst.get()), 0);
    ASSERT_EQ(dst->format, RGB);
    ASSERT_EQ(dst->width, 320);
    ASSERT_EQ(dst->height, 240);
    for (int j = 0; j < 240; ++j)
        for (int i = 0; i < 320; ++i)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(kxtest::channelAt(dst.get(), i, j, k), kxtest::channelAt(src.get(), 2 * i, 2 * j, k));
}

TEST(Scale, EnlargingRepeatsAndFractionsTruncate)
{
    ImagePtr src(kxtest::makeImage(GRAY, 3, 2));
    for (int i = 0; i < 6; ++i) src->data[i] = uint16_t(10 + i);
    ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
    ASSERT_EQ(kxScale(src.get(), 2.0f, dst.get()), 0);
    ASSERT_EQ(dst->width, 6);
    ASSERT_EQ(dst->height, 4);
    EXPECT_EQ(pixeltest::valuesOf(dst.get()), (std::vector<uint16_t>{10, 10, 11, 11, 12, 12, 10, 10, 11, 11, 12, 12,
                                                                     13, 13, 14, 14, 15, 15, 13, 13, 14, 14, 15, 15}));

    ImagePtr row(kxtest::makeImage(GRAY, 5, 1));
    for (int i = 0; i < 5; ++i) row->data[i] = uint16_t(i);
    ASSERT_EQ(kxScale(row.get(), 1.5f, dst.get()), 0);
    ASSERT_EQ(dst->width, 7);  // 7.5 truncated
    ASSERT_EQ(dst->height, 1);
    EXPECT_EQ(pixeltest::valuesOf(dst.get()), (std::vector<uint16_t>{0, 0, 1, 2, 2, 3, 4}));
}

TEST(Scale, EveryReadStaysInsideTheSource)
{
    // Awkward factors over awkward sizes; the sanitizer build checks the reads.
    ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
    for (int width : {1, 3, 7, 10, 33})
        for (float factor : {0.7f, 1.0f / 3.0f, 0.999999f, 1.0000001f, 2.9999999f, 0.1f, 13.37f}) {
            ImagePtr src(kxtest::makeImage(NRG, width, width + 1, 3));
            ASSERT_EQ(kxScale(src.get(), factor, dst.get()), 0) << width << " " << factor;
            EXPECT_EQ(dst->width, int(float(width) * factor));
            for (uint16_t v : pixeltest::valuesOf(dst.get())) ASSERT_EQ(v, 3);
        }
}

TEST(Scale, RefusedAndEmptyFactors)
{
    ImagePtr src(kxtest::makeImage(GRAY, 640, 480, 1));
    ImagePtr dst(kxtest::makeImage(RGB, 2, 2, 8));
    const std::string illegal = "kxScale: error: illegal parameter\n";
    for (float factor : {-1.0f, -0.0001f, NAN, INFINITY, FLT_MAX, 1e7f}) {
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxScale(src.get(), factor, dst.get()), -1); }), illegal) << factor;
    }
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxScale(nullptr, 1.0f, dst.get()), -1); }), illegal);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxScale(src.get(), 1.0f, nullptr), -1); }), illegal);
    EXPECT_EQ(dst->format, RGB);
    EXPECT_EQ(dst->data[0], 8);
    // A size that fits 32 bits but not memory: kxImageInit refuses it.
    std::string printed = captureStdout([&] { EXPECT_EQ(kxScale(src.get(), 3e6f, dst.get()), -1); });
    EXPECT_NE(printed.find("kxScale: error: could not initialize dest image\n"), std::string::npos) << printed;

    ASSERT_EQ(kxScale(src.get(), 0.0f, dst.get()), 0);
    EXPECT_EQ(dst->width, 0);
    EXPECT_EQ(dst->height, 0);
    EXPECT_EQ(dst->format, GRAY);
}

TEST(PutSquared, FillsExactlyTheRectangle)
{
    ImagePtr image(kxtest::makeImage(GRAY, 640, 480, 0));
    kxPutSquared(image.get(), 10, 20, 3, 2);
    std::vector<size_t> set;
    for (size_t i = 0; i < 640u * 480u; ++i)
        if (image->data[i]) {
            EXPECT_EQ(image->data[i], 255);
            set.push_back(i);
        }
    EXPECT_EQ(set, (std::vector<size_t>{6420, 6421, 6422, 7060, 7061, 7062}));
}

TEST(PutSquared, RectanglesOverTheEdgeAreClipped)
{
    // Reaching past column 639 must not wrap into the next row, and nothing
    // may be written before or after the buffer (the sanitizer build checks).
    ImagePtr image(kxtest::makeImage(BINARY, 640, 4, 0));
    kxPutSquared(image.get(), 2, 638, 10, 10);
    kxPutSquared(image.get(), -3, -5, 6, 4);
    std::vector<size_t> set;
    for (size_t i = 0; i < 640u * 4u; ++i)
        if (image->data[i]) set.push_back(i);
    EXPECT_EQ(set, (std::vector<size_t>{0, 1918, 1919, 2558, 2559}));
    // Narrower images hold fewer values than 640-column rows assume.
    ImagePtr narrow(kxtest::makeImage(GRAY, 10, 10, 0));
    kxPutSquared(narrow.get(), 0, 0, 640, 480);
    EXPECT_EQ(pixeltest::valuesOf(narrow.get()), std::vector<uint16_t>(100, 255));
    kxPutSquared(nullptr, 0, 0, 5, 5);
}
