// The YUV 4:2:0 to RGB conversion against a plain reading of its formula, on
// every path this processor can run: every (Y, Cb, Cr) combination, and the
// chroma sampling of odd sizes.
#include <cstdio>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "fake_v4l1_device.h"
#include "grab_device.h"
#include "grab_yuv.h"

namespace {

const char *pathName(KxYuvPath path)
{
    switch (path) {
    case KxYuvPath::Plain: return "Plain";
    case KxYuvPath::Sse2: return "Sse2";
    case KxYuvPath::Avx2: return "Avx2";
    case KxYuvPath::Avx2Integer: return "Avx2Integer";
    case KxYuvPath::Neon: return "Neon";
    case KxYuvPath::NeonInteger: return "NeonInteger";
    }
    return "?";
}

class GrabConversion : public testing::TestWithParam<KxYuvPath> {
protected:
    void SetUp() override
    {
        if (!_kxYuvPathAvailable(GetParam()))
            GTEST_SKIP() << pathName(GetParam()) << " is not available on this processor";
    }
};

// The expected RGB samples of a frame, from the formula pixel by pixel with
// the general chroma index.
std::vector<uint16_t> expectedRgb(const std::vector<uint8_t> &frame, int rows, int cols)
{
    const size_t pixels = size_t(rows) * cols;
    std::vector<uint16_t> rgb(pixels * 3);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            size_t k = size_t((r * (rows / 2)) / rows) * (cols / 2) + (c * (cols / 2)) / cols;
            int expected[3];
            kxtest::referenceRgb(frame[size_t(r) * cols + c], frame[pixels + k], frame[pixels * 5 / 4 + k],
                                 expected);
            for (int ch = 0; ch < 3; ++ch) rgb[(size_t(r) * cols + c) * 3 + ch] = uint16_t(expected[ch]);
        }
    }
    return rgb;
}

// One frame per Cb value: 512 x 128 pixels, 256 x 64 chroma samples. Chroma
// sample k carries Cr = k / 64, and its 2 x 2 luma block the four luma values
// 4 * (k % 64) .. 4 * (k % 64) + 3, so the frame holds all 65536 (Y, Cr)
// pairs once, in every position of the vector blocks.
TEST_P(GrabConversion, EveryYCbCrCombinationMatchesTheFormula)
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
        _kxGrabYuv420ToRgbWith(GetParam(), frame.data(), rows, cols, rgb.data());
        const std::vector<uint16_t> expected = expectedRgb(frame, rows, cols);
        checked += pixels;
        if (memcmp(rgb.data(), expected.data(), rgb.size() * sizeof rgb[0]) == 0) continue;
        for (size_t at = 0; at < rgb.size(); ++at) {
            if (rgb[at] != expected[at] && ++mismatches <= 5)
                ADD_FAILURE() << "Y " << int(frame[at / 3 / cols * cols + at / 3 % cols]) << " Cb " << cb
                              << " channel " << at % 3 << ": " << rgb[at] << " != " << expected[at];
        }
    }
    EXPECT_EQ(checked, 1LL << 24);
    EXPECT_EQ(mismatches, 0);
    printf("[ exhaustive ] %s: %lld combinations, %lld mismatching channels\n", pathName(GetParam()), checked,
           mismatches);
}

// Odd and small sizes: the chroma index is ((r * (rows / 2)) / rows) *
// (cols / 2) + (c * (cols / 2)) / cols, which never leaves the rows/2 x
// cols/2 planes; the widths also leave the vector blocks partial tails.
TEST_P(GrabConversion, OddSizesSampleChromaByTheGeneralIndex)
{
    const int sizes[][2] = {{3, 3}, {5, 2}, {2, 7}, {33, 17}, {35, 4}, {47, 9}, {66, 5}};
    for (const auto &size : sizes) {
        const int cols = size[0], rows = size[1];
        // Exactly the frame's bytes: ASan reports any read past them.
        std::vector<uint8_t> frame(_kxGrabFrameBytes(rows, cols));
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 37 + 11);
        std::vector<uint16_t> rgb(size_t(rows) * cols * 3);
        _kxGrabYuv420ToRgbWith(GetParam(), frame.data(), rows, cols, rgb.data());
        const std::vector<uint16_t> expected = expectedRgb(frame, rows, cols);
        for (size_t at = 0; at < rgb.size(); ++at)
            ASSERT_EQ(rgb[at], expected[at]) << cols << " x " << rows << " at pixel " << at / 3;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, GrabConversion,
                         testing::Values(KxYuvPath::Plain, KxYuvPath::Sse2, KxYuvPath::Avx2,
                                         KxYuvPath::Avx2Integer, KxYuvPath::Neon, KxYuvPath::NeonInteger),
                         [](const testing::TestParamInfo<KxYuvPath> &info) { return pathName(info.param); });

// The grabber uses the fastest path the processor has.
TEST(GrabConversionPaths, TheFastestAvailablePathIsChosen)
{
    EXPECT_TRUE(_kxYuvPathAvailable(KxYuvPath::Plain));
    const KxYuvPath fastest = _kxYuvPathAvailable(KxYuvPath::Avx2Integer)   ? KxYuvPath::Avx2Integer
                              : _kxYuvPathAvailable(KxYuvPath::Sse2)        ? KxYuvPath::Sse2
                              : _kxYuvPathAvailable(KxYuvPath::NeonInteger) ? KxYuvPath::NeonInteger
                                                                            : KxYuvPath::Plain;
    const KxYuvPath best = _kxYuvBestPath();
    EXPECT_EQ(best, fastest);
#if defined(__aarch64__)
    EXPECT_EQ(best, KxYuvPath::NeonInteger);  // NEON is part of every aarch64 processor
#endif
    printf("[ paths ] the grabber converts with %s\n", pathName(best));
}

TEST(GrabConversionPaths, FrameBytesFollowThePlaneLayout)
{
    EXPECT_EQ(_kxGrabFrameBytes(480, 640), 460800u);
    EXPECT_EQ(_kxGrabFrameBytes(3, 3), 12u);  // Cr at 11, one chroma sample each
}

} // namespace
