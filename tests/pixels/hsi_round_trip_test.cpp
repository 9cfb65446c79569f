// Every RGB colour through HSI and back: the largest error per channel is
// measured (and must be zero), and greys must come back exactly.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "pixel_helpers.h"

using kxtest::ImagePtr;

TEST(HsiRoundTrip, AllSixteenMillionColours)
{
    // One 256 x 256 picture per red value: green is the row, blue the column.
    ImagePtr rgb(kxtest::makeImage(RGB, 256, 256));
    ImagePtr hsi(kxtest::makeImage(HSI, 1, 1));
    ImagePtr back(kxtest::makeImage(RGB, 1, 1));
    kxWindow window{0, 0, 256, 256};
    int worst = 0, worstR = 0, worstG = 0, worstB = 0;
    long long inexact = 0;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) kxtest::setRgb(rgb.get(), b, g, r, g, b);
        ASSERT_EQ(kxRgb2Hsi(rgb.get(), &window, hsi.get()), 0);
        ASSERT_EQ(kxHsi2Rgb(hsi.get(), &window, back.get()), 0);
        const uint16_t *in = rgb->data, *out = back->data;
        for (int i = 0; i < 256 * 256; ++i, in += 3, out += 3) {
            int error = 0;
            for (int k = 0; k < 3; ++k) error = std::max(error, std::abs(int(in[k]) - int(out[k])));
            if (error) ++inexact;
            if (error > worst) {
                worst = error;
                worstR = in[0], worstG = in[1], worstB = in[2];
            }
            if (in[0] == in[1] && in[1] == in[2]) {
                ASSERT_EQ(error, 0) << "grey " << in[0];
            }
        }
    }
    printf("largest round-trip error %d; %lld of 16777216 colours inexact\n", worst, inexact);
    if (worst) printf("first colour with that error: %d,%d,%d\n", worstR, worstG, worstB);
    RecordProperty("largest_error", worst);
    RecordProperty("inexact_colours", std::to_string(inexact));
    // Sixteen-bit HSI channels keep every 8-bit colour: the round trip is exact.
    EXPECT_EQ(worst, 0);
}
