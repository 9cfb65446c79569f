// Thresholding: the mean rule, windows, refusals and destination reuse.
#include <climits>
#include <random>

#include <gtest/gtest.h>

#include "test_support.h"

using kxtest::captureStdout;
using kxtest::ImagePtr;

namespace {

uint16_t binaryOf(uint16_t r, uint16_t g, uint16_t b, int threshold)
{
    ImagePtr src(kxtest::makeImage(RGB, 1, 1));
    kxtest::setRgb(src.get(), 0, 0, r, g, b);
    ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
    kxWindow window{0, 0, 1, 1};
    EXPECT_EQ(kxRgb2Binary(src.get(), threshold, &window, dst.get()), 0);
    return dst->data[0];
}

} // namespace

TEST(RgbToBinary, MeanMustExceedThreshold)
{
    EXPECT_EQ(binaryOf(16, 16, 16, 15), 255);
    EXPECT_EQ(binaryOf(15, 15, 16, 15), 0);  // mean 15.33 truncates to 15
    EXPECT_EQ(binaryOf(0, 0, 47, 15), 0);
    EXPECT_EQ(binaryOf(0, 0, 48, 15), 255);
    EXPECT_EQ(binaryOf(0, 0, 1, 0), 0);      // mean 0
    EXPECT_EQ(binaryOf(0, 1, 2, 0), 255);    // mean 1
    EXPECT_EQ(binaryOf(65535, 65535, 65535, 65534), 255);
    EXPECT_EQ(binaryOf(65535, 65535, 65535, INT_MAX), 0);
}

TEST(RgbToBinary, MatchesPlainRuleOnEveryMeanAroundThreshold)
{
    ImagePtr src(kxtest::makeImage(RGB, 256, 3));
    for (int x = 0; x < 256; ++x)
        for (int y = 0; y < 3; ++y) kxtest::setRgb(src.get(), x, y, x, (x + y) % 256, (3 * x + y) % 256);
    ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
    kxWindow window{0, 0, 256, 3};
    for (int threshold : {0, 1, 15, 100, 254, 255}) {
        ASSERT_EQ(kxRgb2Binary(src.get(), threshold, &window, dst.get()), 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 256; ++x) {
                unsigned mean = (unsigned(x) + (x + y) % 256 + (3 * x + y) % 256) / 3;
                ASSERT_EQ(kxtest::channelAt(dst.get(), x, y), mean > unsigned(threshold) ? 255 : 0)
                    << x << "," << y << " t=" << threshold;
            }
    }
}

TEST(RgbToBinary, RefusalsPrintOneLineAndWriteNothing)
{
    ImagePtr rgb(kxtest::makeImage(RGB, 4, 4, 100));
    ImagePtr gray(kxtest::makeImage(GRAY, 4, 4, 100));
    ImagePtr dst(kxtest::makeImage(GRAY, 2, 2, 9));
    kxWindow window{0, 0, 4, 4};
    const std::string illegal = "kxRgb2Binary: error: illegal parameter\n";
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxRgb2Binary(rgb.get(), -1, &window, dst.get()), -1); }), illegal);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxRgb2Binary(nullptr, 1, &window, dst.get()), -1); }), illegal);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxRgb2Binary(rgb.get(), 1, nullptr, dst.get()), -1); }), illegal);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxRgb2Binary(rgb.get(), 1, &window, nullptr), -1); }), illegal);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxRgb2Binary(rgb.get(), 1, &window, rgb.get()), -1); }), illegal);
    EXPECT_EQ(rgb->data[0], 100);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxRgb2Binary(gray.get(), 1, &window, dst.get()), -1); }),
              "kxRgb2Binary: src image is not RGB\n");
    EXPECT_EQ(dst->format, GRAY);
    EXPECT_EQ(dst->width, 2);
    EXPECT_EQ(dst->data[0], 9);
}

TEST(RgbToBinary, DestinationInitFailureIsReported)
{
    // A source whose size cannot be allocated (but whose pixels are never read).
    uint16_t pixel[3] = {};
    kxImage huge{RGB, 1 << 30, 1 << 30, pixel};
    ImagePtr dst(kxtest::makeImage(GRAY, 2, 2));
    kxWindow window{0, 0, 1, 1};
    std::string out = captureStdout([&] { EXPECT_EQ(kxRgb2Binary(&huge, 15, &window, dst.get()), -1); });
    EXPECT_EQ(out, "kxImageInit: malloc failedkxRgb2Binary: error: could not initialize dest image\n");
}

