// The loop's threshold step gives exactly what kxRgb2Binary gives.
#include <random>

#include <gtest/gtest.h>

#include "frame_threshold.h"
#include "test_support.h"

using kxtest::ImagePtr;

namespace {

// Runs both on the same picture and compares results, messages, formats,
// sizes and every sample (outside a partial window too: there both leave
// the destination's fresh buffer, which is compared only inside the window).
void expectSameAsLibrary(const kxImage *pic, int threshold, const kxWindow &window, const char *what)
{
    ImagePtr ours(kxtest::makeImage(RGB, 3, 2, 7)), library(kxtest::makeImage(RGB, 3, 2, 7));
    int32_t ourResult = 0, libraryResult = 0;
    std::string ourOutput = kxtest::captureStdout([&] { ourResult = thresholdFrame(pic, threshold, &window, ours.get()); });
    std::string libraryOutput =
        kxtest::captureStdout([&] { libraryResult = kxRgb2Binary(pic, threshold, &window, library.get()); });
    ASSERT_EQ(ourResult, libraryResult) << what;
    EXPECT_EQ(ourOutput, libraryOutput) << what;
    if (libraryResult != 0) return;
    ASSERT_EQ(ours->format, library->format) << what;
    ASSERT_EQ(ours->width, library->width) << what;
    ASSERT_EQ(ours->height, library->height) << what;
    const bool whole = window.x == 0 && window.y == 0 && window.width == pic->width && window.height == pic->height;
    if (!whole) return;  // outside the window the library leaves samples unset
    for (int i = 0; i < pic->width * pic->height; ++i)
        ASSERT_EQ(ours->data[i], library->data[i]) << what << " pixel " << i;
}

} // namespace

TEST(ThresholdStep, MatchesTheLibraryOnRandomFrames)
{
    std::mt19937 random(15);
    const std::pair<int, int> sizes[] = {{640, 480}, {1, 1}, {7, 3}, {9, 1}, {33, 17}, {8, 3}};
    for (int trial = 0; trial < 60; ++trial) {
        auto [width, height] = sizes[trial % 6];
        ImagePtr pic(kxtest::makeImage(RGB, width, height));
        // Dark frames with bright spots, and full-range samples whose sums
        // overflow 16 bits.
        const bool fullRange = trial % 3 == 0;
        for (int i = 0; i < width * height * 3; ++i)
            pic->data[i] = uint16_t(fullRange ? random() % 65536 : random() % 4 ? random() % 40 : 200 + random() % 56);
        const int thresholds[] = {15, 0, 1, 254, 21844, 21845, 65535, int(random() % 30000)};
        for (int threshold : thresholds) {
            std::string what = "trial " + std::to_string(trial) + " threshold " + std::to_string(threshold);
            expectSameAsLibrary(pic.get(), threshold, kxWindow{0, 0, width, height}, what.c_str());
        }
    }
}

TEST(ThresholdStep, OtherWindowsAndRefusalsAreTheLibrarys)
{
    ImagePtr pic(kxtest::makeImage(RGB, 64, 48, 100));
    expectSameAsLibrary(pic.get(), 15, kxWindow{10, 5, 20, 20}, "partial window");
    expectSameAsLibrary(pic.get(), -1, kxWindow{0, 0, 64, 48}, "negative threshold");
    ImagePtr grey(kxtest::makeImage(GRAY, 64, 48, 100));
    expectSameAsLibrary(grey.get(), 15, kxWindow{0, 0, 64, 48}, "grey source");
}
