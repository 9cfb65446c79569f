// The YUV 4:2:0 to RGB conversion against a plain reading of its formula:
// every (Y, Cb, Cr) combination, and the chroma sampling of odd sizes.
#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

#include "fake_v4l1_device.h"
#include "grab_device.h"

namespace {

// One frame per Cb value: 512 x 128 pixels, 256 x 64 chroma samples. Chroma
// sample k carries Cr = k / 64, and its 2 x 2 luma block the four luma values
// 4 * (k % 64) .. 4 * (k % 64) + 3, so the frame holds all 65536 (Y, Cr)
// pairs once.
TEST(GrabConversion, EveryYCbCrCombinationMatchesTheFormula)
{
    const int cols = 512, rows = 128, chromaCols = cols / 2;
    const size_t pixels = size_t(rows) * cols;
    std::vector<uint8_t> frame(_kxGrabFrameBytes(rows, cols));
    std::vector<uint16_t> rgb(pixels * 3);
    long long mismatches = 0, checked = 0;
    for (int cb = 0; cb < 256; ++cb) {
        for (int k = 0; k < chromaCols * (rows / 2); ++k) {
            const int chromaRow = k / chromaCols, chromaCol = k % chromaCols;
            frame[pixels + k] = uint8_t(cb);
            frame[pixels * 5 / 4 + k] = uint8_t(k / 64);
            for (int j = 0; j < 4; ++j) {
                size_t at = size_t(2 * chromaRow + j / 2) * cols + 2 * chromaCol + j % 2;
                frame[at] = uint8_t(4 * (k % 64) + j);
            }
        }
        _kxGrabYuv420ToRgb(frame.data(), rows, cols, rgb.data());
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                const size_t k = size_t(r / 2) * chromaCols + c / 2;
                const size_t at = size_t(r) * cols + c;
                int expected[3];
                kxtest::referenceRgb(frame[at], frame[pixels + k], frame[pixels * 5 / 4 + k],
                                     expected);
                ++checked;
                for (int ch = 0; ch < 3; ++ch) {
                    if (rgb[at * 3 + ch] != expected[ch] && ++mismatches <= 5)
                        ADD_FAILURE() << "Y " << int(frame[at]) << " Cb " << cb << " Cr "
                                      << int(frame[pixels * 5 / 4 + k]) << " channel " << ch
                                      << ": " << rgb[at * 3 + ch] << " != " << expected[ch];
                }
            }
        }
    }
    EXPECT_EQ(checked, 1LL << 24);
    EXPECT_EQ(mismatches, 0);
    printf("[ exhaustive ] %lld combinations, %lld mismatching channels\n", checked, mismatches);
}

// Odd sizes: the chroma index is ((r * (rows / 2)) / rows) * (cols / 2) +
// (c * (cols / 2)) / cols, which never leaves the rows/2 x cols/2 planes.
TEST(GrabConversion, OddSizesSampleChromaByTheGeneralIndex)
{
    const int sizes[][2] = {{3, 3}, {5, 2}, {2, 7}, {33, 17}};
    for (const auto &size : sizes) {
        const int cols = size[0], rows = size[1];
        const size_t pixels = size_t(rows) * cols;
        // Exactly the frame's bytes: ASan reports any read past them.
        std::vector<uint8_t> frame(_kxGrabFrameBytes(rows, cols));
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 37 + 11);
        std::vector<uint16_t> rgb(pixels * 3);
        _kxGrabYuv420ToRgb(frame.data(), rows, cols, rgb.data());
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                size_t k = size_t((r * (rows / 2)) / rows) * (cols / 2) + (c * (cols / 2)) / cols;
                int expected[3];
                kxtest::referenceRgb(frame[size_t(r) * cols + c], frame[pixels + k],
                                     frame[pixels * 5 / 4 + k], expected);
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(rgb[(size_t(r) * cols + c) * 3 + ch], expected[ch])
                        << cols << " x " << rows << " at " << c << "," << r;
            }
        }
    }
}

TEST(GrabConversion, FrameBytesFollowThePlaneLayout)
{
    EXPECT_EQ(_kxGrabFrameBytes(480, 640), 460800u);
    EXPECT_EQ(_kxGrabFrameBytes(3, 3), 12u);  // Cr at 11, one chroma sample each
}

} // namespace