TEST(RgbToBinary, WindowOnLargerDestination)
{
    ImagePtr src(kxtest::makeImage(RGB, 640, 480, 200));
    ImagePtr dst(kxtest::makeImage(RGB, 320, 240));
    ASSERT_EQ(kxImageInit(dst.get(), GRAY, 1, 1), 0);
    kxWindow window{100, 50, 10, 5};
    ASSERT_EQ(kxRgb2Binary(src.get(), 15, &window, dst.get()), 0);
    EXPECT_EQ(dst->format, BINARY);
    EXPECT_EQ(dst->width, 640);
    EXPECT_EQ(dst->height, 480);
    int written = 0;
    for (int y = 50; y < 55; ++y)
        for (int x = 100; x < 110; ++x) written += kxtest::channelAt(dst.get(), x, y) == 255;
    EXPECT_EQ(written, 50);
}

TEST(RgbToBinary, WindowsOutsideTheImageAreClipped)
{
    ImagePtr src(kxtest::makeImage(RGB, 8, 6, 100));
    ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
    const kxWindow windows[] = {
        {-5, -5, 20, 20}, {6, 4, 10, 10}, {-3, 2, 4, 1}, {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {2, 2, -5, 3}, {0, 0, 0, 0}, {8, 0, 1, 1},
    };
    for (const kxWindow &window : windows)
        EXPECT_EQ(kxRgb2Binary(src.get(), 15, &window, dst.get()), 0);
    // The clipped part of a window reaching past the corner is still written.
    kxWindow corner{6, 4, 10, 10};
    ASSERT_EQ(kxRgb2Binary(src.get(), 15, &corner, dst.get()), 0);
    EXPECT_EQ(kxtest::channelAt(dst.get(), 7, 5), 255);
    EXPECT_EQ(kxtest::channelAt(dst.get(), 6, 4), 255);
    kxWindow left{-3, 2, 4, 1};
    ASSERT_EQ(kxRgb2Binary(src.get(), 15, &left, dst.get()), 0);
    EXPECT_EQ(kxtest::channelAt(dst.get(), 0, 2), 255);
}

TEST(GrayToBinary, ValueMustExceedThreshold)
{
    ImagePtr src(kxtest::makeImage(GRAY, 3, 1));
    src->data[0] = 15;
    src->data[1] = 16;
    src->data[2] = 0;
    ImagePtr dst(kxtest::makeImage(BINARY, 1, 1));
    kxWindow window{0, 0, 3, 1};
    ASSERT_EQ(kxGray2Binary(src.get(), 15, &window, dst.get()), 0);
    EXPECT_EQ(dst->data[0], 0);
    EXPECT_EQ(dst->data[1], 255);
    EXPECT_EQ(dst->data[2], 0);

    ImagePtr rgb(kxtest::makeImage(RGB, 3, 1));
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxGray2Binary(rgb.get(), 1, &window, dst.get()), -1); }),
              "kxGray2Binary: src image is not GRAY\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxGray2Binary(src.get(), -2, &window, dst.get()), -1); }),
              "kxGray2Binary: error: illegal parameter\n");
    kxWindow outside{-10, -10, 100, 100};
    EXPECT_EQ(kxGray2Binary(src.get(), 15, &outside, dst.get()), 0);
    EXPECT_EQ(dst->data[1], 255);
}

// The fast path (eight pixels at a time, saturating 16-bit sums) must agree
// with the plain rule everywhere: odd widths, run tails, partial windows,
// full-range samples whose sums do not fit 16 bits.
TEST(RgbToBinary, AgreesWithPlainRuleOnRandomFramesAndWindows)
{
    std::mt19937 random(15);
    const std::pair<int, int> sizes[] = {{640, 480}, {1, 1}, {7, 3}, {9, 1}, {33, 17}, {8, 3}};
    for (int trial = 0; trial < 60; ++trial) {
        auto [width, height] = sizes[trial % 6];
        ImagePtr src(kxtest::makeImage(RGB, width, height));
        const bool fullRange = trial % 3 == 0;
        for (int i = 0; i < width * height * 3; ++i)
            src->data[i] = uint16_t(fullRange ? random() % 65536 : random() % 4 ? random() % 40 : 200 + random() % 56);
        const int x = trial % 4 == 1 ? int(random() % width) : 0;
        const int y = trial % 4 == 1 ? int(random() % height) : 0;
        const kxWindow window{x, y, width - x - (x ? int(random() % (width - x)) : 0), height - y};
        ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
        for (int threshold : {15, 0, 1, 254, 21844, 21845, 65535, int(random() % 30000)}) {
            ASSERT_EQ(kxRgb2Binary(src.get(), threshold, &window, dst.get()), 0);
            for (int row = window.y; row < window.y + window.height; ++row)
                for (int col = window.x; col < window.x + window.width; ++col) {
                    uint32_t sum = uint32_t(kxtest::channelAt(src.get(), col, row, 0)) +
                                   kxtest::channelAt(src.get(), col, row, 1) +
                                   kxtest::channelAt(src.get(), col, row, 2);
                    ASSERT_EQ(kxtest::channelAt(dst.get(), col, row), sum / 3 > uint32_t(threshold) ? 255 : 0)
                        << "trial " << trial << " threshold " << threshold << " at " << col << "," << row;
                }
        }
    }
}
